#include "gl_Frames.h"

#include <zlib.h>

#include <cmath>

namespace gltest {

namespace {

constexpr int kDW = W / 4, kDH = H / 4;

std::vector<double> Downscale(const std::vector<uint16_t>& f, int rowShift) {
    std::vector<double> out(kDW * kDH, 0.0);
    for (int y = 0; y < H; ++y) {
        int sy = y - rowShift;
        sy = sy < 0 ? 0 : (sy >= H ? H - 1 : sy);
        for (int x = 0; x < W; ++x) {
            const uint32_t p = f[static_cast<size_t>(sy) * W + x];
            const double r = ((p >> 11) & 31) * 255.0 / 31.0, g = ((p >> 5) & 63) * 255.0 / 63.0,
                         b = (p & 31) * 255.0 / 31.0;
            out[(y / 4) * kDW + x / 4] += (0.299 * r + 0.587 * g + 0.114 * b) / 16.0;
        }
    }
    return out;
}

}  // namespace

SScore Compare(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, int rowShift) {
    const std::vector<double> da = Downscale(a, 0), db = Downscale(b, rowShift);
    double se = 0.0;
    for (size_t i = 0; i < da.size(); ++i) se += (da[i] - db[i]) * (da[i] - db[i]);
    const double mse = se / da.size();
    SScore s;
    s.psnr = mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    // Mean SSIM over 8 x 8 windows, 4 apart.
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0.0;
    int windows = 0;
    for (int y = 0; y + 8 <= kDH; y += 4) {
        for (int x = 0; x + 8 <= kDW; x += 4) {
            double ma = 0, mb = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    ma += da[(y + j) * kDW + x + i];
                    mb += db[(y + j) * kDW + x + i];
                }
            ma /= 64;
            mb /= 64;
            double va = 0, vb = 0, cov = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    const double pa = da[(y + j) * kDW + x + i] - ma, pb = db[(y + j) * kDW + x + i] - mb;
                    va += pa * pa;
                    vb += pb * pb;
                    cov += pa * pb;
                }
            va /= 63;
            vb /= 63;
            cov /= 63;
            sum += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++windows;
        }
    }
    s.ssim = sum / windows;
    return s;
}

double FullPsnr(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
    double se = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int pa[3] = {(a[i] >> 11) & 31, (a[i] >> 5) & 63, a[i] & 31};
        const int pb[3] = {(b[i] >> 11) & 31, (b[i] >> 5) & 63, b[i] & 31};
        const double scale[3] = {255.0 / 31, 255.0 / 63, 255.0 / 31};
        for (int c = 0; c < 3; ++c) se += std::pow((pa[c] - pb[c]) * scale[c], 2);
    }
    const double mse = se / (3.0 * a.size());
    return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

bool WriteFrame(const std::string& path, const std::vector<uint16_t>& frame) {
    gzFile f = gzopen(path.c_str(), "wb9");
    if (!f) return false;
    std::vector<uint8_t> bytes(frame.size() * 2);
    for (size_t i = 0; i < frame.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(frame[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(frame[i] >> 8);
    }
    const int n = gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(f);
    return n == static_cast<int>(bytes.size());
}

bool ReadFrame(const std::string& path, std::vector<uint16_t>* frame) {
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(W) * H * 2 + 1);
    const int n = gzread(f, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(f);
    if (n != W * H * 2) return false;
    frame->resize(static_cast<size_t>(W) * H);
    for (size_t i = 0; i < frame->size(); ++i) (*frame)[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return true;
}

}  // namespace gltest
