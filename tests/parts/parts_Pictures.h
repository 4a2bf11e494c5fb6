// The default data set's pictures as the tests see them, to recognise a
// picture in a captured frame: the correlation of the frame's brightness with
// the picture's over the rectangle where the picture lies, or the share of
// the frame's pixels that show the picture as it is.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "parts_Harness.h"
#include "qvn_Bitmap.h"
#include "qvn_Png.h"

namespace parts_test {

struct SPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0x00RRGGBB
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// A picture of the default data set ("lost.jpg"), read by the engine's reader.
inline SPicture DataPicture(const std::string& leaf) {
    SPicture p;
    qvn_cBitmap bitmap;
    if (!bitmap.loadFromFile((DataDir() + "/" + leaf).c_str())) return p;
    p.width = bitmap.m_nSizeX;
    p.height = bitmap.m_nSizeY;
    p.rgb.assign(bitmap.m_p32bitsPixels, bitmap.m_p32bitsPixels + static_cast<size_t>(p.width) * p.height);
    return p;
}

inline double Luma(uint32_t c) { return 0.299 * R(c) + 0.587 * G(c) + 0.114 * B(c); }

// Correlation (-1 .. 1) of the shot's brightness with the picture's, the
// picture's top-left corner at (px, py) of the screen, over the part of the
// picture on screen; 0 when either is flat or the picture is off screen.
inline double Correlation(const SShot& shot, const SPicture& pic, int px, int py) {
    if (!shot.valid() || pic.rgb.empty()) return 0.0;
    double n = 0, sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            const int sx = px + x, sy = py + y;
            if (sx < 0 || sy < 0 || sx >= 320 || sy >= 240) continue;
            const double a = Luma(shot.at(sx, sy)), b = Luma(pic.at(x, y));
            n += 1;
            sa += a;
            sb += b;
            saa += a * a;
            sbb += b * b;
            sab += a * b;
        }
    if (n < 2) return 0.0;
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    if (va <= 0 || vb <= 0) return 0.0;
    return (sab - sa * sb / n) / std::sqrt(va * vb);
}

// Share (0..1) of the frame's pixels, in the rectangle, whose three channels
// are each within tolerance of the data set's picture file (320 x 240) at the
// same place. -1 when the picture cannot be read or is not 320 x 240.
double PictureMatch(const SShot& shot, const std::string& leaf, int tolerance = 12, int x0 = 0, int y0 = 0,
                    int x1 = 320, int y1 = 240);

// Share of pixels, in the rectangle, whose three channels are all at most
// level.
double DarkShare(const SShot& shot, int level, int x0 = 0, int y0 = 0, int x1 = 320, int y1 = 240);

// The 320 x 240 picture leaf (in the default data set) at the 5-6-5 depth,
// as 0x00RRGGBB, the way a layer at full strength in normal mode shows it;
// empty when it cannot be read.
inline std::vector<uint32_t> ScreenPicture(const std::string& leaf) {
    qvn_cBitmap picture;
    if (!picture.loadFromFile((DataDir() + "/" + leaf).c_str()) || !picture.setNbpp(16) ||
        picture.m_nSizeX != 320 || picture.m_nSizeY != 240)
        return {};
    std::vector<uint32_t> rgb(320 * 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            rgb[static_cast<size_t>(y) * 320 + x] =
                qvn_565ToRGB32(picture.pixels16()[static_cast<size_t>(y) * (picture.m_nBytesPerLine / 2) + x]);
    return rgb;
}

// Mean absolute difference per channel (0..255) between a frame and a picture.
inline double Distance(const SShot& shot, const std::vector<uint32_t>& picture) {
    if (!shot.valid() || picture.size() != shot.rgb.size()) return 1e9;
    double sum = 0.0;
    for (size_t i = 0; i < picture.size(); ++i) {
        const uint32_t a = shot.rgb[i], b = picture[i];
        sum += std::abs(R(a) - R(b)) + std::abs(G(a) - G(b)) + std::abs(B(a) - B(b));
    }
    return sum / (3.0 * picture.size());
}

// A picture of any size as 0x00RRGGBB at the 5-6-5 depth.
inline SPicture LoadPicture(const std::string& leaf) {
    SPicture p;
    qvn_cBitmap picture;
    if (!picture.loadFromFile((DataDir() + "/" + leaf).c_str()) || !picture.setNbpp(16)) return p;
    p.width = picture.m_nSizeX;
    p.height = picture.m_nSizeY;
    p.rgb.resize(static_cast<size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.rgb[static_cast<size_t>(y) * p.width + x] =
                qvn_565ToRGB32(picture.pixels16()[static_cast<size_t>(y) * (picture.m_nBytesPerLine / 2) + x]);
    return p;
}

}  // namespace parts_test
