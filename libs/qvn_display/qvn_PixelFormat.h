// How the screen's 16-bit pixels are laid out, worked out from the surface's
// channel masks, so the rest of the engine can tell 5-5-5 from 5-6-5.
#pragma once

#include <cstdint>

class qvn_cPixelFormat {
public:
    qvn_cPixelFormat();
    virtual ~qvn_cPixelFormat() = default;

    // Fills the fields from a bit count and three channel masks (the surface
    // format record, when one exists, is kept as is in m_ddpf). Logs
    // "ConvertDDFormat", the bit count and the three shift pairs.
    void SetFromMasks(int bitCount, uint32_t maskR, uint32_t maskG, uint32_t maskB, bool log = true);

    // Sum of the three low-bit indices: 16 on a 5-6-5 screen, 15 on 5-5-5. It
    // is the eBpp of every screen-format bitmap.
    int ScreenFormatCode() const {
        return static_cast<int16_t>(m_nShiftRLow + m_nShiftGLow + m_nShiftBLow);
    }
    // Sum of the red, green and blue bit counts (16 for 5-6-5, 15 for 5-5-5).
    int ColourBits() const { return (8 - m_nShiftRDrop) + (8 - m_nShiftGDrop) + (8 - m_nShiftBDrop); }
    // An 8-bit-per-channel colour 0x00RRGGBB in this screen format.
    uint16_t Pack(uint32_t rgb) const {
        return static_cast<uint16_t>(((((rgb >> 16) & 0xFF) >> m_nShiftRDrop) << m_nShiftRLow) |
                                     ((((rgb >> 8) & 0xFF) >> m_nShiftGDrop) << m_nShiftGLow) |
                                     (((rgb & 0xFF) >> m_nShiftBDrop) << m_nShiftBLow));
    }

    int32_t m_nBitCount;
    uint32_t m_nMaskR, m_nMaskG, m_nMaskB;
    uint8_t m_ddpf[32];  // the surface's DDPIXELFORMAT record, byte for byte
    int32_t m_nShiftRLow, m_nShiftRDrop;
    int32_t m_nShiftGLow, m_nShiftGDrop;
    int32_t m_nShiftBLow, m_nShiftBDrop;
};

// (low bit, bits to drop from an 8-bit component) of one channel mask, scanning
// bit positions 0 .. bitCount-1; an empty mask gives (0, 7).
void qvn_MaskShifts(uint32_t mask, int bitCount, int32_t* low, int32_t* drop);

// 5-5-5 data on a 5-6-5 screen: keep blue, move the upper ten bits up one.
inline uint16_t qvn_555To565(uint16_t p) { return static_cast<uint16_t>(((p & 0x7FE0) << 1) | (p & 0x1F)); }

// The global record some parts keep beside their pictures.
extern qvn_cPixelFormat g_PixelFormat;
