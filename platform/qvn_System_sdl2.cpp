#include "qvn_NativeSystem.h"

#include <cstdio>

#include "qvn_SdlContext_sdl2.h"

namespace {

class cSdlServices : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return SDL_GetTicks(); }
    void DebugOutput(const char* text) override {
        if (qvn_sys::Verbose()) std::fputs(text, stderr);
    }
    void ShowMessageBox(const char* text, const char* caption, unsigned flags) override {
        Uint32 kind = (flags & 0x10) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        // A box needs a window system; without one the message goes to stderr.
        if (!qvn_Sdl().videoReady || SDL_ShowSimpleMessageBox(kind, caption, text, qvn_Sdl().window) != 0)
            std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    }
    void SetCursorVisible(bool visible) override {
        if (qvn_Sdl().videoReady) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
    }
};

}  // namespace

qvn_cSystemServices* qvn_NativeSystemServices() {
    static cSdlServices services;
    return &services;
}

void qvn_NativeShutdown() { SDL_Quit(); }

void qvn_NativeSleep(int ms) { SDL_Delay(ms > 0 ? static_cast<Uint32>(ms) : 0u); }
