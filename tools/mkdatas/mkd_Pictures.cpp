#include "mkd_Pictures.h"

#include "mkd_Text.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstring>

namespace mkd {

namespace {

const float kPi = 3.14159265f;

const sStrip s_aStrips[] = {
    // greetings: S1 .. S12 of the metaballs part
    {"greets.jpg", 209, 32}, {"greets.jpg", 380, 38}, {"greets.jpg", 0, 38},   {"greets.jpg", 310, 35},
    {"greets.jpg", 276, 32}, {"greets.jpg", 241, 33}, {"greets.jpg", 175, 31}, {"greets.jpg", 140, 32},
    {"greets.jpg", 72, 32},  {"greets.jpg", 39, 32},  {"greets.jpg", 343, 33}, {"greets.jpg", 107, 33},
    // names and comments of the credits part
    {"noms.jpg", 198, 35},   {"noms.jpg", 22, 35},    {"noms.jpg", 134, 35},   {"noms.jpg", 77, 62},
    {"comment.jpg", 164, 32}, {"comment.jpg", 196, 32}, {"comment.jpg", 107, 32}, {"comment.jpg", 5, 29},
    {"comment.jpg", 64, 32},
};

struct sLine { int y, h; const char* text; };

// Greetings in strip order S1 .. S12 (all names invented).
const char* const s_apGreets[12] = {"KILNWORKS", "and BRIMWICK", "greetings to", "FERROWAVE",
                                     "HEXMOTH", "SALTMARSH", "COBALT ORCHARD", "PAPERKITE",
                                     "TUNDRA MINDS", "GLIMMERHAUS", "NORTHERN HUM", "OSMIUM KIDS"};
const char* const s_apNames[4] = {"THRUM", "PELLAQ", "VARNO", "ISKELDE"};                 // N1 .. N4
const char* const s_apComments[5] = {"sound and synthesis", "every note made here", "engine and effects",
                                     "models and motion", "pictures and light"};          // C1 .. C5

sRGB Rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

// Bright text with a soft glow around it, added onto the picture.
void GlowText(cImage& im, const std::string& s, eFont f, int size, float cx, int y0, int y1, sRGB c, float glow = 0.7f,
              int radius = 4) {
    cImage layer(im.W(), im.H());
    DrawTextInBand(layer, s, f, size, cx, y0, y1, c);
    cImage halo = layer;
    BoxBlur(halo, radius);
    for (int y = 0; y < im.H(); ++y)
        for (int x = 0; x < im.W(); ++x) {
            const sRGB& a = layer.At(x, y);
            const sRGB& b = halo.At(x, y);
            im.Add(x, y, {a.r + b.r * glow, a.g + b.g * glow, a.b + b.b * glow}, 1.0f);
        }
}

// Text fitted into a band with margins, glowing.
void BandText(cImage& im, const std::string& s, eFont f, int y0, int h, sRGB c, int margin = 5) {
    int size = FitTextSize(s, f, im.W() - 24, h - 2 * margin, 48);
    GlowText(im, s, f, size, im.W() * 0.5f, y0 + margin, y0 + h - margin, c, 0.5f, 3);
}

// Additive flash: a light burst with rays on black.
cImage Burst(int w, int h, sRGB core, sRGB rays, uint64_t seed, int nRays) {
    cImage im(w, h);
    float cx = w * 0.5f, cy = h * 0.5f;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy) / (h * 0.5f);
            float a = std::atan2(dy, dx);
            float ray = std::pow(0.5f + 0.5f * std::sin(a * nRays + Fbm(a * 3, d * 2, seed, 3) * 4), 6.0f);
            float v = std::exp(-d * d * 4) * 1.2f + ray * std::exp(-d * 2.2f) * 0.9f;
            im.At(x, y) = Mix(Scale(rays, v), core, std::min(1.0f, std::exp(-d * d * 18)));
        }
    return im;
}

// Dark noise for additive flicker layers: sparse bright specks, scratches and scan lines.
cImage Static(int w, int h, sRGB tint, uint64_t seed) {
    cImage im(w, h);
    cRng rng(seed);
    for (int y = 0; y < h; ++y) {
        float scan = (y & 1) ? 0.6f : 1.0f;
        for (int x = 0; x < w; ++x) {
            float n = rng.Unit();
            float v = n > 0.985f ? 0.9f : n * n * n * 0.35f;
            v += std::pow(Fbm(x / 40.0f, y / 40.0f, seed + 1, 3), 3.0f) * 0.5f;
            im.At(x, y) = Scale(tint, v * scan);
        }
    }
    for (int i = 0; i < w / 30; ++i) {
        float x = rng.Range(0, (float)w);
        Line(im, x, 0, x + rng.Range(-20, 20), (float)h, 1.0f, Scale(tint, 0.6f), rng.Range(0.2f, 0.6f));
    }
    return im;
}

// Smiley faces in a grid whose rows repeat with the picture's height (the strips tile down).
cImage SmileyField(int w, int h, int cols, int rows, sRGB bg, sRGB face, sRGB ink, uint64_t seed) {
    cImage im(w, h, bg);
    cRng rng(seed);
    float cw = (float)w / cols, ch = (float)h / rows;
    float r = std::min(cw, ch) * 0.38f;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            float ox = (j & 1) ? cw * 0.25f : -cw * 0.1f;
            float cx = (i + 0.5f) * cw + ox, cy = (j + 0.5f) * ch;
            if (cx + r > w) cx = w - r - 1;
            if (cx - r < 0) cx = r + 1;
            sRGB f = Mix(face, Scale(face, 0.6f), rng.Unit());
            Smiley(im, cx, cy, r * rng.Range(0.8f, 1.0f), f, ink, rng.Range(-1.0f, 1.0f) > -0.4f ? 1.0f : -1.0f);
        }
    return im;
}

cImage Photograph(int w, int h, uint64_t seed, sRGB top, sRGB bottom, sRGB cloud, sRGB ground, sRGB light, float lx,
                  float ly, bool blocky) {
    sPhotoStyle st{top, bottom, cloud, ground, light, lx, ly, blocky};
    return Photo(w, h, st, seed);
}

// Word picture of the titles: one word on black, glowing, centred on cx.
cImage Word(int w, int h, const char* word, float cx, uint64_t seed) {
    cImage im(w, h);
    int size = FitTextSize(word, FONT_SANS_BOLD, (int)(std::min(cx, w - cx) * 2) - 16, h - 24, 96);
    GlowText(im, word, FONT_SANS_BOLD, size, cx, 12, h - 12, Rgb(220, 235, 255), 0.9f, 6);
    // A few drifting sparks keep the additive word from looking flat.
    cRng rng(seed);
    for (int i = 0; i < 30; ++i) Glow(im, rng.Range(0, (float)w), rng.Range(0, (float)h), 1.5f, Rgb(120, 160, 255), 0.6f);
    return im;
}

cImage Logo(int w, int h, const char* name, const char* tagline, sRGB c1, sRGB c2, uint64_t seed) {
    cImage im(w, h);
    FillPlasma(im, Scale(c1, 0.10f), Scale(c2, 0.18f), Scale(c1, 0.05f), 90.0f, seed);
    Vignette(im, 0.8f);
    float cx = w * 0.5f, cy = h * 0.36f;
    for (int i = 0; i < 5; ++i) Ring(im, cx, cy, 18.0f + i * 9.0f, 2.0f, Mix(c1, c2, i / 4.0f), 0.85f - i * 0.12f);
    Disc(im, cx, cy, 10, c2);
    Glow(im, cx, cy, 30, c1, 0.5f);
    int size = FitTextSize(name, FONT_SERIF_BOLD, w - 30, 44, 44);
    GlowText(im, name, FONT_SERIF_BOLD, size, cx, (int)(h * 0.60f), (int)(h * 0.60f) + 44, Mix(c1, {1, 1, 1}, 0.5f), 0.8f, 5);
    DrawTextInBand(im, tagline, FONT_SANS, 13, cx, (int)(h * 0.82f), (int)(h * 0.82f) + 16, Scale(c2, 0.9f));
    return im;
}

// One frame of the travel sequence: a night road with lights that move from frame to frame.
cImage TravelFrame(int w, int h, int frame, uint64_t seed) {
    cImage im(w, h);
    float horizon = h * 0.45f;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float dy = std::fabs(y - horizon) / h;
            im.At(x, y) = Scale(Rgb(60, 18, 10), std::exp(-dy * 9) * 0.8f);
        }
    cRng rng(seed);
    float phase = frame * 0.37f;
    for (int i = 0; i < 14; ++i) {
        float t = std::fmod(i / 14.0f + phase, 1.0f);
        float side = (i & 1) ? 1.0f : -1.0f;
        float x = w * 0.5f + side * t * t * w * 0.9f, y = horizon + t * t * h * 0.6f;
        Glow(im, x, y, 2 + t * 10, Rgb(255, 190, 120), 1.0f);
    }
    for (int i = 0; i < 40; ++i)
        Glow(im, rng.Range(0, (float)w), rng.Range(0, horizon), rng.Range(0.6f, 1.6f), Rgb(255, 220, 200), 0.7f);
    float fx = w * (0.2f + 0.1f * frame), fy = horizon - 20.0f + frame * 6.0f;
    Glow(im, fx, fy, 18, Rgb(255, 120, 60), 1.1f);
    Disc(im, fx, fy, 6, Rgb(255, 240, 210));
    Vignette(im, 0.4f);
    return im;
}

// A bright radial bloom on black (additive layers that zoom and pulse).
cImage Bloom(int w, int h, sRGB a, sRGB b, int petals, uint64_t seed) {
    cImage im(w, h);
    float cx = w * 0.5f, cy = h * 0.5f, R = std::min(w, h) * 0.45f;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy) / R;
            float ang = std::atan2(dy, dx);
            float petal = 0.55f + 0.45f * std::cos(ang * petals + d * 3.0f);
            float v = std::max(0.0f, 1.0f - d / (0.35f + 0.65f * petal));
            v = v * v * (1.2f + 0.3f * Fbm(x / 20.0f, y / 20.0f, seed, 3));
            im.At(x, y) = Mix(Scale(b, v), Scale(a, v), std::min(1.0f, d));
        }
    return im;
}

// The binary column picture: rows of 0 and 1 that repeat every 480 rows (the part tiles it twice).
cImage Binary(int w, int h, uint64_t seed) {
    cImage im(w, h);
    cRng rng(seed);
    const int cell = 20;
    for (int row = 0; row < h / cell; ++row)
        for (int col = 0; col < w / 14; ++col) {
            const char* d = rng.Unit() < 0.5f ? "0" : "1";
            float bright = 0.25f + 0.75f * rng.Unit() * rng.Unit();
            DrawText(im, d, FONT_MONO_BOLD, 16, col * 14.0f + 1, row * cell + 16, Scale(Rgb(90, 255, 140), bright));
        }
    Glow(im, w * 0.5f, h * 0.5f, w * 0.25f, Rgb(20, 80, 40), 0.3f);
    return im;
}

// The scroller: invented credits and thanks, gold on black, one line per 40 rows.
cImage Scroller(int w, int h) {
    static const char* const lines[] = {
        "QUORVANE", "", "thanks for watching", "", "code", "VARNO", "", "music", "ISKELDE", "",
        "pictures", "PELLAQ", "", "scenes", "THRUM", "", "guest logo", "BRIMWICK", "", "",
        "everything you saw", "was made from numbers:", "gradients, noise and light,", "a few thousand triangles,",
        "two tracks from a small", "synthesiser of our own.", "", "", "greetings again to", "GLIMMERHAUS",
        "TUNDRA MINDS", "OSMIUM KIDS", "PAPERKITE", "COBALT ORCHARD", "KILNWORKS", "SALTMARSH", "HEXMOTH",
        "FERROWAVE", "NORTHERN HUM", "", "", "no picture, sound or model", "in this show was taken", "from anywhere else.",
        "", "", "see you at the next one", "", "", "", "QUORVANE"};
    cImage im(w, h);
    int y = 40;
    for (const char* s : lines) {
        if (*s) {
            bool title = std::strlen(s) < 14 && std::toupper((unsigned char)s[0]) == s[0];
            int size = title ? 24 : 16;
            GlowText(im, s, title ? FONT_SANS_BOLD : FONT_SANS, size, w * 0.5f, y, y + 32,
                     title ? Rgb(255, 210, 120) : Rgb(230, 200, 160), 0.5f, 3);
        }
        y += 38;
        if (y > h - 40) break;
    }
    return im;
}

// The chroma-keyed mask figure of the scroller: drawn on pure black with a wide black margin.
cImage Totem(int w, int h, uint64_t seed) {
    cImage im(w, h);
    float cx = w * 0.5f, cy = h * 0.52f;
    sRGB gold = Rgb(230, 170, 60), red = Rgb(190, 40, 30), bone = Rgb(240, 225, 190);
    // Face: stacked ellipse made of discs.
    for (int i = 0; i < 40; ++i) {
        float t = i / 39.0f;
        Disc(im, cx, cy - 120 + t * 240, 95 * std::sin(kPi * (0.1f + 0.8f * t)) + 20, Mix(gold, red, t * 0.6f));
    }
    Disc(im, cx - 42, cy - 40, 24, Rgb(20, 10, 5));
    Disc(im, cx + 42, cy - 40, 24, Rgb(20, 10, 5));
    Disc(im, cx - 42, cy - 40, 9, bone);
    Disc(im, cx + 42, cy - 40, 9, bone);
    for (int i = 0; i < 7; ++i) Rect(im, cx - 50 + i * 15, cy + 55, cx - 42 + i * 15, cy + 80, bone);
    Line(im, cx, cy - 20, cx - 12, cy + 25, 6, Rgb(120, 50, 20));
    for (int i = 0; i < 9; ++i) {
        float a = kPi * (1.1f + 0.8f * i / 8.0f);
        Line(im, cx + std::cos(a) * 110, cy - 100 + std::sin(a) * 60, cx + std::cos(a) * 150,
             cy - 100 + std::sin(a) * 100, 8, i & 1 ? red : gold);
    }
    cRng rng(seed);
    for (int i = 0; i < 60; ++i) {
        float a = rng.Range(0, 2 * kPi), r = rng.Range(20, 80);
        im.Blend((int)(cx + std::cos(a) * r), (int)(cy + std::sin(a) * r * 1.4f), bone, 0.7f);
    }
    // Keep the key colour exact around the figure.
    CrushBlack(im, 0.04f);
    return im;
}

} // namespace

const sStrip* TextStrips(int* pnCount) {
    *pnCount = (int)(sizeof(s_aStrips) / sizeof(s_aStrips[0]));
    return s_aStrips;
}

cImage MakeEnvironmentMap() {
    // A sphere seen from the front: dark body, a bright rim where the normal
    // turns away, a soft key light up left and a coloured fill from below.
    cImage im(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float nx = (x - 127.5f) / 128.0f, ny = (y - 127.5f) / 128.0f;
            float r2 = nx * nx + ny * ny, r = std::sqrt(r2);
            float nz = std::sqrt(std::max(0.0f, 1.0f - std::min(r2, 1.0f)));
            float rim = std::pow(std::min(r, 1.0f), 4.0f);
            float key = std::pow(std::max(0.0f, -0.45f * nx - 0.55f * ny + 0.7f * nz), 24.0f);
            float fill = std::max(0.0f, ny) * 0.5f;
            sRGB c = Rgb(18, 20, 40);
            c = Mix(c, Rgb(90, 60, 170), fill);
            c = Mix(c, Rgb(200, 230, 255), rim * 0.9f);
            c.r += key * 1.2f;
            c.g += key * 1.2f;
            c.b += key * 1.1f;
            im.At(x, y) = c;
        }
    return im;
}

bool MakePicture(const std::string& name, int w, int h, uint64_t seed, cImage& out) {
    auto is = [&](const char* n) { return name == n; };
    // Part palettes: titles cold blue, pillars amber, digits green, credits red,
    // smileys yellow and magenta, tube teal, travel red, glon purple and gold,
    // tunnel blue, metaballs violet, shadow steel, gel and joys green-yellow.
    if (is("loading.jpg")) {
        out = Photograph(w, h, seed, Rgb(5, 8, 25), Rgb(30, 40, 80), Rgb(60, 70, 120), Rgb(3, 4, 10), Rgb(200, 220, 255), 0.5f, 0.55f, false);
        GlowText(out, "QUORVANE", FONT_SERIF_BOLD, 40, w * 0.5f, 70, 120, Rgb(230, 240, 255));
        DrawTextInBand(out, "loading", FONT_SANS, 14, w * 0.5f, 200, 220, Rgb(180, 190, 220));
    } else if (is("loading2.jpg")) {
        out = Photograph(w, h, seed, Rgb(20, 5, 30), Rgb(90, 40, 110), Rgb(140, 80, 150), Rgb(8, 2, 12), Rgb(255, 200, 240), 0.7f, 0.5f, true);
        GlowText(out, "INTERMISSION", FONT_SANS_BOLD, 30, w * 0.5f, 80, 120, Rgb(255, 230, 250));
        DrawTextInBand(out, "the second track is loading", FONT_SANS, 13, w * 0.5f, 200, 220, Rgb(220, 190, 230));
    } else if (is("art.jpg")) {
        out = Word(w, h, "DRIFT", 100 + 160.0f, seed); // the layer sits at x -100
    } else if (is("of.jpg")) {
        out = Word(w, h, "OF", w * 0.5f, seed);
    } else if (is("self.jpg")) {
        out = Word(w, h, "PALE", w * 0.5f, seed);
    } else if (is("destru.jpg")) {
        out = Word(w, h, "ENGINES", w * 0.5f, seed);
    } else if (is("logo_brimwick.jpg")) {
        out = Logo(w, h, "BRIMWICK", "invites you aboard", Rgb(255, 190, 80), Rgb(200, 80, 40), seed);
    } else if (is("logo_quorvane.jpg")) {
        out = Logo(w, h, "QUORVANE", "a journey in realtime", Rgb(120, 180, 255), Rgb(60, 80, 200), seed);
    } else if (is("para.jpg")) {
        out = Static(w, h, Rgb(170, 200, 255), seed);
    } else if (is("tetefeui.jpg")) {
        out = Burst(w, h, Rgb(255, 255, 240), Rgb(255, 140, 60), seed, 11);
    } else if (is("wedepaint.jpg") || is("tragedy.jpg") || is("ofexistance.jpg")) {
        const char* t = is("wedepaint.jpg") ? "WE TRACE" : is("tragedy.jpg") ? "THE OUTLINE" : "OF SILENCE";
        out = cImage(w, h);
        BandText(out, t, FONT_SANS_BOLD, 0, h, Rgb(255, 210, 140), 10);
    } else if (is("cry4.jpg")) {
        out = Photograph(w, h, seed, Rgb(40, 20, 5), Rgb(200, 120, 40), Rgb(255, 200, 120), Rgb(20, 8, 2), Rgb(255, 230, 170), 0.3f, 0.55f, true);
    } else if (is("cry5.jpg")) {
        out = Photograph(w, h, seed, Rgb(60, 25, 10), Rgb(230, 150, 60), Rgb(255, 220, 160), Rgb(15, 6, 2), Rgb(255, 250, 200), 0.65f, 0.45f, false);
    } else if (is("im02.jpg")) {
        out = cImage(w, h);
        Glow(out, w * 0.5f, h * 0.5f, 30, Rgb(255, 150, 40), 0.8f);
        GlowText(out, "RESONATE", FONT_SANS_BOLD, 34, w * 0.5f, 20, h - 20, Rgb(255, 230, 180), 0.8f, 5);
    } else if (is("nofate.jpg")) {
        out = Burst(w, h, Rgb(255, 250, 235), Rgb(255, 170, 80), seed, 7);
        GlowText(out, "NO RETURN", FONT_SANS_BOLD, 30, w * 0.5f, 190, 225, Rgb(255, 220, 160));
    } else if (is("vellor1.jpg")) {
        out = Static(w, h, Rgb(255, 190, 110), seed);
    } else if (is("binaire.jpg")) {
        out = Binary(w, h, seed);
    } else if (is("technology.jpg")) {
        out = cImage(w, h);
        BandText(out, "MACHINERY OF SMALL HOURS", FONT_SANS_BOLD, 0, h, Rgb(150, 255, 190), 6);
    } else if (is("stay.jpg")) {
        out = cImage(w, h);
        GlowText(out, "REMAIN", FONT_SANS_BOLD, 64, w * 0.5f, 50, 130, Rgb(200, 255, 220), 1.0f, 8);
        DrawTextInBand(out, "while the lights are on", FONT_SANS, 15, w * 0.5f, 150, 175, Rgb(120, 220, 160));
    } else if (is("artist.jpg")) {
        out = cImage(w, h);
        GlowText(out, "MAKER", FONT_SANS_BOLD, 70, w * 0.5f, 60, 150, Rgb(170, 255, 200), 1.0f, 8);
    } else if (is("esclave.jpg")) {
        out = Photograph(w, h, seed, Rgb(5, 30, 20), Rgb(40, 140, 90), Rgb(120, 220, 170), Rgb(2, 10, 6), Rgb(220, 255, 230), 0.4f, 0.4f, true);
    } else if (is("cry3.jpg")) {
        out = Photograph(w, h, seed, Rgb(10, 40, 40), Rgb(60, 170, 140), Rgb(150, 240, 210), Rgb(3, 15, 12), Rgb(240, 255, 240), 0.6f, 0.5f, false);
    } else if (name.compare(0, 7, "credits") == 0 && name.size() == 12) {
        // credits1 .. credits4: the role over a red photograph.
        static const char* const roles[4] = {"MUSIC", "SCENES", "PICTURES", "CODE"};
        int k = name[7] - '1';
        out = Photograph(w, h, seed, Rgb(30, 5, 8), Rgb(140, 40, 40), Rgb(200, 110, 100), Rgb(10, 2, 3), Rgb(255, 210, 190), 0.25f + 0.15f * k, 0.45f, (k & 1) != 0);
        // An emblem of the craft above the word.
        const sRGB ink = Rgb(255, 225, 210);
        const float ex = w * 0.5f, ey = 80;
        if (k == 0) { // sound: three waves
            for (int wv = 0; wv < 3; ++wv)
                for (int i = 0; i < 60; ++i) {
                    float x0 = ex - 90 + i * 3.0f, x1 = x0 + 3;
                    float a = 18.0f - wv * 5, f = 0.08f + wv * 0.05f;
                    Line(out, x0, ey + a * std::sin(x0 * f), x1, ey + a * std::sin(x1 * f), 2.5f, ink, 0.9f - wv * 0.2f);
                }
        } else if (k == 1) { // scenes: a wire cube
            const float c = 34, d = 16;
            float xs[8], ys[8];
            for (int i = 0; i < 8; ++i) {
                xs[i] = ex + ((i & 1) ? c : -c) + ((i & 4) ? d : -d);
                ys[i] = ey + ((i & 2) ? c : -c) * 0.8f - ((i & 4) ? d : -d);
            }
            for (int i = 0; i < 8; ++i)
                for (int b = 1; b < 8; b <<= 1)
                    if (!(i & b)) Line(out, xs[i], ys[i], xs[i | b], ys[i | b], 2.5f, ink, 0.9f);
        } else if (k == 2) { // pictures: a frame with brush strokes
            Rect(out, ex - 60, ey - 40, ex + 60, ey + 40, Rgb(40, 10, 10), 0.7f);
            Line(out, ex - 60, ey - 40, ex + 60, ey - 40, 3, ink);
            Line(out, ex + 60, ey - 40, ex + 60, ey + 40, 3, ink);
            Line(out, ex + 60, ey + 40, ex - 60, ey + 40, 3, ink);
            Line(out, ex - 60, ey + 40, ex - 60, ey - 40, 3, ink);
            cRng rng(seed + 5);
            for (int i = 0; i < 7; ++i)
                Line(out, ex - 50 + rng.Range(0, 40), ey + rng.Range(-30, 30), ex + rng.Range(0, 50), ey + rng.Range(-30, 30), 6,
                     Mix(Rgb(255, 120, 90), Rgb(255, 220, 140), rng.Unit()), 0.8f);
        } else { // code: braces around a cursor
            GlowText(out, "{ _ }", FONT_MONO_BOLD, 56, ex, (int)ey - 35, (int)ey + 35, ink, 0.6f, 4);
        }
        GlowText(out, roles[k], FONT_SANS_BOLD, 52, w * 0.5f, 150, 215, Rgb(255, 235, 225), 0.8f, 6);
    } else if (is("comment.jpg") || is("noms.jpg")) {
        out = cImage(w, h);
        int n;
        const sStrip* st = TextStrips(&n);
        int ic = 0, in = 0;
        for (int i = 0; i < n; ++i) {
            if (name != st[i].pszPicture) continue;
            bool names = is("noms.jpg");
            const char* text = names ? s_apNames[in++] : s_apComments[ic++];
            BandText(out, text, names ? FONT_SANS_BOLD : FONT_SANS, st[i].y, st[i].h, names ? Rgb(255, 200, 190) : Rgb(230, 170, 160), 6);
        }
    } else if (is("greets.jpg")) {
        out = cImage(w, h);
        int n;
        const sStrip* st = TextStrips(&n);
        for (int i = 0; i < 12; ++i)
            BandText(out, s_apGreets[i], i == 2 ? FONT_SANS : FONT_SANS_BOLD, st[i].y, st[i].h, Rgb(240, 190, 255), 6);
    } else if (is("smiley1.jpg")) {
        out = cImage(w, h);
        FillPlasma(out, Rgb(120, 20, 90), Rgb(250, 200, 40), Rgb(60, 10, 70), 60.0f, seed);
        cImage faces = SmileyField(w, h, 5, 4, {0, 0, 0}, Rgb(255, 230, 60), Rgb(40, 10, 30), seed + 1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const sRGB& f = faces.At(x, y);
                if (f.r + f.g + f.b > 0.05f) out.At(x, y) = Mix(out.At(x, y), f, 0.8f);
            }
        Vignette(out, 0.4f);
    } else if (is("smiley2.jpg")) {
        // Drawn on pure black: the part turns exact black into white before inverting.
        out = SmileyField(w, h, 4, 3, {0, 0, 0}, Rgb(250, 120, 220), Rgb(30, 0, 40), seed);
    } else if (is("smiley3.jpg")) {
        out = cImage(w, h);
        FillPlasma(out, Rgb(60, 10, 60), Rgb(160, 60, 20), Rgb(20, 30, 90), 70.0f, seed);
        Smiley(out, w * 0.5f, h * 0.5f, 80, Rgb(230, 180, 60), Rgb(60, 10, 50), 1.0f);
        Darken(out, 0.7f);
    } else if (is("smiley4.jpg")) {
        out = SmileyField(w, h, 6, 1, Rgb(20, 5, 25), Rgb(255, 220, 90), Rgb(60, 10, 40), seed);
    } else if (is("smiley5.jpg")) {
        out = SmileyField(w, h, 4, 2, Rgb(10, 0, 20), Rgb(220, 110, 255), Rgb(30, 0, 40), seed);
    } else if (is("smiley6.jpg")) {
        out = cImage(w, h);
        FillPlasma(out, Rgb(30, 5, 40), Rgb(120, 30, 100), Rgb(40, 20, 10), 50.0f, seed);
        Smiley(out, w * 0.3f, h * 0.45f, 60, Rgb(250, 200, 80), Rgb(50, 0, 40), -1.0f);
        Smiley(out, w * 0.72f, h * 0.6f, 45, Rgb(250, 120, 200), Rgb(50, 0, 40), 1.0f);
    } else if (is("smiley7.jpg")) {
        out = Burst(w, h, Rgb(255, 250, 200), Rgb(255, 80, 200), seed, 9);
        Smiley(out, w * 0.5f, h * 0.5f, 60, Rgb(255, 240, 120), Rgb(90, 20, 60), 1.0f);
    } else if (is("lost.jpg")) {
        out = Static(w, h, Rgb(80, 220, 210), seed);
        Darken(out, 0.5f);
        GlowText(out, "SIGNAL LOST", FONT_MONO_BOLD, 34, w * 0.5f, 95, 140, Rgb(160, 255, 240), 1.0f, 5);
    } else if (is("tuner.jpg")) {
        out = cImage(w, h);
        float cx = w * 0.5f, cy = h * 0.5f;
        Ring(out, cx, cy, 90, 3, Rgb(90, 230, 220));
        for (int i = 0; i <= 30; ++i) {
            float a = kPi * (0.8f + 1.4f * i / 30.0f);
            float l = (i % 5) ? 8.0f : 16.0f;
            Line(out, cx + std::cos(a) * 80, cy + std::sin(a) * 80, cx + std::cos(a) * (80 - l), cy + std::sin(a) * (80 - l), 2, Rgb(160, 255, 240));
        }
        Line(out, cx, cy, cx + std::cos(kPi * 1.35f) * 70, cy + std::sin(kPi * 1.35f) * 70, 4, Rgb(255, 120, 200));
        Glow(out, cx, cy, 14, Rgb(200, 120, 255), 1.0f);
        DrawTextInBand(out, "88 . 6", FONT_MONO_BOLD, 20, cx, 160, 190, Rgb(160, 255, 240));
    } else if (is("main.jpg")) {
        out = Photograph(w, h, seed, Rgb(20, 10, 40), Rgb(70, 160, 170), Rgb(180, 220, 230), Rgb(5, 5, 15), Rgb(255, 255, 255), 0.55f, 0.35f, false);
        // An open hand reaching up from below: palm and five fingers.
        sRGB skin = Rgb(40, 30, 50);
        Disc(out, w * 0.5f, h * 0.82f, 46, skin);
        for (int i = 0; i < 5; ++i) {
            float a = kPi * (1.15f + 0.18f * i);
            if (i == 0) a = kPi * 0.95f;
            Line(out, w * 0.5f + std::cos(a) * 30, h * 0.8f + std::sin(a) * 30, w * 0.5f + std::cos(a) * 95, h * 0.8f + std::sin(a) * 90, 16, skin);
        }
    } else if (name.compare(0, 6, "trav3_") == 0) {
        int k = name[6] - '1';
        if (k == 4) { // the band that crosses the screen
            out = cImage(w, h);
            for (int x = 0; x < w; ++x) {
                float fade = std::min(1.0f, std::min(x, w - 1 - x) / 60.0f);
                for (int y = 0; y < h; ++y) {
                    float d = (y - h * 0.5f) / (h * 0.5f);
                    float v = std::exp(-d * d * 6) * fade * (0.7f + 0.3f * Fbm(x / 25.0f, y / 10.0f, seed, 3));
                    out.At(x, y) = Scale(Rgb(255, 170, 110), v);
                }
            }
            GlowText(out, "GONE BEFORE DAWN", FONT_SANS_BOLD, 30, w * 0.5f, 12, h - 12, Rgb(255, 240, 220), 0.8f, 4);
        } else if (k == 6) { // colour-dodge nebula, tall enough for the 320 x 240 crop at row 80
            out = cImage(w, h);
            FillPlasma(out, Rgb(30, 5, 0), Rgb(160, 60, 20), Rgb(60, 20, 80), 55.0f, seed);
            Glow(out, w * 0.5f, h * 0.6f, 60, Rgb(255, 160, 80), 0.5f);
            Darken(out, 0.75f);
        } else {
            out = TravelFrame(w, h, k, seed);
        }
    } else if (is("halo.jpg")) {
        out = cImage(w, h);
        Ring(out, w * 0.5f, h * 0.5f, 55, 8, Rgb(230, 190, 255));
        BoxBlur(out, 4);
        Ring(out, w * 0.5f, h * 0.5f, 55, 3, Rgb(255, 240, 200));
        Glow(out, w * 0.5f, h * 0.5f, 20, Rgb(255, 210, 120), 0.9f);
    } else if (is("forget.jpg")) {
        out = cImage(w, h);
        // The part puts the bottom-right corner at (365, 240): the right 45 columns are off screen.
        const float visible = (float)(w - 45);
        int size = FitTextSize("LET GO", FONT_SANS_BOLD, (int)visible - 12, h - 40, 36);
        GlowText(out, "LET GO", FONT_SANS_BOLD, size, visible * 0.5f, 25, 75, Rgb(255, 220, 140), 1.0f, 5);
    } else if (is("greed.jpg")) {
        out = cImage(w, h);
        FillPlasma(out, Rgb(50, 10, 70), Rgb(150, 110, 20), Rgb(90, 20, 60), 45.0f, seed);
        Darken(out, 0.8f);
    } else if (is("justry.jpg")) {
        // Chroma-keyed: the subject sits inside a wide, exactly black margin.
        out = cImage(w, h);
        Disc(out, w * 0.5f, h * 0.42f, 62, Rgb(230, 180, 70));
        Disc(out, w * 0.5f - 18, h * 0.36f, 22, Rgb(255, 240, 190));
        Ring(out, w * 0.5f, h * 0.42f, 75, 5, Rgb(170, 90, 220));
        DrawTextInBand(out, "JUST TRY", FONT_SANS_BOLD, 32, w * 0.5f, 182, 214, Rgb(255, 220, 140));
        BoxBlur(out, 1); // soft edges ring less in the JPEG
        CrushBlack(out, 0.05f);
    } else if (is("vellor4.jpg")) {
        out = Bloom(w, h, Rgb(160, 60, 255), Rgb(255, 220, 120), 7, seed);
    } else if (is("cry6.jpg")) {
        out = Photograph(w, h, seed, Rgb(2, 10, 40), Rgb(30, 90, 170), Rgb(120, 180, 240), Rgb(1, 4, 15), Rgb(220, 240, 255), 0.35f, 0.4f, true);
    } else if (is("cry2.jpg")) {
        out = Photograph(w, h, seed, Rgb(5, 20, 50), Rgb(40, 140, 200), Rgb(170, 220, 255), Rgb(2, 6, 20), Rgb(240, 250, 255), 0.7f, 0.55f, false);
    } else if (is("vampire.jpg")) {
        out = Photograph(w, h, seed, Rgb(15, 0, 25), Rgb(80, 20, 80), Rgb(140, 60, 120), Rgb(5, 0, 8), Rgb(255, 240, 255), 0.72f, 0.25f, true);
        Disc(out, w * 0.72f, h * 0.25f, 20, Rgb(255, 245, 250)); // the moon
    } else if (is("opa.jpg")) {
        out = Photograph(w, h, seed, Rgb(40, 10, 50), Rgb(200, 90, 160), Rgb(255, 180, 230), Rgb(15, 3, 20), Rgb(255, 230, 250), 0.4f, 0.5f, false);
    } else if (is("live.jpg")) {
        out = cImage(w, h);
        GlowText(out, "ALIVE", FONT_SANS_BOLD, 64, w * 0.5f, 80, 160, Rgb(255, 190, 250), 1.0f, 7);
        cRng rng(seed);
        for (int i = 0; i < 60; ++i) Glow(out, rng.Range(0, (float)w), rng.Range(0, (float)h), rng.Range(0.8f, 2.5f), Rgb(220, 150, 255), 0.8f);
    } else if (is("shadow.jpg")) {
        out = cImage(w, h);
        Glow(out, w * 0.5f, h * 0.55f, 30, Rgb(80, 110, 160), 0.8f);
        GlowText(out, "SHADE", FONT_SANS_BOLD, 40, w * 0.5f, 35, 85, Rgb(190, 210, 240), 1.0f, 6);
    } else if (is("gel4.jpg")) {
        out = Photograph(w, h, seed, Rgb(10, 40, 10), Rgb(120, 200, 60), Rgb(220, 250, 150), Rgb(4, 14, 3), Rgb(255, 255, 220), 0.5f, 0.3f, false);
    } else if (is("joys.jpg")) {
        out = cImage(w, h);
        GlowText(out, "BRIGHT HOURS", FONT_SANS_BOLD, 34, w * 0.5f, 35, 95, Rgb(230, 255, 150), 1.0f, 6);
    } else if (is("vellor3.jpg")) {
        out = Bloom(w, h, Rgb(80, 200, 40), Rgb(255, 255, 160), 5, seed);
    } else if (is("vellor2.jpg")) {
        out = Bloom(w, h, Rgb(200, 230, 40), Rgb(255, 250, 220), 3, seed);
    } else if (is("nolove.jpg")) {
        out = cImage(w, h);
        GlowText(out, "NOTHING LEFT", FONT_SANS_BOLD, 30, w * 0.5f, 25, 75, Rgb(255, 250, 170), 1.0f, 6);
    } else if (is("vodoo.bmp")) {
        out = Totem(w, h, seed);
    } else if (is("bigscroll.jpg")) {
        out = Scroller(w, h);
    } else {
        return false;
    }
    if (out.W() != w || out.H() != h) out = Resize(out, w, h);
    return true;
}

} // namespace mkd
