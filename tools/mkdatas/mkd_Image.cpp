#include "mkd_Image.h"

#include <algorithm>
#include <cmath>

namespace mkd {

uint64_t HashName(const std::string& s, uint64_t seed) {
    uint64_t h = 1469598103934665603ull ^ (seed * 0x9E3779B97F4A7C15ull);
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

cImage::cImage(int w, int h, sRGB fill) : m_nWidth(w), m_nHeight(h), m_aPixels((size_t)w * h, fill) {}

sRGB cImage::Sample(float x, float y) const {
    x = std::min(std::max(x, 0.0f), (float)(m_nWidth - 1));
    y = std::min(std::max(y, 0.0f), (float)(m_nHeight - 1));
    int x0 = (int)x, y0 = (int)y;
    int x1 = std::min(x0 + 1, m_nWidth - 1), y1 = std::min(y0 + 1, m_nHeight - 1);
    float fx = x - x0, fy = y - y0;
    sRGB a = Mix(At(x0, y0), At(x1, y0), fx);
    sRGB b = Mix(At(x0, y1), At(x1, y1), fx);
    return Mix(a, b, fy);
}

void cImage::Blend(int x, int y, sRGB c, float a) {
    if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight || a <= 0) return;
    sRGB& p = At(x, y);
    p = Mix(p, c, std::min(a, 1.0f));
}

void cImage::Add(int x, int y, sRGB c, float a) {
    if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight || a <= 0) return;
    sRGB& p = At(x, y);
    p.r += c.r * a;
    p.g += c.g * a;
    p.b += c.b * a;
}

std::vector<uint8_t> cImage::ToRGB8() const {
    std::vector<uint8_t> out(m_aPixels.size() * 3);
    auto q = [](float v) {
        int i = (int)std::lround(v * 255.0f);
        return (uint8_t)std::min(std::max(i, 0), 255);
    };
    for (size_t i = 0; i < m_aPixels.size(); ++i) {
        out[i * 3 + 0] = q(m_aPixels[i].r);
        out[i * 3 + 1] = q(m_aPixels[i].g);
        out[i * 3 + 2] = q(m_aPixels[i].b);
    }
    return out;
}

static float Lattice(int x, int y, uint64_t seed) {
    uint64_t h = seed ^ ((uint64_t)(uint32_t)x * 0x9E3779B97F4A7C15ull) ^ ((uint64_t)(uint32_t)y * 0xC2B2AE3D27D4EB4Full);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return (float)((h >> 40) * (1.0 / 16777216.0));
}

float ValueNoise(float x, float y, uint64_t seed, int px, int py) {
    int xi = (int)std::floor(x), yi = (int)std::floor(y);
    float fx = x - xi, fy = y - yi;
    auto wrap = [](int v, int p) { return p > 0 ? ((v % p) + p) % p : v; };
    int x0 = wrap(xi, px), x1 = wrap(xi + 1, px), y0 = wrap(yi, py), y1 = wrap(yi + 1, py);
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    float a = Lattice(x0, y0, seed) + (Lattice(x1, y0, seed) - Lattice(x0, y0, seed)) * sx;
    float b = Lattice(x0, y1, seed) + (Lattice(x1, y1, seed) - Lattice(x0, y1, seed)) * sx;
    return a + (b - a) * sy;
}

float Fbm(float x, float y, uint64_t seed, int octaves, int px, int py) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * ValueNoise(x, y, seed + (uint64_t)o * 7919, px, py);
        norm += amp;
        x *= 2;
        y *= 2;
        px *= 2;
        py *= 2;
        amp *= 0.5f;
    }
    return sum / norm;
}

void FillGradient(cImage& im, sRGB top, sRGB bottom) {
    for (int y = 0; y < im.H(); ++y) {
        sRGB c = Mix(top, bottom, im.H() > 1 ? (float)y / (im.H() - 1) : 0.0f);
        for (int x = 0; x < im.W(); ++x) im.At(x, y) = c;
    }
}

void FillPlasma(cImage& im, sRGB a, sRGB b, sRGB c, float scale, uint64_t seed) {
    for (int y = 0; y < im.H(); ++y)
        for (int x = 0; x < im.W(); ++x) {
            float n = Fbm(x / scale, y / scale, seed, 5);
            float s = 0.5f + 0.5f * std::sin((x + y * 0.7f) / scale * 2.1f + n * 6.0f);
            sRGB t = n < 0.5f ? Mix(a, b, n * 2) : Mix(b, c, (n - 0.5f) * 2);
            im.At(x, y) = Mix(t, Scale(t, 1.3f), s * 0.5f);
        }
}

void Vignette(cImage& im, float strength) {
    float cx = im.W() * 0.5f, cy = im.H() * 0.5f, r = std::sqrt(cx * cx + cy * cy);
    for (int y = 0; y < im.H(); ++y)
        for (int x = 0; x < im.W(); ++x) {
            float d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r;
            im.At(x, y) = Scale(im.At(x, y), 1.0f - strength * d * d);
        }
}

void Grain(cImage& im, float amount, cRng& rng) {
    for (int y = 0; y < im.H(); ++y)
        for (int x = 0; x < im.W(); ++x) {
            float g = (rng.Unit() - 0.5f) * amount;
            sRGB& p = im.At(x, y);
            p.r += g;
            p.g += g;
            p.b += g;
        }
}

void Glow(cImage& im, float cx, float cy, float radius, sRGB c, float intensity) {
    int x0 = std::max(0, (int)(cx - radius * 3)), x1 = std::min(im.W() - 1, (int)(cx + radius * 3));
    int y0 = std::max(0, (int)(cy - radius * 3)), y1 = std::min(im.H() - 1, (int)(cy + radius * 3));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (radius * radius);
            im.Add(x, y, c, intensity * std::exp(-d2));
        }
}

void Disc(cImage& im, float cx, float cy, float radius, sRGB c, float alpha, float soft) {
    int x0 = std::max(0, (int)(cx - radius - 2)), x1 = std::min(im.W() - 1, (int)(cx + radius + 2));
    int y0 = std::max(0, (int)(cy - radius - 2)), y1 = std::min(im.H() - 1, (int)(cy + radius + 2));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::sqrt((x + 0.5f - cx) * (x + 0.5f - cx) + (y + 0.5f - cy) * (y + 0.5f - cy));
            float a = std::min(std::max((radius - d) / soft + 0.5f, 0.0f), 1.0f);
            im.Blend(x, y, c, a * alpha);
        }
}

void Ring(cImage& im, float cx, float cy, float radius, float width, sRGB c, float alpha) {
    int x0 = std::max(0, (int)(cx - radius - width - 2)), x1 = std::min(im.W() - 1, (int)(cx + radius + width + 2));
    int y0 = std::max(0, (int)(cy - radius - width - 2)), y1 = std::min(im.H() - 1, (int)(cy + radius + width + 2));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::sqrt((x + 0.5f - cx) * (x + 0.5f - cx) + (y + 0.5f - cy) * (y + 0.5f - cy));
            float a = std::min(std::max(width * 0.5f - std::fabs(d - radius) + 0.5f, 0.0f), 1.0f);
            im.Blend(x, y, c, a * alpha);
        }
}

void Rect(cImage& im, float x0, float y0, float x1, float y1, sRGB c, float alpha) {
    for (int y = std::max(0, (int)y0); y < std::min(im.H(), (int)std::ceil(y1)); ++y)
        for (int x = std::max(0, (int)x0); x < std::min(im.W(), (int)std::ceil(x1)); ++x) im.Blend(x, y, c, alpha);
}

void Line(cImage& im, float x0, float y0, float x1, float y1, float width, sRGB c, float alpha) {
    float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    int bx0 = std::max(0, (int)(std::min(x0, x1) - width - 1)), bx1 = std::min(im.W() - 1, (int)(std::max(x0, x1) + width + 1));
    int by0 = std::max(0, (int)(std::min(y0, y1) - width - 1)), by1 = std::min(im.H() - 1, (int)(std::max(y0, y1) + width + 1));
    for (int y = by0; y <= by1; ++y)
        for (int x = bx0; x <= bx1; ++x) {
            float t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0;
            t = std::min(std::max(t, 0.0f), 1.0f);
            float px = x0 + t * dx - x, py = y0 + t * dy - y;
            float d = std::sqrt(px * px + py * py);
            float a = std::min(std::max(width * 0.5f - d + 0.5f, 0.0f), 1.0f);
            im.Blend(x, y, c, a * alpha);
        }
}

void BoxBlur(cImage& im, int radius) {
    if (radius <= 0) return;
    cImage tmp = im;
    for (int pass = 0; pass < 2; ++pass) {
        const cImage& src = pass == 0 ? im : tmp;
        cImage& dst = pass == 0 ? tmp : im;
        for (int y = 0; y < im.H(); ++y)
            for (int x = 0; x < im.W(); ++x) {
                sRGB s{0, 0, 0};
                int n = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int xx = pass == 0 ? std::min(std::max(x + k, 0), im.W() - 1) : x;
                    int yy = pass == 1 ? std::min(std::max(y + k, 0), im.H() - 1) : y;
                    const sRGB& p = src.At(xx, yy);
                    s.r += p.r;
                    s.g += p.g;
                    s.b += p.b;
                    ++n;
                }
                dst.At(x, y) = Scale(s, 1.0f / n);
            }
    }
}

void Silhouette(cImage& im, float baseY, float amplitude, sRGB c, uint64_t seed, bool blocky) {
    for (int x = 0; x < im.W(); ++x) {
        float fx = blocky ? std::floor(x / 14.0f) * 14.0f : (float)x;
        float h = Fbm(fx / 60.0f, 0.5f, seed, 4) * amplitude;
        if (blocky && ValueNoise(fx / 14.0f, 3.5f, seed + 5) > 0.7f) h += amplitude * 0.6f;
        int top = (int)(baseY - h);
        for (int y = std::max(0, top); y < im.H(); ++y) im.At(x, y) = c;
        if (top > 0 && top < im.H()) im.Blend(x, top - 1, c, 0.5f);
    }
}

void Smiley(cImage& im, float cx, float cy, float r, sRGB face, sRGB ink, float mood) {
    Disc(im, cx, cy, r, face);
    Ring(im, cx, cy, r, std::max(1.5f, r * 0.08f), ink);
    Disc(im, cx - r * 0.35f, cy - r * 0.25f, r * 0.13f, ink);
    Disc(im, cx + r * 0.35f, cy - r * 0.25f, r * 0.13f, ink);
    // Mouth: an arc bent by mood (1 smiling, -1 frowning).
    float prevX = 0, prevY = 0;
    for (int i = 0; i <= 16; ++i) {
        float t = (i / 16.0f) * 2 - 1;
        float x = cx + t * r * 0.5f;
        float y = cy + r * 0.35f + mood * (1 - t * t) * r * 0.25f - mood * r * 0.1f;
        if (i) Line(im, prevX, prevY, x, y, std::max(1.5f, r * 0.09f), ink);
        prevX = x;
        prevY = y;
    }
}

void Darken(cImage& im, float k) {
    for (int y = 0; y < im.H(); ++y)
        for (int x = 0; x < im.W(); ++x) im.At(x, y) = Scale(im.At(x, y), k);
}

void CrushBlack(cImage& im, float threshold) {
    for (int y = 0; y < im.H(); ++y)
        for (int x = 0; x < im.W(); ++x) {
            sRGB& p = im.At(x, y);
            if (std::max(p.r, std::max(p.g, p.b)) < threshold) p = {0, 0, 0};
        }
}

cImage Resize(const cImage& src, int w, int h) {
    cImage out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.At(x, y) = src.Sample((x + 0.5f) * src.W() / w - 0.5f, (y + 0.5f) * src.H() / h - 0.5f);
    return out;
}

cImage Photo(int w, int h, const sPhotoStyle& st, uint64_t seed) {
    cImage im(w, h);
    FillGradient(im, st.skyTop, st.skyBottom);
    // Clouds: fractal noise mixed in where it rises above a threshold.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float n = Fbm(x / 70.0f, y / 35.0f, seed, 5);
            float a = std::min(std::max((n - 0.45f) * 2.5f, 0.0f), 1.0f) * (1.0f - (float)y / h);
            im.Blend(x, y, st.cloud, a * 0.8f);
        }
    Glow(im, st.lightX * w, st.lightY * h, h * 0.12f, st.light, 1.2f);
    Glow(im, st.lightX * w, st.lightY * h, h * 0.4f, st.light, 0.35f);
    Silhouette(im, h * 0.82f, h * 0.28f, Mix(st.ground, st.skyBottom, 0.35f), seed + 11, !st.blocky);
    Silhouette(im, h * 0.95f, h * 0.22f, st.ground, seed + 23, st.blocky);
    Vignette(im, 0.55f);
    cRng rng(seed + 99);
    Grain(im, 0.05f, rng);
    return im;
}

} // namespace mkd
