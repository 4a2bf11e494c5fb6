// The program's one top-level window and its message pump, which every frame
// loop calls once per frame: it handles at most one window message and keeps
// the music fed.
#pragma once

#include <csignal>
#include <cstdint>

struct qvn_SScriptedKey;

class qvn_cWindow {
public:
    qvn_cWindow();  // publishes g_pWindow
    virtual ~qvn_cWindow();

    // Registers the class (when hPrevInstance is null), creates and shows the
    // window. lpCmdLine is not used.
    bool Create(void* hInstance, void* hPrevInstance, const char* lpCmdLine, int nCmdShow);

    // false exactly once: on the call that takes the quit from the queue.
    bool PumpMessages();

    // Whether a quit has been taken from the queue at some point: the
    // sequencer uses it to stop the rest of the show.
    bool QuitSeen() const { return m_bQuitSeen; }
    // Ends the show from inside: the next pump reports the quit, as if the
    // viewer had closed the window (a part that cannot even start does this).
    void RequestQuit() { m_bQuitRequested = true; }
    // Ends the show at once, as if the quit had just been taken from the
    // queue: no pump runs, so no clock moves (a stop point's frame).
    void EndShow() { m_bQuitRequested = m_bQuitSeen = true; }

    void* m_hInstance;
    void* m_hWnd;  // the native window, null until Create succeeds

private:
    // Backend: handles at most one pending message; true when it was the quit.
    bool TakeOneMessage();

    bool m_bQuitSeen;
    bool m_bQuitRequested;
    int m_nNextScriptedKey;
};

extern qvn_cWindow* g_pWindow;

// Window class and title (the native backends use them).
extern const char* const kQvnWindowClass;
extern const char* const kQvnWindowTitle;

// Capture mode: a quit is delivered by the first pump at or after this virtual
// time (ms); negative: never. Lets tests walk the quit path without a keyboard.
extern int32_t g_nCaptureQuitAtMs;
// Capture mode: keys pressed at run times (sorted; null: none). Each pump
// takes at most one, as it takes at most one window message; the show's keys
// act as they do live (Escape and F12 end the show, the others do nothing).
extern const qvn_SScriptedKey* g_pCaptureKeys;
extern int g_nCaptureKeys;
// Capture mode: set by a signal (Ctrl+C, a request to terminate); the next
// pump takes it as Escape, so the run's files are finished as on any quit.
extern volatile std::sig_atomic_t g_nCaptureInterrupted;
// Installs the handlers that set it; a second signal acts as it would
// without them.
void qvn_CatchCaptureInterrupts();
