#include "qvn_NativeSystem.h"

#include <cstdio>
#include <cstring>

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

bool qvn_NativeDisplayAvailable(std::string* why) {
    // A driver the user named is what they get: the tests ask for "dummy".
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    const bool chosen = asked && *asked;
    qvn_cQuietStderr quiet(!qvn_sys::Verbose());
    const bool ready = qvn_SdlInitVideo();
    quiet.Restore();
    if (!ready) {
        *why = chosen ? std::string("the video driver \"") + asked + "\" cannot start (" + SDL_GetError() + ")"
                      : std::string("no display to connect to (") + SDL_GetError() + ")";
        return false;
    }
    if (chosen) return true;
    // With no X11 or Wayland display SDL falls back to drivers that draw
    // nowhere: the show would play, unseen, for seven minutes.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"))) {
        *why = "no display to connect to (no X11 or Wayland display is set)";
        return false;
    }
    return true;
}
