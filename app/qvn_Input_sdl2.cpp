#include "qvn_Input.h"

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_SdlContext_sdl2.h"

qvn_cInput* g_pInput = nullptr;

bool qvn_cInput::Init() {
    if (g_pCapture) return true;  // the capture mode's keyboard is its script
    // The event subsystem is what delivers keys; without it there is no keyboard.
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
        LogMessage("qvn_cInit::Init : DirectInputCreate failed\n");
        return false;
    }
    int keys = 0;
    if (!SDL_GetKeyboardState(&keys) || keys <= 0) {
        LogMessage("qvn_cInput::Init ! CreateDevice GUID_SysKeyboard FAILED\n");
        return false;
    }
    return true;
}
