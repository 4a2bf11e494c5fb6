#include "qvn_System.h"

#include <chrono>
#include <cstdio>

namespace {

// Headless services: a monotonic millisecond clock and standard error.
class cHeadlessServices : public qvn_cSystemServices {
public:
    uint32_t TickCount() override {
        using namespace std::chrono;
        static const steady_clock::time_point start = steady_clock::now();
        return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now() - start).count());
    }
    void DebugOutput(const char* text) override {
        if (qvn_sys::Verbose()) std::fputs(text, stderr);
    }
    void ShowMessageBox(const char* text, const char* caption, unsigned) override {
        std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    }
    void SetCursorVisible(bool) override {}
};

cHeadlessServices g_Headless;
qvn_cSystemServices* g_pServices = &g_Headless;
qvn_cClock* g_pClock = nullptr;
void* g_pNativeWindow = nullptr;
bool g_bVerbose = false;

}  // namespace

namespace qvn_sys {

uint32_t TickCount() { return g_pClock ? g_pClock->TickCount() : g_pServices->TickCount(); }
void DebugOutput(const char* text) { g_pServices->DebugOutput(text); }
void ShowMessageBox(const char* text, const char* caption, unsigned flags) {
    g_pServices->ShowMessageBox(text, caption, flags);
}
void SetCursorVisible(bool visible) { g_pServices->SetCursorVisible(visible); }

qvn_cSystemServices* Install(qvn_cSystemServices* services) {
    qvn_cSystemServices* previous = g_pServices;
    g_pServices = services ? services : &g_Headless;
    return previous;
}
qvn_cSystemServices* Installed() { return g_pServices; }

qvn_cClock* InstallClock(qvn_cClock* clock) {
    qvn_cClock* previous = g_pClock;
    g_pClock = clock;
    return previous;
}
qvn_cClock* Clock() { return g_pClock ? g_pClock : g_pServices; }

void SetNativeWindow(void* window) { g_pNativeWindow = window; }
void* NativeWindow() { return g_pNativeWindow; }

void SetVerbose(bool verbose) { g_bVerbose = verbose; }
bool Verbose() { return g_bVerbose; }

}  // namespace qvn_sys
