// The page's side of the web backend. The backend's C++ calls these few
// functions; each asks the page's hooks on the module object (Module.qvn*),
// and does without when there is no page (Node, a test): no canvas, no sound,
// no keys, the plain clock.
#pragma once

#include <cstdint>

extern "C" {
// The backend's clock in milliseconds: with sound, the time of the sound
// being heard (so the show clock, which is built on it, follows what the
// listener hears, and stops while the page is hidden and its sound paused);
// without, the page's monotonic clock.
double qvn_WebTickMs();
// Whether a page with a canvas is there to show the frame on.
int qvn_WebHasPage();
// Shows a 5-6-5 frame of width x height pixels.
void qvn_WebPresent(const uint16_t* pixels, int width, int height);
// The viewer's overlay over the frame (ARGB), or none when width is 0.
void qvn_WebOverlay(const uint32_t* argb, int width, int height);
// Gives the page its turn (drawing, events, sound) and returns at its next
// animation frame; without a page, after the other tasks waiting.
void qvn_WebWaitFrame();
// The next key the page has seen pressed (a DOM key name's code as below),
// or 0.
int qvn_WebNextKey();
// Whether the page has sound, at this rate (the sound context is the page's).
int qvn_WebAudioOpen(int sampleRate);
// Plays frames of 16-bit stereo from the backend's clock time atTickMs on.
void qvn_WebAudioQueue(const int16_t* pcm, int frames, int sampleRate, double atTickMs);
// Drops the sound queued and not yet heard.
void qvn_WebAudioStop();
// A message box's text, shown on the page.
void qvn_WebMessage(const char* caption, const char* text, int error);
// Full screen on or off, as the page's own button does.
void qvn_WebToggleFullscreen();
// The program's end and its exit code. The page cannot take the module's own
// exit for it: with the frame loops unwinding to the browser, main's first
// unwind looks like a return to the runtime.
void qvn_WebExited(int code);
}

// The keys qvn_WebNextKey reports besides the viewer's ASCII ones.
enum {
    kQvnWebKeyEscape = 27,
    kQvnWebKeyFullscreen = 0x100,  // Alt+Enter or the page's F key
    kQvnWebKeyTab = 9,
    kQvnWebKeySpace = 32,
    kQvnWebKeyLeft = 0x101,
    kQvnWebKeyRight,
    kQvnWebKeyPageUp,
    kQvnWebKeyPageDown,
    kQvnWebKeyF9,
    kQvnWebKeyF12,
};
