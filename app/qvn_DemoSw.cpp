// demo_sw: the show with the software rasteriser.
#include "qvn_Display_capture.h"
#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#if QVN_GL_SCREEN
#include "qvn_DisplayGL.h"
#endif
#include "qvn_Main.h"
#include "qvn_ShowParts.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

const char* const kQvnProgramName = "demo_sw";

// The SDL renderer shows the frame nearest only; the other looks are fragment
// shaders, so for those the frame goes to the screen through GL when there is
// GL to be had.
static qvn_cEngDisplay* CreateScreen() {
    if (g_eDisplayFilter != qvn_eFilter::kNearest) {
#if QVN_GL_SCREEN
        std::string why;
        if (qvn_ScreenGLAvailable(&why)) return new qvn_cScreenGLDisplay(true);
        LogNotice("--filter %s needs OpenGL, which is not available here (%s); the picture is shown nearest.\n",
                  qvn_FilterName(g_eDisplayFilter), why.c_str());
#else
        LogNotice("--filter %s is not offered by this build's screen; the picture is shown nearest.\n",
                  qvn_FilterName(g_eDisplayFilter));
#endif
    }
    return new qvn_cEngDisplay;
}
static qvn_cEngDisplay* CreateCaptureScreen() { return new qvn_cCaptureDisplay; }
// The renderer made last: the application makes the texture store after it
// (at start-up and when the show is played again), and the store is handed
// to it then.
static qvn_cSoftRenderer* s_pRenderer = nullptr;

static void CreateRenderer() { g_pRenderer = s_pRenderer = new qvn_cSoftRenderer(g_pDisplay); }

// The block every software texture lives in, converted to the screen's format.
static bool CreateTextureStore() {
    qvn_cTextureCache* cache = new qvn_cTextureCache;
    if (!cache->Create(g_pDisplay ? &g_pDisplay->m_PixelFormat : nullptr)) {
        delete cache;
        return false;
    }
    if (s_pRenderer && s_pRenderer == g_pRenderer) s_pRenderer->SetTextureCache(cache);
    g_pTextureStore = cache;
    return true;
}

qvn_SAppFactories qvn_ProgramFactories(bool capture) {
    return qvn_ShowFactories({CreateScreen, CreateCaptureScreen, CreateRenderer, CreateTextureStore}, capture);
}

qvn_SShow qvn_ProgramShow() { return qvn_DefaultShow(); }
