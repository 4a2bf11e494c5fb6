// A 256-colour palette and the shade tables built from it: for every palette
// colour, 256 screen-format colours running from the colour towards a target.
#pragma once

#include <cstdint>

#include "qvn_PixelFormat.h"

class qvn_cPaletteColor {
public:
    qvn_cPaletteColor() = default;
    qvn_cPaletteColor(float r, float g, float b) : m_fRed(r), m_fGreen(g), m_fBlue(b) {}
    virtual ~qvn_cPaletteColor() = default;
    float m_fRed = 0.0f, m_fGreen = 0.0f, m_fBlue = 0.0f, m_fAlpha = 0.0f;
};

class qvn_cPalette {
public:
    static constexpr int kTableEntries = 256 * 256;

    qvn_cPalette() = default;
    virtual ~qvn_cPalette();

    // rgb: 768 bytes, red, green, blue per entry. False when out of memory.
    bool setPalette(const uint8_t* rgb);
    // table[index * 256 + level], level 0 the colour itself, level 255 at
    // 255/256 of the way to the target. The table (kTableEntries values) is
    // the caller's; it is filled only after setPalette succeeded.
    bool buildShadeTable(const uint8_t* rgb, uint16_t* table, const qvn_cPaletteColor* target,
                         const qvn_cPixelFormat* pixelFormat);

    qvn_cPaletteColor* m_pPalette = nullptr;
    uint8_t* m_pRawPalette = nullptr;
    const qvn_cPixelFormat* m_pPixelFormat = nullptr;
};
