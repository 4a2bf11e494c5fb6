#include "qvn_cPalette.h"

#include <cmath>
#include <cstring>
#include <new>

#include "qvn_ErrorLog.h"

qvn_cPalette::~qvn_cPalette() {
    delete[] m_pPalette;
    delete[] m_pRawPalette;
}

bool qvn_cPalette::setPalette(const uint8_t* rgb) {
    if (!m_pPalette) {
        m_pPalette = new (std::nothrow) qvn_cPaletteColor[256];
        if (!m_pPalette) {
            QVN_LOG_LOCATION();
            LogMessage("m_pPalette allocation failed\n");
            return false;
        }
    }
    if (!m_pRawPalette) {
        m_pRawPalette = new (std::nothrow) uint8_t[768];
        if (!m_pRawPalette) {
            QVN_LOG_LOCATION();
            return false;
        }
    }
    for (int n = 0; n < 256; ++n) {
        m_pPalette[n].m_fRed = rgb[3 * n];
        m_pPalette[n].m_fGreen = rgb[3 * n + 1];
        m_pPalette[n].m_fBlue = rgb[3 * n + 2];
        m_pPalette[n].m_fAlpha = 0.0f;
    }
    std::memcpy(m_pRawPalette, rgb, 768);
    return true;
}

bool qvn_cPalette::buildShadeTable(const uint8_t* rgb, uint16_t* table, const qvn_cPaletteColor* target,
                                   const qvn_cPixelFormat* pf) {
    if (!rgb || !table || !target || !pf) return false;
    if (!setPalette(rgb)) return false;
    m_pPixelFormat = pf;
    for (int n = 0; n < 256; ++n) {
        const float r = m_pRawPalette[3 * n], g = m_pRawPalette[3 * n + 1], b = m_pRawPalette[3 * n + 2];
        // Differences held in single precision before the multiplication.
        const float dr = target->m_fRed - r, dg = target->m_fGreen - g, db = target->m_fBlue - b;
        uint16_t* row = table + n * 256;
        for (int i = 0; i < 256; ++i) {
            const float f = static_cast<float>(i) / 256.0f;
            // Targets are 0 .. 255, so R, G and B stay within a byte.
            const int R = static_cast<int>(std::ceil(r + f * dr));
            const int G = static_cast<int>(std::ceil(g + f * dg));
            const int B = static_cast<int>(std::ceil(b + f * db));
            row[i] = static_cast<uint16_t>(((R >> pf->m_nShiftRDrop) << pf->m_nShiftRLow) +
                                           ((G >> pf->m_nShiftGDrop) << pf->m_nShiftGLow) +
                                           ((B >> pf->m_nShiftBDrop) << pf->m_nShiftBLow));
        }
    }
    return true;
}
