// The per-object message log the imaging classes report to. The engine never
// creates one (g_pMessageLog stays null, so those classes stay silent); a tool
// or a test that wants to see their messages installs one.
#pragma once

#include "qvn_ErrorLog.h"

class qvn_cMessageLog {
public:
    virtual ~qvn_cMessageLog() = default;
    // Receives one formatted message, with the trailing newline its caller put.
    virtual void Write(const char* text) = 0;
};

// printf-style message to pLog; nothing happens when pLog is null.
void qvn_MessageLogPrintf(qvn_cMessageLog* pLog, const char* format, ...) __attribute__((format(printf, 2, 3)));
