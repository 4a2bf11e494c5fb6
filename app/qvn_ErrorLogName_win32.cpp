#include "qvn_ErrorLog.h"

const char* qvn_DefaultErrorLogName() { return "c:/qvn_engine.errorlog"; }
