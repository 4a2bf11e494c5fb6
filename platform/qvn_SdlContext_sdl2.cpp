#include "qvn_SdlContext_sdl2.h"

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
