// Data pictures as the 5-6-5 screen shows them, to compare captured frames
// against: a layer at full strength in normal mode is the picture itself.
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

// The 320 x 240 picture leaf (in the default data set) at the 5-6-5 depth,
// as 0x00RRGGBB; empty when it cannot be read.
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
struct SPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
};
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

// How much of the picture, placed with its top-left corner at (px, py), the
// frame shows: the correlation of brightness between the two over the part
// of the screen the picture covers (0 when it covers nothing). An additive
// layer at any strength adds the picture's pattern to whatever lies under
// it, which a scene moving underneath does not share.
inline double Correlation(const SShot& shot, const SPicture& picture, int px, int py) {
    if (!shot.valid() || picture.rgb.empty()) return 0.0;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    int n = 0;
    for (int y = py < 0 ? 0 : py; y < 240 && y < py + picture.height; ++y)
        for (int x = px < 0 ? 0 : px; x < 320 && x < px + picture.width; ++x) {
            const uint32_t f = shot.at(x, y), q = picture.rgb[static_cast<size_t>(y - py) * picture.width + (x - px)];
            const double a = R(f) + G(f) + B(f), b = R(q) + G(q) + B(q);
            sa += a;
            sb += b;
            saa += a * a;
            sbb += b * b;
            sab += a * b;
            ++n;
        }
    if (n < 64) return 0.0;
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    if (va <= 0.0 || vb <= 0.0) return 0.0;
    return (sab - sa * sb / n) / std::sqrt(va * vb);
}

}  // namespace parts_test
