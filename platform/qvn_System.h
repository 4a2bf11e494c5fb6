// The small system facade: the only way engine code reaches the clock, the
// debugger output, message boxes, the cursor and the quit request. Each backend
// installs its own services at start; until then (and in every test) a headless
// set answers.
#pragma once

#include <cstdint>

// What the show reads its time from: milliseconds, wrapping like
// GetTickCount. The frame clocks (capture, start point, viewer) are clocks
// and nothing else.
class qvn_cClock {
public:
    virtual ~qvn_cClock() = default;
    virtual uint32_t TickCount() = 0;
};

// The system's services; each backend's also has the system's clock, which
// serves until a frame clock is installed over it.
class qvn_cSystemServices : public qvn_cClock {
public:
    virtual void DebugOutput(const char* text) = 0;
    // Blocks until the user closes the box; flags as MessageBoxA's (0x10 = error icon).
    virtual void ShowMessageBox(const char* text, const char* caption, unsigned flags) = 0;
    virtual void SetCursorVisible(bool visible) = 0;
};

namespace qvn_sys {
uint32_t TickCount();
void DebugOutput(const char* text);
void ShowMessageBox(const char* text, const char* caption, unsigned flags = 0);
void SetCursorVisible(bool visible);

// Installs services (null restores the headless ones); returns the previous.
qvn_cSystemServices* Install(qvn_cSystemServices* services);
qvn_cSystemServices* Installed();
// Installs the clock TickCount reads (null: the services' own); returns the
// previous (null when it was the services').
qvn_cClock* InstallClock(qvn_cClock* clock);
// The clock TickCount reads now.
qvn_cClock* Clock();

// The native window the show plays in (an HWND on Windows; null in capture
// mode and before the window exists): the Windows display and sound device
// attach to it. The window says when it is made and when it is gone.
void SetNativeWindow(void* window);
void* NativeWindow();

// The headless services also serve the native backends for what they lack.
// Debugger output goes to stderr only when verbose.
void SetVerbose(bool verbose);
bool Verbose();
}  // namespace qvn_sys

constexpr unsigned QVN_MB_OK = 0x0;
constexpr unsigned QVN_MB_ICONHAND = 0x10;
