#include "qvn_MessageLog.h"

#include <cstdarg>
#include <cstdio>

void qvn_MessageLogPrintf(qvn_cMessageLog* pLog, const char* format, ...) {
    if (!pLog) return;
    char buffer[kErrorLogBufferBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    pLog->Write(buffer);
}
