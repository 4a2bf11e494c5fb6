#include "parts_Pictures.h"

#include <cstdlib>
#include <map>
#include <memory>

#include "qvn_Bitmap.h"

namespace parts_test {

namespace {
// The pictures, decoded once per test program with the engine's reader.
const qvn_cBitmap* Picture(const std::string& leaf) {
    static std::map<std::string, std::unique_ptr<qvn_cBitmap>> pictures;
    auto it = pictures.find(leaf);
    if (it == pictures.end()) {
        std::unique_ptr<qvn_cBitmap> bitmap(new qvn_cBitmap);
        if (!bitmap->loadFromFile((DataDir() + "/" + leaf).c_str())) bitmap.reset();
        it = pictures.emplace(leaf, std::move(bitmap)).first;
    }
    return it->second.get();
}
}  // namespace

double PictureMatch(const SShot& shot, const std::string& leaf, int tolerance, int x0, int y0, int x1, int y1) {
    const qvn_cBitmap* picture = Picture(leaf);
    if (!shot.valid() || !picture || picture->m_nSizeX != 320 || picture->m_nSizeY != 240) return -1.0;
    int matching = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint32_t a = shot.at(x, y), b = picture->m_p32bitsPixels[y * 320 + x];
            matching += std::abs(R(a) - R(b)) <= tolerance && std::abs(G(a) - G(b)) <= tolerance &&
                        std::abs(B(a) - B(b)) <= tolerance;
        }
    return double(matching) / double((x1 - x0) * (y1 - y0));
}

double DarkShare(const SShot& shot, int level, int x0, int y0, int x1, int y1) {
    if (!shot.valid()) return -1.0;
    int dark = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint32_t p = shot.at(x, y);
            dark += R(p) <= level && G(p) <= level && B(p) <= level;
        }
    return double(dark) / double((x1 - x0) * (y1 - y0));
}

}  // namespace parts_test
