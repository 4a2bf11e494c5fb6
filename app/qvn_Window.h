// The program's one top-level window and its message pump, which every frame
// loop calls once per frame: it handles at most one window message and keeps
// the music fed.
#pragma once

#include <cstdint>

// Where the pump's input comes from when it is not the window's own
// messages (capture mode plays a script of keys).
class qvn_cInputSource {
public:
    virtual ~qvn_cInputSource() = default;
    // Takes at most one input; true when it ends the show (a quit, Escape or
    // F12). Other keys go to the run's observers (qvn_run::Key).
    virtual bool TakeOne() = 0;
};

class qvn_cWindow {
public:
    qvn_cWindow();  // publishes g_pWindow
    virtual ~qvn_cWindow();

    // Registers the class (when hPrevInstance is null), creates and shows the
    // window. lpCmdLine is not used.
    bool Create(void* hInstance, void* hPrevInstance, const char* lpCmdLine, int nCmdShow);

    // false exactly once: on the call that takes the quit from the queue.
    // Each pass tells the run's observers, takes at most one input and keeps
    // the music fed.
    bool PumpMessages();

    // The pump's input (null: the window's messages); not owned.
    void SetInput(qvn_cInputSource* source) { m_pInput = source; }

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
    qvn_cInputSource* m_pInput;
};

extern qvn_cWindow* g_pWindow;

// Window class and title (the native backends use them).
extern const char* const kQvnWindowClass;
extern const char* const kQvnWindowTitle;
