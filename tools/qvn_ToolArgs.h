// What every tool's command line shares: --help on standard output with exit
// code 0, --version, and a usage error with exit code 2 that says what was
// wrong before the usage text.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef QVN_VERSION
#define QVN_VERSION "unknown"
#endif

namespace qvn_tool {

constexpr int kExitUsage = 2;

// Returns 0 after printing the help or the version when argv asks for one,
// -1 otherwise. Only the words before "--" count as options.
inline int HelpOrVersion(int argc, char** argv, const char* tool, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s (Quorvane show engine) %s\n", tool, QVN_VERSION);
            return 0;
        }
    }
    return -1;
}

inline int UsageError(const char* tool, const char* usage, const char* what, const char* arg = nullptr) {
    if (arg) std::fprintf(stderr, "%s: %s %s\n", tool, what, arg);
    else std::fprintf(stderr, "%s: %s\n", tool, what);
    std::fputs(usage, stderr);
    return kExitUsage;
}

// True when path can be opened for reading; otherwise says "cannot open PATH"
// with the system's reason, so the reader's own message is not the first one.
inline bool CanOpen(const char* tool, const char* path) {
    errno = 0;
    if (std::FILE* f = std::fopen(path, "rb")) {
        // A folder opens on some systems and fails at the first read.
        const bool readable = std::fgetc(f) != EOF || !std::ferror(f);
        const int error = errno;
        std::fclose(f);
        if (readable) return true;
        errno = error;
    }
    std::fprintf(stderr, "%s: cannot open %s: %s\n", tool, path, errno ? std::strerror(errno) : "unreadable");
    return false;
}

}  // namespace qvn_tool
