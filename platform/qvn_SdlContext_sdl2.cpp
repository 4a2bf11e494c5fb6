#include "qvn_SdlContext_sdl2.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "qvn_ErrorLog.h"

qvn_SSdlContext& qvn_Sdl() {
    static qvn_SSdlContext context;
    return context;
}

bool qvn_SdlInitVideo() {
    qvn_SSdlContext& sdl = qvn_Sdl();
    if (sdl.videoReady) return true;
    // SDL 2 takes X11 first even in a Wayland session, where X11 is a
    // compatibility layer (scaled, no true full screen). A driver the user
    // named is what they get.
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    if (!(asked && *asked) && wayland && *wayland) SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland,x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        LogMessage("SDL video unavailable: %s\n", SDL_GetError());
        return false;
    }
    sdl.videoReady = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    LogMessage("SDL video driver: %s\n", driver ? driver : "?");
    return true;
}

SDL_Rect qvn_SdlFitRect(int outW, int outH, int w, int h) {
    const int scale = std::min(outW / w, outH / h);
    SDL_Rect r;
    if (scale >= 1) {
        r.w = w * scale;
        r.h = h * scale;
    } else if (outW * h <= outH * w) {
        r.w = outW;
        r.h = outW * h / w;
    } else {
        r.h = outH;
        r.w = outH * w / h;
    }
    r.x = (outW - r.w) / 2;
    r.y = (outH - r.h) / 2;
    return r;
}

int qvn_SdlRefreshHz(int displayIndex) {
    SDL_DisplayMode mode;
    return SDL_GetDesktopDisplayMode(displayIndex, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
}

void qvn_SdlWaitUntil(Uint64 target) {
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    for (;;) {
        const Uint64 now = SDL_GetPerformanceCounter();
        if (now >= target) return;
        const Uint64 ms = (target - now) * 1000 / frequency;
        if (ms >= 2) SDL_Delay(static_cast<Uint32>(ms - 1));
    }
}

qvn_cQuietStderr::qvn_cQuietStderr(bool quiet) {
    if (!quiet) return;
    std::fflush(stderr);
    m_nSaved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (m_nSaved < 0 || null < 0 || dup2(null, STDERR_FILENO) < 0) {
        if (null >= 0) close(null);
        if (m_nSaved >= 0) close(m_nSaved);
        m_nSaved = -1;
        return;
    }
    close(null);
}

qvn_cQuietStderr::~qvn_cQuietStderr() { Restore(); }

void qvn_cQuietStderr::Restore() {
    if (m_nSaved < 0) return;
    std::fflush(stderr);
    dup2(m_nSaved, STDERR_FILENO);
    close(m_nSaved);
    m_nSaved = -1;
}
