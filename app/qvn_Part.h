// What every part of the show (and every loading screen) is: something that
// loads its data before its half starts, then draws frames until its own end
// time on the show clock.
#pragma once

#include <cstdint>

#include "qvn_PixelFormat.h"

// Averages the last four frame times into a speed factor: 1.0 at 60 frames per
// second, 2.0 at 30, so slow machines drop frames but stay in step.
class qvn_cFrameTimer {
public:
    qvn_cFrameTimer();
    float getSpeedFactor();

    int32_t m_nFirstTick;  // -1 until the first measurement
    int32_t m_nLastTick;
    float m_afFrameTimes[4];
    int32_t m_nIndex;
};

class qvn_cPart {
public:
    // Takes a copy of the display's pixel format: parts are made after the
    // display is up.
    qvn_cPart();
    virtual bool load() = 0;
    virtual void run() = 0;
    virtual void finish() = 0;
    virtual ~qvn_cPart();

    // Red + green + blue bit counts of the screen (16 on 5-6-5).
    int getDisplayBpp() const;
    // The display's line length in pixels, also kept in m_nPitchPixelsCache.
    int getPitchPixels();

    qvn_cFrameTimer m_FrameTimer;
    uint32_t m_nReserved;
    int32_t m_nPitchPixelsCache;
    qvn_cPixelFormat m_PixelFormat;
    uint8_t m_bLocked;
};
