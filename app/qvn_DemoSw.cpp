// demo_sw: the show with the software rasteriser.
#include "qvn_Display_capture.h"
#include "qvn_EngDisplay.h"
#include "qvn_MP3Player.h"
#include "qvn_Main.h"
#include "qvn_ShowParts.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

const char* const kQvnProgramName = "demo_sw";

static qvn_cEngDisplay* CreateScreen() { return new qvn_cEngDisplay; }
static qvn_cEngDisplay* CreateCaptureScreen() { return new qvn_cCaptureDisplay; }
static qvn_cSoundPlayer* CreateMusic() { return new qvn_cMP3Player; }
static void CreateRenderer() { g_pRenderer = new qvn_cSoftRenderer(g_pDisplay); }
static void FreeRenderer() {
    delete g_pRenderer;
    g_pRenderer = nullptr;
}

// The block every software texture lives in, converted to the screen's format.
static bool CreateTextureStore() {
    qvn_cTextureCache* cache = new qvn_cTextureCache;
    if (!cache->Create(g_pDisplay ? &g_pDisplay->m_PixelFormat : nullptr)) {
        delete cache;
        return false;
    }
    g_pTextureStore = cache;
    return true;
}

static void FreeTextureStore() {
    delete g_pTextureStore;
    g_pTextureStore = nullptr;
}

qvn_SAppFactories qvn_ProgramFactories(bool capture) {
    // The programme finds the parts by class name from here on.
    qvn_RegisterShowParts();
    qvn_SAppFactories f{};
    f.createDisplay = capture ? CreateCaptureScreen : CreateScreen;
    f.createMusic = CreateMusic;
    f.createRenderer = CreateRenderer;
    f.freeRenderer = FreeRenderer;
    f.createTextureStore = CreateTextureStore;
    f.freeTextureStore = FreeTextureStore;
    return f;
}
