// demo_hw: the show with the hardware-style renderer (OpenGL on this
// backend): the 3D scenes are drawn by the GL device with a depth buffer, the
// picture parts composite into the frame read back from it.
#include "qvn_DisplayGL.h"
#include "qvn_Main.h"
#include "qvn_ShowParts.h"
#include "qvn_cRendererGL.h"
#include "qvn_cScene.h"
#include "qvn_cTextureCache.h"

const char* const kQvnProgramName = "demo_hw";

// The screen made last: the application makes the renderer only once that
// screen is up, and the renderer draws into it.
static qvn_cGLDisplay* s_pScreen = nullptr;

static qvn_cEngDisplay* CreateScreen() { return s_pScreen = new qvn_cScreenGLDisplay; }
static qvn_cEngDisplay* CreateCaptureScreen() { return s_pScreen = new qvn_cCaptureGLDisplay; }
static void CreateRenderer() { g_pRenderer = new qvn_cRendererGL(s_pScreen == g_pDisplay ? s_pScreen : nullptr); }

// Textures live on the GL device; the store is the bare base.
static bool CreateTextureStore() {
    g_pTextureStore = new qvn_cTextureStore;
    return true;
}

qvn_SAppFactories qvn_ProgramFactories(bool capture) {
    return qvn_ShowFactories({CreateScreen, CreateCaptureScreen, CreateRenderer, CreateTextureStore}, capture);
}

qvn_SShow qvn_ProgramShow() { return qvn_DefaultShow(); }
