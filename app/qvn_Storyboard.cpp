#include "qvn_Storyboard.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "qvn_Png.h"

namespace {

// 5 x 7 glyphs, one row per byte, the left pixel in bit 4.
struct SGlyph {
    char c;
    uint8_t rows[7];
};

const SGlyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
};

const SGlyph* FindGlyph(char c) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const SGlyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;  // a space, or a character the font lacks: left blank
}

}  // namespace

int qvn_cStoryboard::DrawText(uint32_t* rgb, int stride, int height, int x, int y, const char* text,
                              uint32_t colour) {
    for (; *text; ++text, x += 6) {
        const SGlyph* g = FindGlyph(*text);
        if (!g) continue;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                const int px = x + col, py = y + row;
                if ((g->rows[row] >> (4 - col)) & 1 && px >= 0 && px < stride && py >= 0 && py < height)
                    rgb[static_cast<size_t>(py) * stride + px] = colour;
            }
    }
    return x;
}

void qvn_cStoryboard::OnFrame(const uint16_t* pixels, int width, int height, int pitchPixels, int half, int showMs,
                              const char* part) {
    if (half != m_nHalf) {
        m_nHalf = half;
        m_nNextMs = 0;
    }
    if (showMs < m_nNextMs || width < 2 || height < 2) return;
    m_nNextMs = (showMs / kEveryMs + 1) * kEveryMs;
    SThumb thumb;
    thumb.rgb.assign(static_cast<size_t>(kThumbWidth) * kThumbHeight, 0);
    // Each thumbnail pixel averages the 2 x 2 block (or whatever block the
    // frame's size gives) it stands for.
    for (int ty = 0; ty < kThumbHeight; ++ty)
        for (int tx = 0; tx < kThumbWidth; ++tx) {
            const int x0 = tx * width / kThumbWidth, x1 = (tx + 1) * width / kThumbWidth;
            const int y0 = ty * height / kThumbHeight, y1 = (ty + 1) * height / kThumbHeight;
            uint32_t r = 0, g = 0, b = 0, n = 0;
            for (int y = y0; y < (y1 > y0 ? y1 : y0 + 1); ++y)
                for (int x = x0; x < (x1 > x0 ? x1 : x0 + 1); ++x) {
                    const uint32_t p = qvn_565ToRGB32(pixels[static_cast<size_t>(y) * pitchPixels + x]);
                    r += p >> 16;
                    g += (p >> 8) & 0xFF;
                    b += p & 0xFF;
                    ++n;
                }
            thumb.rgb[static_cast<size_t>(ty) * kThumbWidth + tx] = ((r / n) << 16) | ((g / n) << 8) | (b / n);
        }
    // "H1 021.3 TITLES": the class prefix says nothing a viewer needs.
    const char* name = part ? part : "-";
    if (!std::strncmp(name, "qvn_cPart", 9)) name += 9;
    else if (!std::strncmp(name, "qvn_c", 5)) name += 5;
    char label[64];
    std::snprintf(label, sizeof label, "H%d %03d.%d %s", half, showMs / 1000, (showMs % 1000) / 100, name);
    thumb.label = label;
    m_Thumbs.push_back(std::move(thumb));
}

bool qvn_cStoryboard::Write(const char* path) const {
    if (m_Thumbs.empty()) return false;
    const int cellW = kThumbWidth + 2, cellH = kThumbHeight + kLabelHeight + 2;
    const int rows = (Count() + kColumns - 1) / kColumns;
    const int width = cellW * kColumns, height = cellH * rows;
    std::vector<uint32_t> sheet(static_cast<size_t>(width) * height, 0x202020);
    for (int i = 0; i < Count(); ++i) {
        const int x0 = (i % kColumns) * cellW + 1, y0 = (i / kColumns) * cellH + 1;
        const SThumb& t = m_Thumbs[i];
        for (int y = 0; y < kThumbHeight; ++y)
            std::memcpy(&sheet[static_cast<size_t>(y0 + y) * width + x0], &t.rgb[static_cast<size_t>(y) * kThumbWidth],
                        kThumbWidth * sizeof(uint32_t));
        DrawText(sheet.data(), width, height, x0 + 2, y0 + kThumbHeight + 2, t.label.c_str(), 0xF0F0F0);
    }
    return qvn_WritePngRGB32(path, sheet.data(), width, height, width);
}
