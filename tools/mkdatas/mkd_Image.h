// Float RGB pictures and the drawing operations the default-data generator
// composes them from. Everything is deterministic: no clock, no global state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkd {

// A hash-seeded stream (splitmix64), so every file draws from its own numbers
// whatever order the files are generated in.
class cRng {
public:
    explicit cRng(uint64_t seed) : m_nState(seed) {}
    uint64_t Next() {
        uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float Unit() { return (float)((Next() >> 40) * (1.0 / 16777216.0)); } // [0, 1)
    float Range(float a, float b) { return a + (b - a) * Unit(); }
    int Int(int n) { return (int)(Next() % (uint64_t)n); }
private:
    uint64_t m_nState;
};

uint64_t HashName(const std::string& s, uint64_t seed);

struct sRGB { float r, g, b; };
inline sRGB Mix(sRGB a, sRGB b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
inline sRGB Scale(sRGB a, float k) { return {a.r * k, a.g * k, a.b * k}; }

class cImage {
public:
    cImage() = default;
    cImage(int w, int h, sRGB fill = {0, 0, 0});
    int W() const { return m_nWidth; }
    int H() const { return m_nHeight; }
    sRGB& At(int x, int y) { return m_aPixels[(size_t)y * m_nWidth + x]; }
    const sRGB& At(int x, int y) const { return m_aPixels[(size_t)y * m_nWidth + x]; }
    // Bilinear read with clamped edges; x, y in pixel units.
    sRGB Sample(float x, float y) const;
    void Blend(int x, int y, sRGB c, float a);
    void Add(int x, int y, sRGB c, float a);
    // 8-bit RGB, channels clamped to 0..255 and rounded.
    std::vector<uint8_t> ToRGB8() const;
private:
    int m_nWidth = 0, m_nHeight = 0;
    std::vector<sRGB> m_aPixels;
};

// Value noise and its fractal sum, tileable with period px, py when given (0 = none).
float ValueNoise(float x, float y, uint64_t seed, int px = 0, int py = 0);
float Fbm(float x, float y, uint64_t seed, int octaves, int px = 0, int py = 0);

void FillGradient(cImage& im, sRGB top, sRGB bottom);
void FillPlasma(cImage& im, sRGB a, sRGB b, sRGB c, float scale, uint64_t seed);
void Vignette(cImage& im, float strength);
void Grain(cImage& im, float amount, cRng& rng);
void Glow(cImage& im, float cx, float cy, float radius, sRGB c, float intensity);
void Disc(cImage& im, float cx, float cy, float radius, sRGB c, float alpha = 1.0f, float soft = 1.0f);
void Ring(cImage& im, float cx, float cy, float radius, float width, sRGB c, float alpha = 1.0f);
void Rect(cImage& im, float x0, float y0, float x1, float y1, sRGB c, float alpha = 1.0f);
void Line(cImage& im, float x0, float y0, float x1, float y1, float width, sRGB c, float alpha = 1.0f);
void BoxBlur(cImage& im, int radius);
// Skyline or hill silhouette along the bottom: heights from noise.
void Silhouette(cImage& im, float baseY, float amplitude, sRGB c, uint64_t seed, bool blocky);
// Drawn smiley face (circle, eyes, mouth), for the smiley pictures.
void Smiley(cImage& im, float cx, float cy, float r, sRGB face, sRGB ink, float mood);
// Multiplies every pixel so that the darkest stays black: for additive layers.
void Darken(cImage& im, float k);
// Forces everything below the threshold brightness to pure black.
void CrushBlack(cImage& im, float threshold);
cImage Resize(const cImage& src, int w, int h);

// A "photograph": sky gradient, plasma clouds, silhouettes, a light, vignette, grain.
struct sPhotoStyle {
    sRGB skyTop, skyBottom, cloud, ground, light;
    float lightX, lightY;
    bool blocky;
};
cImage Photo(int w, int h, const sPhotoStyle& st, uint64_t seed);

} // namespace mkd
