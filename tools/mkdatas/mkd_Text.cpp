#include "mkd_Text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

namespace mkd {

namespace {

std::string s_sFontDir = "/usr/share/fonts/truetype/dejavu";
std::mutex s_Mutex; // FreeType faces are not shareable between threads
FT_Library s_Library = nullptr;
std::map<int, FT_Face> s_Faces;

const char* FontFile(eFont f) {
    switch (f) {
    case FONT_SANS: return "DejaVuSans.ttf";
    case FONT_SERIF_BOLD: return "DejaVuSerif-Bold.ttf";
    case FONT_MONO_BOLD: return "DejaVuSansMono-Bold.ttf";
    case FONT_CONDENSED_BOLD: return "DejaVuSansCondensed-Bold.ttf";
    default: return "DejaVuSans-Bold.ttf";
    }
}

FT_Face Face(eFont f) {
    if (!s_Library && FT_Init_FreeType(&s_Library)) return nullptr;
    auto it = s_Faces.find(f);
    if (it != s_Faces.end()) return it->second;
    FT_Face face = nullptr;
    std::string path = s_sFontDir + "/" + FontFile(f);
    if (FT_New_Face(s_Library, path.c_str(), 0, &face)) {
        std::fprintf(stderr, "mkdatas: cannot open font %s\n", path.c_str());
        face = nullptr;
    }
    s_Faces[f] = face;
    return face;
}

// Ink bounds relative to (pen x 0, baseline 0); with draw set, blends into im.
sTextBox Render(cImage* im, const std::string& s, eFont f, int size, float x, int baseline, sRGB c, bool additive) {
    std::lock_guard<std::mutex> lock(s_Mutex);
    sTextBox box{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
    FT_Face face = Face(f);
    if (!face) return {0, 0, 0, 0};
    FT_Set_Pixel_Sizes(face, 0, (FT_UInt)size);
    int pen = (int)x;
    FT_UInt prev = 0;
    for (unsigned char ch : s) {
        FT_UInt gi = FT_Get_Char_Index(face, ch);
        if (prev && gi && FT_HAS_KERNING(face)) {
            FT_Vector k;
            FT_Get_Kerning(face, prev, gi, FT_KERNING_DEFAULT, &k);
            pen += (int)(k.x >> 6);
        }
        if (FT_Load_Glyph(face, gi, FT_LOAD_RENDER)) continue;
        FT_GlyphSlot g = face->glyph;
        int gx = pen + g->bitmap_left, gy = baseline - g->bitmap_top;
        for (unsigned row = 0; row < g->bitmap.rows; ++row)
            for (unsigned col = 0; col < g->bitmap.width; ++col) {
                unsigned char a = g->bitmap.buffer[row * g->bitmap.pitch + col];
                if (!a) continue;
                int px = gx + (int)col, py = gy + (int)row;
                box.x0 = std::min(box.x0, px);
                box.y0 = std::min(box.y0, py);
                box.x1 = std::max(box.x1, px + 1);
                box.y1 = std::max(box.y1, py + 1);
                if (im) {
                    if (additive)
                        im->Add(px, py, c, a / 255.0f);
                    else
                        im->Blend(px, py, c, a / 255.0f);
                }
            }
        pen += (int)(g->advance.x >> 6);
        prev = gi;
    }
    if (box.x1 < box.x0) return {(int)x, baseline, (int)x, baseline};
    return box;
}

} // namespace

void SetFontDir(const std::string& dir) {
    std::lock_guard<std::mutex> lock(s_Mutex);
    s_sFontDir = dir;
}

bool FontsAvailable() {
    std::lock_guard<std::mutex> lock(s_Mutex);
    return Face(FONT_SANS_BOLD) != nullptr;
}

int TextWidth(const std::string& s, eFont f, int pixelSize) {
    sTextBox b = Render(nullptr, s, f, pixelSize, 0, 0, {0, 0, 0}, false);
    return b.x1 - std::min(b.x0, 0);
}

sTextBox DrawText(cImage& im, const std::string& s, eFont f, int pixelSize, float x, int baseline, sRGB c,
                  bool additive) {
    return Render(&im, s, f, pixelSize, x, baseline, c, additive);
}

sTextBox DrawTextInBand(cImage& im, const std::string& s, eFont f, int pixelSize, float cx, int y0, int y1, sRGB c,
                        bool additive) {
    sTextBox b = Render(nullptr, s, f, pixelSize, 0, 0, c, false);
    int inkW = b.x1 - b.x0, inkH = b.y1 - b.y0;
    float x = cx - inkW * 0.5f - b.x0;
    int baseline = y0 + ((y1 - y0) - inkH) / 2 - b.y0;
    return Render(&im, s, f, pixelSize, x, baseline, c, additive);
}

int FitTextSize(const std::string& s, eFont f, int width, int height, int maxSize) {
    for (int size = maxSize; size > 6; --size) {
        sTextBox b = Render(nullptr, s, f, size, 0, 0, {0, 0, 0}, false);
        if (b.x1 - b.x0 <= width && b.y1 - b.y0 <= height) return size;
    }
    return 6;
}

} // namespace mkd
