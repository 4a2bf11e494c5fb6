#include <windows.h>

#include "qvn_Capture.h"
#include "qvn_Keys.h"
#include "qvn_Run.h"
#include "qvn_Window.h"

// The viewer's keys (0: not one of them).
static int ViewerKey(WPARAM vk) {
    switch (vk) {
    case VK_SPACE: return kQvnKeySpace;
    case VK_TAB: return kQvnKeyTab;
    case VK_LEFT: return kQvnKeyLeft;
    case VK_RIGHT: return kQvnKeyRight;
    case VK_PRIOR: return kQvnKeyPageUp;
    case VK_NEXT: return kQvnKeyPageDown;
    case VK_F9: return kQvnKeyF1 + 8;
    case 'L': return 'l';
    case VK_OEM_PERIOD: return '.';
    default: return 0;
    }
}

static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE || wParam == VK_F12) {
            // Closing through the queue: DefWindowProc destroys the window,
            // which posts the quit the next pump takes.
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
            return 0;
        }
        if (const int key = ViewerKey(wParam)) {
            // Bit 30: the key was already down (a repeat); only the frame
            // step repeats.
            if (!(lParam & (1L << 30)) || key == '.') qvn_run::Key(key);
            return 0;
        }
        break;
    case WM_SYSKEYDOWN:
        // Alt+Enter (bit 29: Alt is down) toggles full screen, as on the
        // other platforms; the display hangs the toggle on the window, since
        // only it knows how it took the screen. A held key toggles once.
        // DefWindowProc still sees the key: otherwise it takes the Alt's
        // release for a lone Alt and opens the window menu, whose modal loop
        // would hold the show.
        if (wParam == VK_RETURN && (lParam & (1L << 29))) {
            auto toggle = reinterpret_cast<void (*)()>(GetPropA(hWnd, "qvn.ToggleFullScreen"));
            if (toggle && !(lParam & (1L << 30))) toggle();
        }
        break;
    case WM_SYSCHAR:
        if (wParam == VK_RETURN) return 0;  // no beep for the Alt+Enter just taken
        break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

bool qvn_cWindow::Create(void* hInstance, void* hPrevInstance, const char*, int nCmdShow) {
    m_hInstance = hInstance;
    if (g_pCapture) return true;  // capture mode has no window
    HINSTANCE instance = static_cast<HINSTANCE>(hInstance);
    if (!hPrevInstance) {
        WNDCLASSA wc = {};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = WndProc;
        wc.hInstance = instance;
        wc.lpszClassName = kQvnWindowClass;
        RegisterClassA(&wc);
    }
    // The menu height stands in for the caption's: the client area comes out
    // at about 640 x 480.
    HWND hWnd = CreateWindowExA(0, kQvnWindowClass, kQvnWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                640 + 2 * GetSystemMetrics(SM_CXFRAME),
                                480 + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYMENU), nullptr, nullptr,
                                instance, nullptr);
    if (!hWnd) return false;
    ShowWindow(hWnd, nCmdShow);
    UpdateWindow(hWnd);
    m_hWnd = hWnd;
    qvn_sys::SetNativeWindow(hWnd);
    return true;
}

bool qvn_cWindow::TakeOneMessage() {
    MSG msg;
    // One message per call: the frame loop must not stall on a busy queue.
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
    if (!GetMessageA(&msg, nullptr, 0, 0)) return true;  // WM_QUIT
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return false;
}
