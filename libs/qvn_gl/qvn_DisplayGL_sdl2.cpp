// demo_hw's live screen: the SDL2 window with a GL context. The frame is
// drawn into the 320 x 240 target and shown as demo_sw shows its own: at 4:3,
// scaled by a whole number when it fits (nearest neighbour), letterboxed;
// "full screen" is a borderless desktop-size window; paced to the refresh.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "qvn_DisplayGL.h"
#include "qvn_Overlay.h"
#include "qvn_RefreshPacer.h"
#include "qvn_ErrorLog.h"
#include "qvn_SdlContext_sdl2.h"

namespace {

struct SGLWindow {
    SDL_GLContext context = nullptr;
    bool fullscreen = false;
    bool vsync = false;
    qvn_cRefreshPacer pacer;
};

qvn_cScreenGLDisplay* g_pGLScreen = nullptr;
SGLWindow* g_pGLScreenState = nullptr;

void ApplyWindowMode(qvn_cEngDisplay* display, SGLWindow* s) {
    SDL_Window* window = qvn_Sdl().window;
    if (!s || !window) return;
    if (s->fullscreen) {
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(window, 0);
        const int scale = g_nDisplayScale;
        SDL_SetWindowSize(window, scale > 0 ? display->m_nWidth * scale : 640,
                          scale > 0 ? display->m_nHeight * scale : 480);
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

void ToggleFullscreen() {
    if (!g_pGLScreen || !g_pGLScreenState) return;
    g_pGLScreenState->fullscreen = !g_pGLScreenState->fullscreen;
    ApplyWindowMode(g_pGLScreen, g_pGLScreenState);
}

// The window is made before the program knows it wants GL; a GL context
// needs a window made for it, so that one replaces it (same title and size).
bool EnsureGLWindow() {
    SDL_Window* window = qvn_Sdl().window;
    if (!window) return false;
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) return true;
    int w = 640, h = 480;
    SDL_GetWindowSize(window, &w, &h);
    const Uint32 flags =
        (SDL_GetWindowFlags(window) & (SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI)) | SDL_WINDOW_OPENGL;
    SDL_Window* glWindow =
        SDL_CreateWindow(SDL_GetWindowTitle(window), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, flags);
    if (!glWindow) return false;
    SDL_DestroyWindow(window);
    // Everything on this backend reaches the window through the context.
    qvn_Sdl().window = glWindow;
    return true;
}

SDL_GLContext CreateContext(SDL_Window* window) {
    // GLES 3 first; the same shaders run on GL 3.3 core.
    static const int kAttempts[][3] = {{SDL_GL_CONTEXT_PROFILE_ES, 3, 0}, {SDL_GL_CONTEXT_PROFILE_CORE, 3, 3}};
    for (const auto& a : kAttempts) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, a[0]);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, a[1]);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, a[2]);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        if (SDL_GLContext context = SDL_GL_CreateContext(window)) return context;
    }
    return nullptr;
}

}  // namespace

qvn_cScreenGLDisplay::qvn_cScreenGLDisplay(bool softwareFrames) : m_bSoftwareFrames(softwareFrames) {}

bool qvn_ScreenGLAvailable(std::string* why) {
    if (!qvn_SdlInitVideo()) {
        *why = SDL_GetError();
        return false;
    }
    SDL_Window* window = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 16, 16,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        *why = SDL_GetError();
        return false;
    }
    SDL_GLContext context = CreateContext(window);
    if (!context) *why = SDL_GetError();
    else SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    return context != nullptr;
}

qvn_cScreenGLDisplay::~qvn_cScreenGLDisplay() {
    ReleaseTarget();
    SGLWindow* s = static_cast<SGLWindow*>(m_pWindowState);
    if (s) {
        if (s->context) SDL_GL_DeleteContext(s->context);
        delete s;
        m_pWindowState = nullptr;
    }
    if (g_pGLScreen == this) {
        g_pGLScreen = nullptr;
        g_pGLScreenState = nullptr;
        qvn_Sdl().toggleFullscreen = nullptr;
    }
}

bool qvn_cScreenGLDisplay::MakeCurrent() {
    SGLWindow* s = static_cast<SGLWindow*>(m_pWindowState);
    if (!s || !s->context || !qvn_Sdl().window) return false;
    if (SDL_GL_GetCurrentContext() == s->context) return true;
    return SDL_GL_MakeCurrent(qvn_Sdl().window, s->context) == 0;
}

bool qvn_cScreenGLDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    if (!qvn_SdlInitVideo()) return false;
    int displays = SDL_GetNumVideoDisplays();
    for (int i = 0; i < displays && m_DDrawDevices.m_nCount < displays; ++i) {
        char name[32];
        if (i == 0) std::strcpy(name, "display");
        else SDL_snprintf(name, sizeof name, "display%d", i + 1);
        const char* description = SDL_GetDisplayName(i);
        m_DDrawDevices.Append(new SDDrawDevice(description ? description : name, name, nullptr));
    }
    const char* wanted = deviceName ? deviceName : "";
    int index = std::strcmp(wanted, "NoSelection") == 0 && m_DDrawDevices.m_nCount > 0 ? 0 : -1;
    for (int i = 0; i < m_DDrawDevices.m_nCount && index < 0; ++i)
        if (std::strcmp(m_DDrawDevices.m_ppItems[i]->m_szName, wanted) == 0) index = i;
    if (index < 0) return false;
    if (!EnsureGLWindow()) {
        LogMessage("qvn_cEngDisplay::Init : DirectDrawCreate failed\n");
        return false;
    }
    SGLWindow* s = new SGLWindow;
    m_pWindowState = s;
    s->context = CreateContext(qvn_Sdl().window);
    if (!s->context) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cEngDisplay::InitDirect3d : CreateDevice failed ! (%s)\n", SDL_GetError());
        return false;
    }
    if (!MakeCurrent()) return false;
    // A rate of the user's own is kept by the pacer, not by vertical blank.
    s->vsync = g_nDisplayRefreshHz <= 0 && SDL_GL_SetSwapInterval(1) == 0;
    if (!s->vsync) SDL_GL_SetSwapInterval(0);
    m_bWindowed = windowed;
    if (!InitTarget(width, height, bpp, windowed)) return false;
    if (m_bSoftwareFrames) m_eRenderMode = QVN_RENDER_SOFTWARE;
    LogMessage("OpenGL: %s\n", m_Device.Description().c_str());

    s->fullscreen = (windowed == 0);
    g_pGLScreen = this;
    g_pGLScreenState = s;
    ApplyWindowMode(this, s);
    m_nRefreshHz = g_nDisplayRefreshHz > 0 ? g_nDisplayRefreshHz : qvn_SdlRefreshHz(index);
    s->pacer.Reset(SDL_GetPerformanceFrequency(), m_nRefreshHz);
    qvn_Sdl().toggleFullscreen = ToggleFullscreen;
    return true;
}

bool qvn_cScreenGLDisplay::Compose(int* outW, int* outH) {
    SDL_GL_GetDrawableSize(qvn_Sdl().window, outW, outH);
    if (*outW <= 0 || *outH <= 0) return false;
    const qvn_SFilterRect dst = qvn_FilterRect(g_eDisplayFilter, *outW, *outH, m_nWidth, m_nHeight);
    m_Device.Present(*outW, *outH, dst.x, dst.y, dst.w, dst.h, g_eDisplayFilter);
    if (!m_bFilterNoted && g_eDisplayFilter != qvn_eFilter::kNearest && !m_Device.Error().empty()) {
        m_bFilterNoted = true;
        LogNotice("--filter %s: %s; the picture is shown nearest.\n", qvn_FilterName(g_eDisplayFilter),
                  m_Device.Error().c_str());
    }
    const qvn_SOverlayPicture* overlay = m_pOverlay;
    if (overlay && overlay->width > 0 && overlay->height > 0) {
        const qvn_SOverlayRect r = qvn_OverlayRect(dst.x, dst.y, dst.w, dst.h, overlay->width, overlay->height);
        m_Device.PresentOverlay(overlay->argb.data(), overlay->width, overlay->height, *outH, r.x, r.y, r.w, r.h);
    }
    return true;
}

void qvn_cScreenGLDisplay::Represent() {
    if (!m_pWindowState || !MakeCurrent()) return;
    int outW = 0, outH = 0;
    Compose(&outW, &outH);
    SDL_GL_SwapWindow(qvn_Sdl().window);
}

bool qvn_cScreenGLDisplay::PresentedFrame(std::vector<uint16_t>* frame) {
    // Nothing is drawn between a flip and the viewer's request: the target,
    // or the CPU copy when that is newer, is the frame shown.
    if (!m_pWindowState || !MakeCurrent()) return false;
    SyncToCpu();
    *frame = m_Frame;
    return !frame->empty();
}

bool qvn_cScreenGLDisplay::WindowPicture(std::vector<uint32_t>* rgb, int* width, int* height) {
    if (!m_pWindowState || !MakeCurrent()) return false;
    SyncToGpu();
    if (!Compose(width, height)) return false;
    return m_Device.ReadWindow(*width, *height, rgb);
}

void qvn_cScreenGLDisplay::Flip() {
    SGLWindow* s = static_cast<SGLWindow*>(m_pWindowState);
    if (!s || !MakeCurrent()) return;
    SyncToGpu();
    int outW = 0, outH = 0;
    Compose(&outW, &outH);
    // On the refresh grid even when the swap does not wait for vertical
    // blank: held back to the next refresh, then swapped.
    Uint64 at = SDL_GetPerformanceCounter();
    if (const Uint64 wait = s->pacer.WaitBeforePresent(at, s->vsync)) {
        qvn_SdlWaitUntil(at + wait);
        at = SDL_GetPerformanceCounter();
    }
    SDL_GL_SwapWindow(qvn_Sdl().window);
    if (s->vsync) at = SDL_GetPerformanceCounter();
    m_nLastPresentRefreshes = s->pacer.Presented(at, s->vsync);
    if (s->vsync && !s->pacer.VsyncHolds()) {
        s->vsync = false;
        LogMessage("The screen's present does not wait for vertical blank; frames are paced to %d Hz.\n", m_nRefreshHz);
    }
}
