// Runs a piece of work in a child process and reports how far its resident
// memory rose above where it started: the readers' bounds on hostile files are
// checked with it, without timing anything.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>

namespace qvntest {

struct SPeak {
    bool bRan = false;     // the child finished and reported
    int nResult = -1;      // what the work returned
    int64_t nGrowthKb = 0; // peak resident memory above the starting point
};

// Resident memory in KiB from /proc/self/status ("VmRSS:" or "VmHWM:").
inline int64_t StatusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    int64_t kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) kb = std::atoll(line + n);
    std::fclose(f);
    return kb;
}

// The child resets its high-water mark (clear_refs 5), so what the parent
// reached earlier does not hide what the work takes.
inline SPeak PeakOf(const std::function<int()>& work) {
    SPeak peak;
    int fds[2];
    if (pipe(fds) != 0) return peak;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (FILE* c = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", c);
            std::fclose(c);
        }
        const int64_t start = StatusKb("VmRSS:");
        int64_t report[2];
        report[0] = work();
        int64_t high = StatusKb("VmHWM:");
        if (high < 0) {
            rusage u;
            getrusage(RUSAGE_SELF, &u);
            high = u.ru_maxrss;
        }
        report[1] = high - start;
        if (write(fds[1], report, sizeof report) != static_cast<ssize_t>(sizeof report)) _exit(3);
        _exit(0);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return peak;
    }
    int64_t report[2];
    const bool got = read(fds[0], report, sizeof report) == static_cast<ssize_t>(sizeof report);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        peak.bRan = true;
        peak.nResult = static_cast<int>(report[0]);
        peak.nGrowthKb = report[1];
    }
    return peak;
}

// AddressSanitizer keeps freed blocks in quarantine and adds shadow memory:
// bounds are loosened by this factor in such builds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int64_t kSanitizerSlack = 3;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int64_t kSanitizerSlack = 3;
#else
constexpr int64_t kSanitizerSlack = 1;
#endif
#else
constexpr int64_t kSanitizerSlack = 1;
#endif

}  // namespace qvntest
