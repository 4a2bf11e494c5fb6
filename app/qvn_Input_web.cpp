#include "qvn_Input.h"

qvn_cInput* g_pInput = nullptr;

// The page's key events arrive through the window's pump; there is nothing
// to open.
bool qvn_cInput::Init() { return true; }
