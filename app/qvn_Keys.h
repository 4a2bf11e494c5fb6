// Keys by name, for scripted key presses (capture runs, tests). Printable keys
// are their lower-case character; the others have codes from 0x100 on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum : int {
    kQvnKeyEscape = 0x100,
    kQvnKeyEnter,
    kQvnKeySpace,
    kQvnKeyTab,
    kQvnKeyBackspace,
    kQvnKeyLeft,
    kQvnKeyRight,
    kQvnKeyUp,
    kQvnKeyDown,
    kQvnKeyPageUp,
    kQvnKeyPageDown,
    kQvnKeyHome,
    kQvnKeyEnd,
    kQvnKeyF1,  // F1 to F12 follow in order
    kQvnKeyF12 = kQvnKeyF1 + 11,
};

struct qvn_SScriptedKey {
    int32_t ms;  // run time of the press
    int key;
};

// The key a name stands for (case-insensitive: "Escape", "F12", "Space",
// "Left", "a", "5", ...); 0 when the name is none.
int qvn_KeyFromName(const std::string& name);
// Whether a key press ends the show, as the show defines its keys.
bool qvn_KeyEndsShow(int key);
// "MS:KEY,MS:KEY,..." with times that never go back; false with a message.
bool qvn_ParseKeyScript(const char* text, std::vector<qvn_SScriptedKey>* out, std::string* error);
