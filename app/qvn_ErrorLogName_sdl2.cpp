#include "qvn_ErrorLog.h"

// Desktop users run the show from its folder; no drive letters here.
const char* qvn_DefaultErrorLogName() { return "qvn_engine.errorlog"; }
