#include "qvn_Part.h"

#include "qvn_EngDisplay.h"
#include "qvn_System.h"

// 0.06 frames per millisecond (one frame at 60 Hz is 16.7 ms); the constant's
// single-precision bits are 0x3D75C28F.
static const float kFramesPerMs = 0.06f;

qvn_cFrameTimer::qvn_cFrameTimer() : m_nFirstTick(-1), m_nLastTick(0), m_afFrameTimes{2.0f, 2.0f, 2.0f, 2.0f}, m_nIndex(0) {}

float qvn_cFrameTimer::getSpeedFactor() {
    if (m_nFirstTick == -1) {
        m_nFirstTick = m_nLastTick = static_cast<int32_t>(qvn_sys::TickCount());
        return 1.0f;
    }
    int32_t now = static_cast<int32_t>(qvn_sys::TickCount());
    int32_t dt = now - m_nLastTick;
    m_nLastTick = now;
    m_afFrameTimes[m_nIndex] = static_cast<float>(dt) * kFramesPerMs;
    if (++m_nIndex == 4) m_nIndex = 0;
    return (m_afFrameTimes[0] + m_afFrameTimes[1] + m_afFrameTimes[2] + m_afFrameTimes[3]) * 0.25f;
}

qvn_cPart::qvn_cPart() : m_nReserved(0), m_nPitchPixelsCache(0), m_bLocked(0) {
    if (g_pDisplay) m_PixelFormat = g_pDisplay->m_PixelFormat;
}

qvn_cPart::~qvn_cPart() = default;

int qvn_cPart::getDisplayBpp() const { return g_pDisplay ? g_pDisplay->m_PixelFormat.ColourBits() : 16; }

int qvn_cPart::getPitchPixels() {
    m_nPitchPixelsCache = g_pDisplay ? g_pDisplay->m_nPitchPixels : 0;
    return m_nPitchPixelsCache;
}
