// The small system facade: the only way engine code reaches the clock, the
// debugger output, message boxes, the cursor and the quit request. Each backend
// installs its own services at start; until then (and in every test) a headless
// set answers.
#pragma once

#include <cstdint>

class qvn_cSystemServices {
public:
    virtual ~qvn_cSystemServices() = default;
    // Milliseconds, wrapping like GetTickCount.
    virtual uint32_t TickCount() = 0;
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

// The headless services also serve the native backends for what they lack.
// Debugger output goes to stderr only when verbose.
void SetVerbose(bool verbose);
bool Verbose();
}  // namespace qvn_sys

constexpr unsigned QVN_MB_OK = 0x0;
constexpr unsigned QVN_MB_ICONHAND = 0x10;
