#include "qvn_ErrorLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "qvn_DataPath.h"
#include "qvn_System.h"

char* g_pszErrorLogName = nullptr;
qvn_cMessageLog* g_pMessageLog = nullptr;

namespace {

qvn_FatalHook g_pFatalHook = nullptr;
// The name of a deferred log until it starts.
char* g_pszPendingLogName = nullptr;
FILE* g_pLogEcho = nullptr;

char* CopyString(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

// vsnprintf cuts at the buffer's end and always terminates; the unbounded
// formatting the log once had would overrun on a long file name.
void Format(char (&buffer)[kErrorLogBufferBytes], const char* format, va_list args) {
    std::vsnprintf(buffer, sizeof buffer, format, args);
}

}  // namespace

void qvn_SetLogEcho(FILE* stream) { g_pLogEcho = stream; }

qvn_cErrorLog::qvn_cErrorLog(const char* fileName, bool deferred) {
    // The newest log is the one written to; the name of an older one goes.
    std::free(g_pszErrorLogName);
    g_pszErrorLogName = nullptr;
    std::free(g_pszPendingLogName);
    g_pszPendingLogName = CopyString(fileName ? fileName : qvn_DefaultErrorLogName());
    if (!deferred) Start();
}

qvn_cErrorLog::~qvn_cErrorLog() {
    std::free(g_pszErrorLogName);
    g_pszErrorLogName = nullptr;
    std::free(g_pszPendingLogName);
    g_pszPendingLogName = nullptr;
}

void qvn_cErrorLog::Start() {
    if (!g_pszPendingLogName) return;
    std::free(g_pszErrorLogName);
    g_pszErrorLogName = g_pszPendingLogName;
    g_pszPendingLogName = nullptr;
    WriteHeader();
}

void qvn_cErrorLog::Redirect(const char* fileName) {
    if (!fileName) return;
    std::free(g_pszPendingLogName);
    g_pszPendingLogName = nullptr;
    if (g_pszErrorLogName) {
        if (std::strcmp(g_pszErrorLogName, fileName) == 0) return;
        std::remove(g_pszErrorLogName);
        std::free(g_pszErrorLogName);
    }
    g_pszErrorLogName = CopyString(fileName);
    WriteHeader();
}

void qvn_cErrorLog::WriteHeader() {
    if (!g_pszErrorLogName) return;
    std::time_t now = std::time(nullptr);
    // A log that cannot be created (read-only disk) costs only the file: the
    // debugger output still gets every message.
    FILE* file = std::fopen(g_pszErrorLogName, "wt");
    if (!file) return;
    std::fputs("----- Quorvane error log -----\n", file);
    const char* date = std::ctime(&now);
    std::fprintf(file, "Date : %s\n\n", date ? date : "?\n");
    std::fclose(file);
}

static void LogFormatted(const char* text) {
    if (!g_pszErrorLogName) return;
    if (FILE* file = std::fopen(g_pszErrorLogName, "at")) {
        std::fprintf(file, "%s", text);
        std::fclose(file);
    }
    if (g_pLogEcho) std::fputs(text, g_pLogEcho);
    qvn_sys::DebugOutput(text);
}

void LogMessage(const char* format, ...) {
    if (!g_pszErrorLogName && !g_pLogEcho) return;
    char buffer[kErrorLogBufferBytes];
    va_list args;
    va_start(args, format);
    Format(buffer, format, args);
    va_end(args);
    if (!g_pszErrorLogName) {
        std::fputs(buffer, g_pLogEcho);
        return;
    }
    LogFormatted(buffer);
}

void ErrorHandler(const char* format, ...) {
    char buffer[kErrorLogBufferBytes];
    va_list args;
    va_start(args, format);
    Format(buffer, format, args);
    va_end(args);
    LogMessage("%s", buffer);
    qvn_sys::ShowMessageBox(buffer, "Quorvane Error Handler V1.0", QVN_MB_ICONHAND);
}

void FatalError(const char* format, ...) {
    char buffer[kErrorLogBufferBytes];
    va_list args;
    va_start(args, format);
    Format(buffer, format, args);
    va_end(args);
    if (g_pFatalHook) g_pFatalHook(buffer);
    // The file first, on a line of its own: the decoder's message names only
    // what it refused, and a show reads dozens of files.
    char fileLine[kErrorLogBufferBytes];
    fileLine[0] = 0;
    if (const char* file = qvn_FatalFile())
        std::snprintf(fileLine, sizeof fileLine, "In the file \"%s\":\n", qvn_ResolveDataPath(file).c_str());
    char line[kErrorLogBufferBytes + 8];
    std::snprintf(line, sizeof line, "Error:%s\n", buffer);
    // A windowed program has no standard error stream: without the log and
    // the debugger output the show would just vanish with exit code 1.
    if (g_pszErrorLogName) {
        if (FILE* file = std::fopen(g_pszErrorLogName, "at")) {
            std::fputs(fileLine, file);
            std::fputs(line, file);
            std::fclose(file);
        }
        // With --verbose the debugger output is the terminal: the lines
        // below are already on their way there.
        if (!qvn_sys::Verbose()) {
            if (fileLine[0]) qvn_sys::DebugOutput(fileLine);
            qvn_sys::DebugOutput(line);
        }
    }
    std::fputs(fileLine, stderr);
    std::fputs(line, stderr);
    std::fflush(stderr);
    std::exit(1);
}

namespace {
const char* g_pszFatalFile = nullptr;
const char* g_pszNoticeName = nullptr;
}  // namespace

qvn_cFatalFile::qvn_cFatalFile(const char* fileName) : m_pszOuter(g_pszFatalFile) { g_pszFatalFile = fileName; }
qvn_cFatalFile::~qvn_cFatalFile() { g_pszFatalFile = m_pszOuter; }
const char* qvn_FatalFile() { return g_pszFatalFile; }

void qvn_SetNoticeName(const char* programName) { g_pszNoticeName = programName; }

void LogNotice(const char* format, ...) {
    char buffer[kErrorLogBufferBytes];
    va_list args;
    va_start(args, format);
    Format(buffer, format, args);
    va_end(args);
    LogMessage("%s", buffer);
    // A log echoed to the terminal (--verbose, or a tool's echo to standard
    // error) has shown it already.
    if ((g_pszErrorLogName && qvn_sys::Verbose()) || g_pLogEcho == stderr) return;
    if (g_pszNoticeName) std::fprintf(stderr, "%s: ", g_pszNoticeName);
    std::fputs(buffer, stderr);
    std::fflush(stderr);
}

void qvn_SetFatalHook(qvn_FatalHook hook) { g_pFatalHook = hook; }

const char* qvn_SourcePath(const char* file) {
    // __FILE__ is absolute in out-of-tree builds; the log names the path
    // from the top of the source tree.
    static const char* const kRoots[] = {"/app/", "/libs/", "/parts/", "/platform/", "/tools/"};
    const char* best = nullptr;
    for (const char* root : kRoots) {
        for (const char* p = std::strstr(file, root); p; p = std::strstr(p + 1, root)) best = p + 1;
    }
    return best ? best : file;
}
