#include "qvn_SdlContext_sdl2.h"

#include <algorithm>

#include "qvn_ErrorLog.h"

qvn_SSdlContext& qvn_Sdl() {
    static qvn_SSdlContext context;
    return context;
}

bool qvn_SdlInitVideo() {
    qvn_SSdlContext& sdl = qvn_Sdl();
    if (sdl.videoReady) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        LogMessage("SDL video unavailable: %s\n", SDL_GetError());
        return false;
    }
    sdl.videoReady = true;
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
