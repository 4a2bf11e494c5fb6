#include "qvn_ErrorLog.h"

// In the module's own file system, beside datas/.
const char* qvn_DefaultErrorLogName() { return "qvn_engine.errorlog"; }
