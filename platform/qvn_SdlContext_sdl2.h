// What the SDL2 backend files share: the window and the renderer they draw
// through. Only *_sdl2.cpp files include this.
#pragma once

#include <SDL.h>

struct qvn_SSdlContext {
    SDL_Window* window = nullptr;
    bool videoReady = false;
    // Set by the display so the window's key handling can toggle it (Alt+Enter).
    void (*toggleFullscreen)() = nullptr;
};

qvn_SSdlContext& qvn_Sdl();
// Initialises SDL's video subsystem once; false (with SDL's reason in the log)
// when there is no video device.
bool qvn_SdlInitVideo();

// Where a w x h frame goes in an output of outW x outH: the largest
// whole-number scale that fits (nearest neighbour keeps the pixels square),
// or the largest fit of its shape when even 1x does not; centred. Both
// screens (software and OpenGL) show their frames by this one rule.
SDL_Rect qvn_SdlFitRect(int outW, int outH, int w, int h);

// The display's refresh rate (60 when it does not say).
int qvn_SdlRefreshHz(int displayIndex);

// Sleeps until the performance counter reaches target: the system's sleep
// for all but the last millisecond, which it might oversleep, then a spin.
void qvn_SdlWaitUntil(Uint64 target);

// Sends standard error to the null device while it lives (or until Restore):
// the libraries SDL tries on a machine without a display or a sound card
// (ALSA, Wayland's client) write lines of their own there that say nothing
// the program's one line does not.
class qvn_cQuietStderr {
public:
    explicit qvn_cQuietStderr(bool quiet);
    ~qvn_cQuietStderr();
    void Restore();
    qvn_cQuietStderr(const qvn_cQuietStderr&) = delete;
    qvn_cQuietStderr& operator=(const qvn_cQuietStderr&) = delete;

private:
    int m_nSaved = -1;
};
