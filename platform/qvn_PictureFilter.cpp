#include "qvn_PictureFilter.h"

#include <algorithm>
#include <cmath>

bool qvn_ParseFilter(const std::string& name, qvn_eFilter* out) {
    if (name == "nearest") *out = qvn_eFilter::kNearest;
    else if (name == "sharp") *out = qvn_eFilter::kSharp;
    else if (name == "crt") *out = qvn_eFilter::kCrt;
    else return false;
    return true;
}

const char* qvn_FilterName(qvn_eFilter filter) {
    switch (filter) {
        case qvn_eFilter::kSharp: return "sharp";
        case qvn_eFilter::kCrt: return "crt";
        default: return "nearest";
    }
}

qvn_SFilterRect qvn_FilterRect(qvn_eFilter filter, int outW, int outH, int w, int h) {
    qvn_SFilterRect r;
    if (outW <= 0 || outH <= 0 || w <= 0 || h <= 0) return r;
    const int scale = std::min(outW / w, outH / h);
    if (filter == qvn_eFilter::kNearest && scale >= 1) {
        r.w = w * scale;
        r.h = h * scale;
    } else if (static_cast<int64_t>(outW) * h <= static_cast<int64_t>(outH) * w) {
        r.w = outW;
        r.h = static_cast<int>(static_cast<int64_t>(outW) * h / w);
    } else {
        r.h = outH;
        r.w = static_cast<int>(static_cast<int64_t>(outH) * w / h);
    }
    r.x = (outW - r.w) / 2;
    r.y = (outH - r.h) / 2;
    return r;
}

int qvn_SharpPrescale(int out, int in) {
    if (in <= 0 || out <= in) return 1;
    return (out + in - 1) / in;
}

namespace {

// A frame pixel's channels as the PNG files have them (bit replication),
// 0 .. 1.
struct SColour {
    float r, g, b;
};

SColour ColourOf(uint16_t p) {
    const int r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return {static_cast<float>((r << 3) | (r >> 2)) / 255.0f, static_cast<float>((g << 2) | (g >> 4)) / 255.0f,
            static_cast<float>((b << 3) | (b >> 2)) / 255.0f};
}

SColour Lerp(const SColour& a, const SColour& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// One axis of the sharp look at frame coordinate f: the two frame pixels of
// the pre-scaled picture's neighbours and the weight of the second.
struct SAxis {
    int a, b;
    float t;
};

SAxis SharpAxis(float f, int k, int n) {
    const float q = f * static_cast<float>(k) - 0.5f;
    const float j = std::floor(q);
    const int ij = static_cast<int>(j);
    SAxis s;
    s.t = q - j;
    s.a = std::min(ij < 0 ? 0 : ij / k, n - 1);
    s.b = std::min((ij + 1) / k, n - 1);
    return s;
}

uint32_t Pack(const SColour& c) {
    auto byte = [](float v) {
        v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
        return static_cast<uint32_t>(v * 255.0f + 0.5f);
    };
    return byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

}  // namespace

void qvn_FilterPicture(qvn_eFilter filter, const uint16_t* frame, int w, int h, int pitch, int outW, int outH,
                       const qvn_SFilterRect& rect, uint32_t* out) {
    if (!out || outW <= 0 || outH <= 0) return;
    std::fill(out, out + static_cast<size_t>(outW) * outH, 0u);
    if (!frame || w <= 0 || h <= 0 || rect.w <= 0 || rect.h <= 0) return;
    const int kx = qvn_SharpPrescale(rect.w, w), ky = qvn_SharpPrescale(rect.h, h);
    auto at = [&](int x, int y) { return ColourOf(frame[static_cast<size_t>(y) * pitch + x]); };
    const int y0 = std::max(rect.y, 0), y1 = std::min(rect.y + rect.h, outH);
    const int x0 = std::max(rect.x, 0), x1 = std::min(rect.x + rect.w, outW);
    for (int oy = y0; oy < y1; ++oy) {
        // Screen pixel centres in frame coordinates, as the shader's fragment
        // coordinates give them.
        const float fy = (static_cast<float>(oy - rect.y) + 0.5f) * static_cast<float>(h) / static_cast<float>(rect.h);
        uint32_t* row = out + static_cast<size_t>(oy) * outW;
        const SAxis ay = SharpAxis(fy, ky, h);
        const int line = std::min(static_cast<int>(std::floor(fy)), h - 1);
        const float d = fy - std::floor(fy);
        const float scan = 1.0f - kQvnCrtScanDepth * std::max(0.0f, 2.0f * d - 1.0f);
        for (int ox = x0; ox < x1; ++ox) {
            const float fx =
                (static_cast<float>(ox - rect.x) + 0.5f) * static_cast<float>(w) / static_cast<float>(rect.w);
            switch (filter) {
                case qvn_eFilter::kNearest: {
                    const int ix = std::min(static_cast<int>(std::floor(fx)), w - 1);
                    row[ox] = Pack(at(ix, line));
                    break;
                }
                case qvn_eFilter::kSharp: {
                    const SAxis ax = SharpAxis(fx, kx, w);
                    row[ox] = Pack(Lerp(Lerp(at(ax.a, ay.a), at(ax.b, ay.a), ax.t),
                                        Lerp(at(ax.a, ay.b), at(ax.b, ay.b), ax.t), ay.t));
                    break;
                }
                case qvn_eFilter::kCrt: {
                    const SAxis ax = SharpAxis(fx, kx, w);
                    const SColour c = Lerp(at(ax.a, line), at(ax.b, line), ax.t);
                    const int column = (ox - rect.x) % 3;
                    const float f = scan * kQvnCrtGain;
                    row[ox] = Pack({c.r * f * (column == 0 ? 1.0f : kQvnCrtMaskDim),
                                    c.g * f * (column == 1 ? 1.0f : kQvnCrtMaskDim),
                                    c.b * f * (column == 2 ? 1.0f : kQvnCrtMaskDim)});
                    break;
                }
            }
        }
    }
}
