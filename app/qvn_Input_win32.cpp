#define DIRECTINPUT_VERSION 0x0500
#include <windows.h>
#include <dinput.h>

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_Input.h"
#include "qvn_Window.h"

qvn_cInput* g_pInput = nullptr;

// Process-wide: the device is opened once and kept until exit.
static IDirectInputA* s_pDirectInput = nullptr;
static IDirectInputDeviceA* s_pKeyboard = nullptr;

bool qvn_cInput::Init() {
    if (g_pCapture) return true;  // the capture mode's keyboard is its script
    if (FAILED(DirectInputCreateA(GetModuleHandleA(nullptr), 0x0500, &s_pDirectInput, nullptr))) {
        LogMessage("qvn_cInit::Init : DirectInputCreate failed\n");
        return false;
    }
    if (FAILED(s_pDirectInput->CreateDevice(GUID_SysKeyboard, &s_pKeyboard, nullptr))) {
        LogMessage("qvn_cInput::Init ! CreateDevice GUID_SysKeyboard FAILED\n");
        return false;
    }
    if (FAILED(s_pKeyboard->SetDataFormat(&c_dfDIKeyboard))) {
        LogMessage("qvn_cInput::Init : SetDataFormat FAILED\n");
        return false;
    }
    HWND hWnd = g_pWindow ? static_cast<HWND>(g_pWindow->m_hWnd) : nullptr;
    if (FAILED(s_pKeyboard->SetCooperativeLevel(hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND))) {
        LogMessage("qvn_cInput::Init : m_pKeyboard->SetCooperativeLevel FAILED\n");
        return false;
    }
    // May fail while the window lacks the focus; that does not stop the show.
    s_pKeyboard->Acquire();
    return true;
}
