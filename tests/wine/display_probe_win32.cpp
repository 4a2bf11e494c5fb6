// Takes the screen with demo_hw's Direct3D display, has the window lose and
// regain the foreground (what a task switch does to a full-screen program),
// and checks that the next Lock finds the back buffer restored: run under
// Wine by wine_demo_hw.sh. Exit 0: restored; 1: not; 77: the surfaces were
// never lost (nothing to check); 2: the display could not be made.
#include <windows.h>
#include <ddraw.h>

#include <cstdio>

#include "qvn_DisplayD3D.h"
#include "qvn_ErrorLog.h"
#include "qvn_NativeSystem.h"
#include "qvn_Window.h"

const char* const kQvnProgramName = "display_probe";

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    qvn_SetLogEcho(stdout);
    qvn_sys::Install(qvn_NativeSystemServices());
    qvn_cWindow window;
    window.Create(hInstance, nullptr, nullptr, nCmdShow);
    auto* display = new qvn_cEngDisplay3D;
    g_pDisplay = display;
    if (!display->Init("NoSelection", 320, 240, 16, 0)) {
        std::printf("the Direct3D display could not be made\n");
        return 2;
    }
    HWND hWnd = static_cast<HWND>(window.m_hWnd);
    SendMessageA(hWnd, WM_ACTIVATEAPP, FALSE, 0);
    SendMessageA(hWnd, WM_ACTIVATEAPP, TRUE, 0);
    const bool lost = display->m_pBackBuffer->IsLost() == DDERR_SURFACELOST;
    std::printf("back buffer lost after the switch: %s\n", lost ? "yes" : "no");
    if (!lost) return 77;
    display->Lock();
    const bool pixels = display->m_pSurfacePixels != nullptr;
    if (pixels) display->m_pSurfacePixels[0] = 0xFFFF;
    display->Unlock();
    const bool still = display->m_pBackBuffer->IsLost() == DDERR_SURFACELOST;
    std::printf("after Lock: pixels %s, back buffer lost %s\n", pixels ? "yes" : "no", still ? "yes" : "no");
    return pixels && !still ? 0 : 1;
}
