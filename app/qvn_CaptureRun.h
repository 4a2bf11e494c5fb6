// The capture session as the run sees it: it learns the phase and the part
// each frame belongs to, its clock moves on the pumps that had no frame, and
// its script of keys (--keys, --quit-at, Ctrl+C) is the pump's input in
// place of a window's messages.
#pragma once

#include <csignal>
#include <cstdint>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_Keys.h"
#include "qvn_Run.h"
#include "qvn_Window.h"

class qvn_cCaptureRun : public qvn_cRunObserver, public qvn_cInputSource {
public:
    explicit qvn_cCaptureRun(qvn_cCaptureSession* session) : m_pSession(session) {}

    // A quit is delivered by the first pump at or after this run time (ms);
    // negative: never. Lets tests walk the quit path without a keyboard.
    void SetQuitAt(int32_t ms) { m_nQuitAtMs = ms; }
    // Keys pressed at run times (sorted). Each pump takes at most one, as it
    // takes at most one window message; the show's keys act as they do live
    // (Escape and F12 end the show, the others go to the observers).
    void SetKeys(const std::vector<qvn_SScriptedKey>& keys) {
        m_Keys = keys;
        m_nNextKey = 0;
    }

    // Observer.
    void OnPhase(int phase) override { m_pSession->SetPhase(phase); }
    void OnPartBegins(const char* className) override { m_pSession->SetPartName(className); }
    void OnPartEnds() override { m_pSession->SetPartName(nullptr); }
    void OnPump() override;

    // Input source.
    bool TakeOne() override;

private:
    qvn_cCaptureSession* m_pSession;
    int32_t m_nQuitAtMs = -1;
    std::vector<qvn_SScriptedKey> m_Keys;
    size_t m_nNextKey = 0;
};

// Set by a signal (Ctrl+C, a request to terminate); the next pump of a
// capture takes it as Escape, so the run's files are finished as on any quit.
extern volatile std::sig_atomic_t g_nCaptureInterrupted;
// Installs the handlers that set it; a second signal acts as it would
// without them.
void qvn_CatchCaptureInterrupts();
