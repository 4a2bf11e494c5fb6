#include "qvn_App.h"

#include "qvn_EngDisplay.h"
#include "qvn_Input.h"
#include "qvn_Random.h"
#include "qvn_SoundPlayer.h"

qvn_cApp* g_pApp = nullptr;

qvn_cApp::qvn_cApp() {
    g_pApp = this;
    g_pDisplay = nullptr;
    g_pInput = nullptr;
    g_pMusic = nullptr;
}

qvn_cApp::~qvn_cApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

bool qvn_cDemoApp::Init() {
    // 1. The screen: full screen, 320 x 240, 16 bits, on the named device.
    qvn_cEngDisplay* display = m_Factories.createDisplay ? m_Factories.createDisplay() : nullptr;
    if (!display) return false;
    if (!display->Init(g_pszDisplayDevice, QVN_SCREEN_WIDTH, QVN_SCREEN_HEIGHT, 16, m_bWindowed)) {
        delete display;
        return false;
    }
    g_pDisplay = display;
    // 2. The keyboard.
    g_pInput = new qvn_cInput;
    if (!g_pInput->Init()) return false;
    // 3. The music player: no file and no device yet, the sequencer opens them.
    g_pMusic = m_Factories.createMusic ? m_Factories.createMusic() : nullptr;
    if (!g_pMusic) return false;
    // 4. The renderer (a missing one is not fatal).
    if (m_Factories.createRenderer) m_Factories.createRenderer();
    // 5. The texture store.
    if (m_Factories.createTextureStore && !m_Factories.createTextureStore()) return false;
    return true;
}

bool qvn_cDemoApp::ResetShow() {
    // The texture store keeps the scenes' textures and the renderer its
    // states: both are made again, in Init's order.
    if (m_Factories.freeTextureStore) m_Factories.freeTextureStore();
    if (m_Factories.freeRenderer) m_Factories.freeRenderer();
    if (m_Factories.createRenderer) m_Factories.createRenderer();
    if (m_Factories.resetShow) m_Factories.resetShow();
    qvn_srand(1);
    return !m_Factories.createTextureStore || m_Factories.createTextureStore();
}

qvn_cDemoApp::~qvn_cDemoApp() {
    if (m_Factories.freeTextureStore) m_Factories.freeTextureStore();
    if (g_pMusic) {
        g_pMusic->Release();
        delete g_pMusic;
        g_pMusic = nullptr;
    }
    // The display, keyboard and renderer are freed after the music, so the
    // screen is given back before the process ends.
    if (m_Factories.freeRenderer) m_Factories.freeRenderer();
    delete g_pInput;
    g_pInput = nullptr;
    delete g_pDisplay;
    g_pDisplay = nullptr;
}
