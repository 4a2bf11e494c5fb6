// demo_sw: the show with the software rasteriser.
#include "qvn_Display_capture.h"
#include "qvn_EngDisplay.h"
#include "qvn_Main.h"
#include "qvn_ShowParts.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

const char* const kQvnProgramName = "demo_sw";

static qvn_cEngDisplay* CreateScreen() { return new qvn_cEngDisplay; }
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
