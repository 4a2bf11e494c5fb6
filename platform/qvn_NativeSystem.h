// The backend's own system services (clock, debugger output, message boxes,
// cursor), installed by the entry point outside capture mode.
#pragma once

#include <string>

#include "qvn_System.h"

qvn_cSystemServices* qvn_NativeSystemServices();
// Gives the platform back what the backend took (called once, at exit).
void qvn_NativeShutdown();
// Gives the processor a rest for about ms milliseconds.
void qvn_NativeSleep(int ms);
// Whether a window can be shown at all. False, with the reason, when there
// is no display to connect to, or when the only video driver left would draw
// off screen without the user having asked for one (SDL_VIDEODRIVER).
bool qvn_NativeDisplayAvailable(std::string* why);
