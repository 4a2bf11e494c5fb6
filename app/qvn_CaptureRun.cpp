#include "qvn_CaptureRun.h"

#include "qvn_Viewer.h"

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

// A viewer's seek plays the show unseen on the viewer's own clock: the
// capture's clock, and the script with it, waits meanwhile.
void qvn_cCaptureRun::OnPump() {
    if (!qvn_viewer::FastForwarding()) m_pSession->OnPump();
}

bool qvn_cCaptureRun::TakeOne() {
    if (g_nCaptureInterrupted) return true;
    // The script's times count from the run's start: nothing is pressed
    // while the show is played up to a start point.
    if (!m_pSession->RunStarted() || qvn_viewer::FastForwarding()) return false;
    const uint32_t now = m_pSession->RunMs();
    // The scripted quit stands for Escape pressed at that moment.
    if (m_nQuitAtMs >= 0 && now >= static_cast<uint32_t>(m_nQuitAtMs)) return true;
    if (m_nNextKey < m_Keys.size() && now >= static_cast<uint32_t>(m_Keys[m_nNextKey].ms)) {
        const int key = m_Keys[m_nNextKey++].key;
        if (qvn_KeyEndsShow(key)) return true;
        qvn_run::Key(key);
    }
    return false;
}
