// Diagnostics shared by the whole engine: the error log file, the debugger
// output and the two ways of giving up (a message box, or ending the program).
#pragma once

#include <cstdarg>

// The log file is opened and closed around every message so that it is
// complete up to the last line even when the program dies right after.
class qvn_cErrorLog {
public:
    // fileName null: the backend's default log name. A deferred log only
    // keeps the name until Start, so a run that ends at its options (--help,
    // --version, a usage error) leaves the previous run's log alone.
    explicit qvn_cErrorLog(const char* fileName, bool deferred = false);
    virtual ~qvn_cErrorLog();

    // Creates the deferred log (header included); nothing when already started.
    void Start();

    // Starts a fresh log at another path (the `--log` option). A file made by
    // the constructor held only this run's header, so it is removed; a
    // deferred one was never made.
    void Redirect(const char* fileName);

private:
    void WriteHeader();
};

// Heap copy of the log file's name; null when no log exists (then every
// facility below writes nothing, the debugger output included).
extern char* g_pszErrorLogName;

// Messages are formatted into a buffer of this size and cut to fit it.
constexpr int kErrorLogBufferBytes = 2048;

// Where the backend keeps the log when nobody says otherwise.
const char* qvn_DefaultErrorLogName();

// Appends a printf-style message to the log and sends it to the debugger output.
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same, then shows it in a message box and returns once the box is closed.
void ErrorHandler(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "Error:" + message + newline on the standard error stream, in the log and on
// the debugger output (a Windows program has no standard error), then exit(1).
// A line naming the file being read (qvn_cFatalFile) comes first.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Names the data file a decoder is reading for as long as the object lives,
// so that a fatal refusal says which file ended the program. The innermost
// one counts; the name must outlive the object.
class qvn_cFatalFile {
public:
    explicit qvn_cFatalFile(const char* fileName);
    ~qvn_cFatalFile();
    qvn_cFatalFile(const qvn_cFatalFile&) = delete;
    qvn_cFatalFile& operator=(const qvn_cFatalFile&) = delete;

private:
    const char* m_pszOuter;
};
// The file a fatal refusal names now (null: none).
const char* qvn_FatalFile();

// What a user at a terminal must see (a half skipped for a missing track, a
// show without sound): logged as LogMessage does, and the same text on the
// standard error stream, after the program's name when one is set.
void LogNotice(const char* format, ...) __attribute__((format(printf, 1, 2)));
void qvn_SetNoticeName(const char* programName);

// The location line an engine class writes before reporting a failure.
#define QVN_LOG_LOCATION() LogMessage("File \"%s\", at line %d\n", qvn_SourcePath(__FILE__), __LINE__)
// Strips the build machine's prefix so the log shows the path in the source tree.
const char* qvn_SourcePath(const char* file);

// Tests and fuzz targets: called with the message before FatalError exits; a
// hook that does not return (throws, long-jumps) keeps the process alive.
using qvn_FatalHook = void (*)(const char* message);
void qvn_SetFatalHook(qvn_FatalHook hook);

// Per-object message log the imaging classes consult; the program never
// creates one, so it stays null and they write nothing.
class qvn_cMessageLog;
extern qvn_cMessageLog* g_pMessageLog;

// Tools have no log file; they echo every message to a stream instead.
#include <cstdio>
void qvn_SetLogEcho(FILE* stream);
