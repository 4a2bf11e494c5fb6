#include "qvn_Window.h"

#include "qvn_Capture.h"
#include "qvn_SoundPlayer.h"

qvn_cWindow* g_pWindow = nullptr;
const char* const kQvnWindowClass = "Switcher";
const char* const kQvnWindowTitle = "DDraw Window to Full-Screen Switching Example";
int32_t g_nCaptureQuitAtMs = -1;

qvn_cWindow::qvn_cWindow() : m_hInstance(nullptr), m_hWnd(nullptr), m_bQuitSeen(false), m_bQuitRequested(false) { g_pWindow = this; }

qvn_cWindow::~qvn_cWindow() {
    if (g_pWindow == this) g_pWindow = nullptr;
}

bool qvn_cWindow::PumpMessages() {
    bool quit;
    if (g_pCapture) {
        g_pCapture->OnPump();
        // The scripted quit stands for Escape pressed at that moment.
        quit = !m_bQuitSeen && g_nCaptureQuitAtMs >= 0 &&
               g_pCapture->VirtualMs() >= static_cast<uint32_t>(g_nCaptureQuitAtMs);
    } else {
        // The window is gone after the first quit: a held key or a second
        // close request cannot end the show twice.
        quit = TakeOneMessage() && !m_bQuitSeen;
    }
    if (m_bQuitRequested && !m_bQuitSeen) quit = true;
    if (quit) {
        m_bQuitSeen = true;
        return false;
    }
    // The only place where music is decoded: it plays only while frames pump.
    if (g_pMusic && g_pMusic->IsPlaying()) g_pMusic->Update();
    return true;
}
