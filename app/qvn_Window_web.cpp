#include "qvn_Window.h"

#include "qvn_Capture.h"
#include "qvn_Keys.h"
#include "qvn_Run.h"
#include "qvn_Web.h"

// The page's canvas is the window; it has no handle of its own, so the
// window object stands for it.
bool qvn_cWindow::Create(void* hInstance, void*, const char*, int) {
    m_hInstance = hInstance;
    if (g_pCapture) return true;  // capture mode has no window
    m_hWnd = this;
    return true;
}

// The viewer's keys (0: not one of them).
static int ViewerKey(int key) {
    switch (key) {
    case kQvnWebKeySpace: return kQvnKeySpace;
    case kQvnWebKeyTab: return kQvnKeyTab;
    case kQvnWebKeyLeft: return kQvnKeyLeft;
    case kQvnWebKeyRight: return kQvnKeyRight;
    case kQvnWebKeyPageUp: return kQvnKeyPageUp;
    case kQvnWebKeyPageDown: return kQvnKeyPageDown;
    case kQvnWebKeyF9: return kQvnKeyF1 + 8;
    case 'l': return 'l';
    case '.': return '.';
    default: return 0;
    }
}

bool qvn_cWindow::TakeOneMessage() {
    const int key = qvn_WebNextKey();
    if (key == 0) return false;
    if (key == kQvnWebKeyEscape || key == kQvnWebKeyF12) return true;
    if (key == kQvnWebKeyFullscreen) {
        qvn_WebToggleFullscreen();
    } else if (const int viewer = ViewerKey(key)) {
        qvn_run::Key(viewer);
    }
    return false;
}
