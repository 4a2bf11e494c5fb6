#include "qvn_Window.h"

#include "qvn_Run.h"
#include "qvn_SoundPlayer.h"
#include "qvn_System.h"

qvn_cWindow* g_pWindow = nullptr;
const char* const kQvnWindowClass = "Switcher";
const char* const kQvnWindowTitle = "DDraw Window to Full-Screen Switching Example";

qvn_cWindow::qvn_cWindow()
    : m_hInstance(nullptr), m_hWnd(nullptr), m_bQuitSeen(false), m_bQuitRequested(false), m_pInput(nullptr) {
    g_pWindow = this;
}

qvn_cWindow::~qvn_cWindow() {
    if (m_hWnd && qvn_sys::NativeWindow() == m_hWnd) qvn_sys::SetNativeWindow(nullptr);
    if (g_pWindow == this) g_pWindow = nullptr;
}

bool qvn_cWindow::PumpMessages() {
    // The clocks that count pumps move first, so a script reads the time
    // this pass stands for.
    qvn_run::Pumped();
    // The window is gone after the first quit: a held key or a second close
    // request cannot end the show twice. Without a native window (capture
    // mode) there is no queue to read.
    const bool input = m_pInput ? m_pInput->TakeOne() : m_hWnd && TakeOneMessage();
    bool quit = input && !m_bQuitSeen;
    if (m_bQuitRequested && !m_bQuitSeen) quit = true;
    if (quit) {
        m_bQuitSeen = true;
        return false;
    }
    // The only place where music is decoded: it plays only while frames pump.
    // Nothing is decoded while the show plays unseen up to a start point: the
    // music is positioned there (the show's clock never depends on it).
    if (g_pMusic && g_pMusic->IsPlaying() && qvn_run::Presenting()) g_pMusic->Update();
    return true;
}
