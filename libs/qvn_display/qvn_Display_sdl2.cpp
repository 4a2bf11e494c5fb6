// The screen on SDL2. "Full screen" is a borderless desktop-size window that
// shows the 320 x 240 frame at 4:3, scaled by a whole number when it fits
// (nearest neighbour) and letterboxed: the desktop mode is never changed. The
// windowed path gives a 640 x 480 client area (or N x 320 by N x 240).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_Overlay.h"
#include "qvn_RefreshPacer.h"
#include "qvn_SdlContext_sdl2.h"

namespace {

struct SSdlDisplay {
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    std::vector<uint16_t> surface;  // the system-memory back surface
    std::vector<uint16_t> presented;  // what the last flip showed
    SDL_Texture* overlay = nullptr;   // the viewer's overlay
    int overlayW = 0, overlayH = 0;
    bool fullscreen = false;
    bool vsync = false;
    qvn_cRefreshPacer pacer;
};

qvn_cEngDisplay* g_pSdlDisplay = nullptr;

SSdlDisplay* State(qvn_cEngDisplay* display) { return static_cast<SSdlDisplay*>(display->m_pBackend); }

void ApplyWindowMode(qvn_cEngDisplay* display) {
    SSdlDisplay* s = State(display);
    SDL_Window* window = qvn_Sdl().window;
    if (!s || !window) return;
    if (s->fullscreen) {
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(window, 0);
        int scale = g_nDisplayScale;
        int w = scale > 0 ? display->m_nWidth * scale : 640;
        int h = scale > 0 ? display->m_nHeight * scale : 480;
        SDL_SetWindowSize(window, w, h);
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

void ToggleFullscreen() {
    if (!g_pSdlDisplay || !State(g_pSdlDisplay)) return;
    State(g_pSdlDisplay)->fullscreen = !State(g_pSdlDisplay)->fullscreen;
    ApplyWindowMode(g_pSdlDisplay);
}

}  // namespace

qvn_cEngDisplay::~qvn_cEngDisplay() {
    std::free(g_p16bitsScreenBuffer);
    g_p16bitsScreenBuffer = nullptr;
    if (SSdlDisplay* s = State(this)) {
        if (s->overlay) SDL_DestroyTexture(s->overlay);
        if (s->texture) SDL_DestroyTexture(s->texture);
        if (s->renderer) SDL_DestroyRenderer(s->renderer);
        delete s;
        m_pBackend = nullptr;
    }
    if (g_pSdlDisplay == this) {
        g_pSdlDisplay = nullptr;
        qvn_Sdl().toggleFullscreen = nullptr;
    }
}

bool qvn_cEngDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    m_eRenderMode = QVN_RENDER_SOFTWARE;
    qvn_cDisplayBase::Init(width, height, bpp, windowed);
    if (!qvn_SdlInitVideo()) return false;

    // Every video display is a device; the primary one carries the name the
    // show asks for, the others "display2", "display3" ...
    int displays = SDL_GetNumVideoDisplays();
    for (int i = 0; i < displays; ++i) {
        char name[32];
        if (i == 0) std::strcpy(name, "display");
        else SDL_snprintf(name, sizeof name, "display%d", i + 1);
        const char* description = SDL_GetDisplayName(i);
        SDDrawDevice* device = m_DDrawDevices.Append(new SDDrawDevice(description ? description : name, name, nullptr));
        if (!device) continue;
        for (int m = 0, n = SDL_GetNumDisplayModes(i); m < n; ++m) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(i, m, &mode) == 0)
                device->m_Modes.Append(new SDisplayMode(mode.w, mode.h, SDL_BITSPERPIXEL(mode.format)));
        }
    }

    char name[256];
    std::strncpy(name, deviceName ? deviceName : "", sizeof name - 1);
    name[sizeof name - 1] = 0;
    if (std::strcmp(name, "NoSelection") == 0 && m_DDrawDevices.m_nCount > 0)
        std::strcpy(name, m_DDrawDevices.m_ppItems[0]->m_szName);
    int index = -1;
    for (int i = 0; i < m_DDrawDevices.m_nCount && index < 0; ++i)
        if (std::strcmp(m_DDrawDevices.m_ppItems[i]->m_szName, name) == 0) index = i;
    if (index < 0) return false;

    SDL_Window* window = qvn_Sdl().window;
    if (!window) {
        LogMessage("qvn_cEngDisplay::Init : DirectDrawCreate failed\n");
        return false;
    }
    m_rcSrc = m_rcDst = {0, 0, width, height};
    if (!AllocScreenBuffer()) return false;

    SSdlDisplay* s = new SSdlDisplay;
    m_pBackend = s;
    s->fullscreen = (m_bWindowed == 0);
    ApplyWindowMode(this);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // A rate of the user's own is kept by the pacer, not by vertical blank.
    if (g_nDisplayRefreshHz <= 0) s->renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!s->renderer) s->renderer = SDL_CreateRenderer(window, -1, 0);
    if (!s->renderer) {
        if (m_bWindowed) QVN_LOG_LOCATION();
        LogMessage(m_bWindowed ? "CreateSurface failed !\n" : "qvn_cEngDisplay::InitSurfaces_FullScreen : CreateSurface failed\n");
        return false;
    }
    s->texture = SDL_CreateTexture(s->renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!s->texture) {
        if (m_bWindowed) QVN_LOG_LOCATION();
        LogMessage(m_bWindowed ? "CreateSurface failed !\n" : "qvn_cEngDisplay::InitSurfaces_FullScreen : GetAttachedSurface failed\n");
        return false;
    }
    s->surface.assign(static_cast<size_t>(width) * height, 0);

    SDL_RendererInfo info;
    s->vsync = SDL_GetRendererInfo(s->renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    m_nRefreshHz = g_nDisplayRefreshHz > 0 ? g_nDisplayRefreshHz : qvn_SdlRefreshHz(index);
    s->pacer.Reset(SDL_GetPerformanceFrequency(), m_nRefreshHz);

    g_pSdlDisplay = this;
    qvn_Sdl().toggleFullscreen = ToggleFullscreen;
    ConvertDDFormat();
    return true;
}

void qvn_cEngDisplay::ConvertDDFormat() {
    // The back surface is 5-6-5, the format the streaming texture takes as is.
    Uint32 format = SDL_PIXELFORMAT_RGB565;
    int bits = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    SDL_PixelFormatEnumToMasks(format, &bits, &r, &g, &b, &a);
    std::memset(m_PixelFormat.m_ddpf, 0, sizeof m_PixelFormat.m_ddpf);
    m_PixelFormat.SetFromMasks(bits, r, g, b);
    g_PixelFormat = m_PixelFormat;  // the screen format, for code that has no display at hand
}

void qvn_cEngDisplay::Lock() {
    SSdlDisplay* s = State(this);
    if (!s || s->surface.empty()) {
        LogMessage("qvn_cEngDisplay::Lock : An error occured : 1\n");
        m_pSurfacePixels = nullptr;
        m_nPitch = m_nPitchPixels = 0;
        return;
    }
    m_pSurfacePixels = s->surface.data();
    m_nPitch = m_nWidth * 2;
    m_nPitchPixels = m_nPitch / (m_nBpp / 8);
}

int32_t qvn_cEngDisplay::Unlock() {
    m_pSurfacePixels = nullptr;
    return 0;
}

void qvn_cEngDisplay::Clear() {
    SSdlDisplay* s = State(this);
    if (!s) {
        LogMessage("ClearSurface_Software failed\n");
        return;
    }
    std::fill(s->surface.begin(), s->surface.end(), 0);
}

// The window's picture of the presented frame: the frame scaled and
// letterboxed, the overlay over it.
static void Compose(SSdlDisplay* s, int width, int height, const qvn_SOverlayPicture* overlay) {
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(s->renderer, &outW, &outH);
    SDL_SetRenderDrawColor(s->renderer, 0, 0, 0, 255);
    SDL_RenderClear(s->renderer);
    SDL_Rect dst = qvn_SdlFitRect(outW, outH, width, height);
    SDL_RenderCopy(s->renderer, s->texture, nullptr, &dst);
    if (!overlay || overlay->width <= 0 || overlay->height <= 0) return;
    if (!s->overlay || s->overlayW != overlay->width || s->overlayH != overlay->height) {
        if (s->overlay) SDL_DestroyTexture(s->overlay);
        s->overlay = SDL_CreateTexture(s->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                       overlay->width, overlay->height);
        s->overlayW = overlay->width;
        s->overlayH = overlay->height;
        if (!s->overlay) return;
        SDL_SetTextureBlendMode(s->overlay, SDL_BLENDMODE_BLEND);
    }
    SDL_UpdateTexture(s->overlay, nullptr, overlay->argb.data(), overlay->width * 4);
    const qvn_SOverlayRect r = qvn_OverlayRect(dst.x, dst.y, dst.w, dst.h, overlay->width, overlay->height);
    const SDL_Rect to = {r.x, r.y, r.w, r.h};
    SDL_RenderCopy(s->renderer, s->overlay, nullptr, &to);
}

void qvn_cEngDisplay::Represent() {
    SSdlDisplay* s = State(this);
    if (!s || !s->renderer || !s->texture) return;
    Compose(s, m_nWidth, m_nHeight, m_pOverlay);
    SDL_RenderPresent(s->renderer);
}

bool qvn_cEngDisplay::PresentedFrame(std::vector<uint16_t>* frame) {
    SSdlDisplay* s = State(this);
    if (!s || s->presented.empty()) return false;
    *frame = s->presented;
    return true;
}

bool qvn_cEngDisplay::WindowPicture(std::vector<uint32_t>* rgb, int* width, int* height) {
    SSdlDisplay* s = State(this);
    if (!s || !s->renderer || !s->texture) return false;
    Compose(s, m_nWidth, m_nHeight, m_pOverlay);
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(s->renderer, &outW, &outH);
    if (outW <= 0 || outH <= 0) return false;
    rgb->assign(static_cast<size_t>(outW) * outH, 0);
    if (SDL_RenderReadPixels(s->renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, rgb->data(), outW * 4) != 0) return false;
    for (uint32_t& p : *rgb) p &= 0xFFFFFF;
    *width = outW;
    *height = outH;
    return true;
}

void qvn_cEngDisplay::Flip() {
    SSdlDisplay* s = State(this);
    if (!s || !s->renderer) return;
    if (SDL_UpdateTexture(s->texture, nullptr, s->surface.data(), m_nWidth * 2) != 0) {
        LogMessage("Error while trying to flip : 1\n");
        return;
    }
    s->presented = s->surface;
    Compose(s, m_nWidth, m_nHeight, m_pOverlay);
    // On the refresh grid even when the renderer does not wait for vertical
    // blank: held back to the next refresh, then presented.
    Uint64 at = SDL_GetPerformanceCounter();
    if (const Uint64 wait = s->pacer.WaitBeforePresent(at, s->vsync)) {
        qvn_SdlWaitUntil(at + wait);
        at = SDL_GetPerformanceCounter();
    }
    SDL_RenderPresent(s->renderer);
    if (s->vsync) at = SDL_GetPerformanceCounter();
    m_nLastPresentRefreshes = s->pacer.Presented(at, s->vsync);
    if (s->vsync && !s->pacer.VsyncHolds()) {
        s->vsync = false;
        LogMessage("The screen's present does not wait for vertical blank; frames are paced to %d Hz.\n", m_nRefreshHz);
    }
}

bool qvn_cEngDisplay::InitSurfaces_FullScreen() { return m_pBackend != nullptr; }
bool qvn_cEngDisplay::InitSurfaces_Windowed() { return m_pBackend != nullptr; }
