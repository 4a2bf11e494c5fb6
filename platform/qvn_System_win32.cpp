#include <windows.h>

#include <cstdio>

#include "qvn_NativeSystem.h"

namespace {

class cWin32Services : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return GetTickCount(); }
    void DebugOutput(const char* text) override {
        OutputDebugStringA(text);
        if (qvn_sys::Verbose()) std::fputs(text, stderr);
    }
    void ShowMessageBox(const char* text, const char* caption, unsigned flags) override {
        MessageBoxA(nullptr, text, caption, flags);
    }
    void SetCursorVisible(bool visible) override { ShowCursor(visible ? TRUE : FALSE); }
};

}  // namespace

qvn_cSystemServices* qvn_NativeSystemServices() {
    static cWin32Services services;
    return &services;
}

void qvn_NativeShutdown() {}

void qvn_NativeSleep(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0u); }

// A Windows desktop always has a screen to ask for; the display's own set-up
// reports a refusal.
bool qvn_NativeDisplayAvailable(std::string*) { return true; }
