// The keyboard device, opened at start-up. The show never reads it (Escape and
// F12 arrive as window messages), but a machine without a keyboard does not
// run the show.
#pragma once

class qvn_cInput {
public:
    virtual ~qvn_cInput() = default;
    // Opens and acquires the system keyboard; each failing step logs its line.
    bool Init();
};

extern qvn_cInput* g_pInput;
