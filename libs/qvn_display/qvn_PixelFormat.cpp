#include "qvn_PixelFormat.h"

#include <cstring>

#include "qvn_ErrorLog.h"

qvn_cPixelFormat g_PixelFormat;

qvn_cPixelFormat::qvn_cPixelFormat()
    : m_nBitCount(0), m_nMaskR(0), m_nMaskG(0), m_nMaskB(0),
      m_nShiftRLow(0), m_nShiftRDrop(7), m_nShiftGLow(0), m_nShiftGDrop(7), m_nShiftBLow(0), m_nShiftBDrop(7) {
    std::memset(m_ddpf, 0, sizeof m_ddpf);
}

void qvn_MaskShifts(uint32_t mask, int bitCount, int32_t* low, int32_t* drop) {
    int lo = -1, hi = -1;
    for (int bit = 0; bit < bitCount && bit < 32; ++bit) {
        if (mask & (1u << bit)) {
            if (lo < 0) lo = bit;
            hi = bit;
        }
    }
    if (lo < 0) {
        *low = 0;
        *drop = 7;
        return;
    }
    *low = lo;
    *drop = lo - hi + 7;
}

void qvn_cPixelFormat::SetFromMasks(int bitCount, uint32_t maskR, uint32_t maskG, uint32_t maskB, bool log) {
    if (log) {
        LogMessage("ConvertDDFormat\n");
        LogMessage("  %d BitCount\n", bitCount);
    }
    m_nBitCount = bitCount;
    m_nMaskR = maskR;
    m_nMaskG = maskG;
    m_nMaskB = maskB;
    qvn_MaskShifts(maskR, bitCount, &m_nShiftRLow, &m_nShiftRDrop);
    qvn_MaskShifts(maskG, bitCount, &m_nShiftGLow, &m_nShiftGDrop);
    qvn_MaskShifts(maskB, bitCount, &m_nShiftBLow, &m_nShiftBDrop);
    if (log) {
        LogMessage("ShiftR %d %d\n", m_nShiftRLow, m_nShiftRDrop);
        LogMessage("ShiftG %d %d\n", m_nShiftGLow, m_nShiftGDrop);
        LogMessage("ShiftB %d %d\n", m_nShiftBLow, m_nShiftBDrop);
    }
}
