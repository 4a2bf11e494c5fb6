// demo_hw on Windows: the 3D scenes through the Direct3D device with a
// z-buffer; the picture parts lock the same back buffer as in demo_sw. In
// capture mode the device renders into an off-screen surface.
#include "qvn_DisplayD3D.h"
#include "qvn_Main.h"
#include "qvn_ShowParts.h"
#include "qvn_cRendererD3D.h"
#include "qvn_cScene.h"
#include "qvn_cTextureCache.h"

const char* const kQvnProgramName = "demo_hw";

// The screen made last: the application makes the renderer only once that
// screen is up, and the renderer draws on its device.
static qvn_cEngDisplay3D* s_pScreen = nullptr;

static qvn_cEngDisplay* CreateScreen() { return s_pScreen = new qvn_cEngDisplay3D; }
static qvn_cEngDisplay* CreateCaptureScreen() { return s_pScreen = new qvn_cCaptureD3DDisplay; }
static void CreateRenderer() { g_pRenderer = new qvn_cRendererD3D(s_pScreen == g_pDisplay ? s_pScreen : nullptr); }

// Textures live on the device; the store is the bare base.
static bool CreateTextureStore() {
    g_pTextureStore = new qvn_cTextureStore;
    return true;
}

qvn_SAppFactories qvn_ProgramFactories(bool capture) {
    return qvn_ShowFactories({CreateScreen, CreateCaptureScreen, CreateRenderer, CreateTextureStore}, capture);
}

qvn_SShow qvn_ProgramShow() { return qvn_DefaultShow(); }
