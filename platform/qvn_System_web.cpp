#include <cstdio>
#include <string>

#include <emscripten.h>

#include "qvn_NativeSystem.h"
#include "qvn_Web.h"

namespace {

class cWebServices : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return static_cast<uint32_t>(static_cast<uint64_t>(qvn_WebTickMs())); }
    void DebugOutput(const char* text) override {
        if (qvn_sys::Verbose()) std::fputs(text, stderr);
    }
    void ShowMessageBox(const char* text, const char* caption, unsigned flags) override {
        // On the page when there is one; the console has it either way.
        std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
        qvn_WebMessage(caption ? caption : "", text ? text : "", (flags & 0x10) ? 1 : 0);
    }
    void SetCursorVisible(bool) override {}
};

}  // namespace

qvn_cSystemServices* qvn_NativeSystemServices() {
    static cWebServices services;
    return &services;
}

void qvn_NativeShutdown() {}

// The page gets its turn while the program rests.
void qvn_NativeSleep(int ms) { emscripten_sleep(ms > 0 ? static_cast<unsigned>(ms) : 0u); }

bool qvn_NativeDisplayAvailable(std::string* why) {
    if (qvn_WebHasPage()) return true;
    *why = "no page to show the show on (open the page in a browser, or capture with --capture DIR)";
    return false;
}
