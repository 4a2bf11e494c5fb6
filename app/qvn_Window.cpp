#include "qvn_Window.h"

#include "qvn_Capture.h"
#include "qvn_Keys.h"
#include "qvn_SoundPlayer.h"
#include "qvn_StartPoint.h"
#include "qvn_Viewer.h"

qvn_cWindow* g_pWindow = nullptr;
const char* const kQvnWindowClass = "Switcher";
const char* const kQvnWindowTitle = "DDraw Window to Full-Screen Switching Example";
int32_t g_nCaptureQuitAtMs = -1;
const qvn_SScriptedKey* g_pCaptureKeys = nullptr;
int g_nCaptureKeys = 0;
volatile std::sig_atomic_t g_nCaptureInterrupted = 0;

static void OnInterruptSignal(int signal) {
    g_nCaptureInterrupted = 1;
    std::signal(signal, SIG_DFL);
}

void qvn_CatchCaptureInterrupts() {
    g_nCaptureInterrupted = 0;
    std::signal(SIGINT, OnInterruptSignal);
    std::signal(SIGTERM, OnInterruptSignal);
}

qvn_cWindow::qvn_cWindow() : m_hInstance(nullptr), m_hWnd(nullptr), m_bQuitSeen(false), m_bQuitRequested(false), m_nNextScriptedKey(0) { g_pWindow = this; }

qvn_cWindow::~qvn_cWindow() {
    if (g_pWindow == this) g_pWindow = nullptr;
}

bool qvn_cWindow::PumpMessages() {
    bool quit;
    if (g_pCapture) {
        // A viewer's seek plays the show unseen on the viewer's own clock:
        // the capture's clock, and the script with it, waits meanwhile.
        const bool seeking = qvn_viewer::FastForwarding();
        if (seeking) qvn_start::Pumped();
        else g_pCapture->OnPump();
        // The script's times count from the run's start: nothing is pressed
        // while the show is played up to a start point.
        quit = g_nCaptureInterrupted && !m_bQuitSeen;
        if (!quit && g_pCapture->RunStarted() && !seeking) {
            const uint32_t now = g_pCapture->RunMs();
            // The scripted quit stands for Escape pressed at that moment.
            quit = !m_bQuitSeen && g_nCaptureQuitAtMs >= 0 && now >= static_cast<uint32_t>(g_nCaptureQuitAtMs);
            if (!quit && g_pCaptureKeys && m_nNextScriptedKey < g_nCaptureKeys &&
                now >= static_cast<uint32_t>(g_pCaptureKeys[m_nNextScriptedKey].ms)) {
                const int key = g_pCaptureKeys[m_nNextScriptedKey++].key;
                quit = qvn_KeyEndsShow(key) && !m_bQuitSeen;
                if (!quit) qvn_viewer::OnKey(key);
            }
        }
    } else {
        qvn_start::Pumped();
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
    // Nothing is decoded while the show plays unseen up to a start point: the
    // music is positioned there (the show's clock never depends on it).
    if (g_pMusic && g_pMusic->IsPlaying() && qvn_start::Presenting()) g_pMusic->Update();
    return true;
}
