#include "qvn_Window.h"

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_Keys.h"
#include "qvn_Run.h"
#include "qvn_SdlContext_sdl2.h"

bool qvn_cWindow::Create(void* hInstance, void*, const char*, int) {
    m_hInstance = hInstance;
    if (g_pCapture) return true;  // capture mode has no window
    if (!qvn_SdlInitVideo()) return false;
    // Sizes are in the desktop's points; the picture is drawn in the
    // drawable's pixels, so a scaled desktop gets a sharp frame of the right
    // size rather than a small one blown up.
    SDL_Window* window = SDL_CreateWindow(kQvnWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                                          SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window) return false;
    qvn_Sdl().window = window;
    m_hWnd = window;
    qvn_sys::SetNativeWindow(window);
    return true;
}

// The viewer's keys (0: not one of them).
static int ViewerKey(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_SPACE: return kQvnKeySpace;
    case SDLK_TAB: return kQvnKeyTab;
    case SDLK_LEFT: return kQvnKeyLeft;
    case SDLK_RIGHT: return kQvnKeyRight;
    case SDLK_PAGEUP: return kQvnKeyPageUp;
    case SDLK_PAGEDOWN: return kQvnKeyPageDown;
    case SDLK_F9: return kQvnKeyF1 + 8;
    case SDLK_l: return 'l';
    case SDLK_PERIOD: return '.';
    default: return 0;
    }
}

bool qvn_cWindow::TakeOneMessage() {
    SDL_Event event;
    if (!SDL_PollEvent(&event)) return false;
    switch (event.type) {
    case SDL_QUIT:
        return true;
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_F12) {
            // Closing goes through the queue, as a window close would: the
            // next pump call takes the quit.
            SDL_Event quit;
            SDL_zero(quit);
            quit.type = SDL_QUIT;
            SDL_PushEvent(&quit);
        } else if (event.key.keysym.sym == SDLK_RETURN && (event.key.keysym.mod & KMOD_ALT) && !event.key.repeat) {
            if (qvn_Sdl().toggleFullscreen) qvn_Sdl().toggleFullscreen();
        } else if (const int key = ViewerKey(event.key.keysym.sym)) {
            // A held key repeats only the frame step: a repeated seek would
            // restart the show many times a second.
            if (!event.key.repeat || key == '.') qvn_run::Key(key);
        }
        return false;
    default:
        return false;
    }
}

