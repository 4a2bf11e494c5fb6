// Per-frame effects: fading tables, blurs, fades and zoom, checked against
// straightforward per-pixel references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bitmap_test_util.h"
#include "qvn_BitmapFilters.h"

namespace {

uint32_t Noise(int x, int y) {
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h & 0xFFFFFF;
}

uint32_t Channel(uint32_t p, int c) { return (p >> (16 - 8 * c)) & 0xFF; }

uint32_t PackAs(int eBpp, uint32_t r, uint32_t g, uint32_t b) {
    const uint32_t p = Rgb(r, g, b);
    return eBpp == 15 ? qvn_Rgb32To555(p) : eBpp == 16 ? qvn_Rgb32To565(p) : p;
}

uint32_t DisplayAt(const qvn_cBitmap& b, size_t i) { return b.m_eBpp <= 16 ? b.pixels16()[i] : b.pixels32()[i]; }

// Fills the display copy with a value no effect produces from these pictures,
// so a pixel an effect forgot shows up.
void Poison(qvn_cBitmap& b) { std::memset(b.m_pBitmapPixels, 0xA5, size_t(b.m_nBytesPerLine) * b.m_nSizeY); }

TEST(BitmapFadingTables, MatchTheirFormula) {
    qvn_cBitmap b(1, 1, 32);  // the first bitmap builds them
    auto* f1 = qvn_cBitmap::m_pppArrayFadingValues;
    auto* f2 = qvn_cBitmap::m_pppArrayAdditiveValues;
    ASSERT_NE(f1, nullptr);
    ASSERT_NE(f2, nullptr);
    const uint32_t bits = 0x3C820821;  // 1/63 rounded to single precision
    float oneOver63;
    std::memcpy(&oneOver63, &bits, 4);
    for (int i = 0; i < 64; ++i)
        for (int j = 0; j < 64; ++j)
            for (int k = 0; k < 64; ++k) {
                const double t = k * static_cast<double>(oneOver63);
                const long d = static_cast<long>((j - i) * t * 4.0);
                double s = (i + j * t) * 4.0;
                const long a = static_cast<long>(s < 0 ? 0 : s > 255 ? 255 : s);
                ASSERT_EQ(f1[i][j][k], d) << i << " " << j << " " << k;
                ASSERT_EQ(f2[i][j][k], a) << i << " " << j << " " << k;
            }
    // Full strength overshoots 1 by a hair, so the ends land exactly.
    EXPECT_EQ(f1[0][63][63], 252);
    EXPECT_EQ(f1[63][0][63], -252);
    EXPECT_EQ(f1[0][63][31], 124);
    EXPECT_EQ(f2[63][63][63], 255);
    EXPECT_EQ(f2[10][63][0], 40);
}

// The effects and merges compute the tables' values instead of looking them
// up; every 8-bit pair at every strength must agree with the tables.
TEST(BitmapFadingTables, ArithmeticFormMatchesEveryEntry) {
    qvn_cBitmap b(1, 1, 32);
    auto* f1 = qvn_cBitmap::m_pppArrayFadingValues;
    auto* f2 = qvn_cBitmap::m_pppArrayAdditiveValues;
    for (int k = 0; k < 64; ++k) {
        const qvn_SFadeMul m = qvn_FadeMuls()[k];
        for (int a = 0; a < 256; ++a)
            for (int t = 0; t < 256; ++t)
                ASSERT_EQ(qvn_FadeTowards(uint16_t(a), uint16_t(t), m), a + f1[a >> 2][t >> 2][k])
                    << "a " << a << " towards " << t << " k " << k;
        for (int i = 0; i < 64; ++i)
            for (int j = 0; j < 64; ++j)
                ASSERT_EQ(std::min(255, 4 * i + qvn_FadeQuotient(uint16_t(j), m)), f2[i][j][k]) << i << " " << j;
    }
}

TEST(BitmapBlurWindows, FastWindowIsAPowerOfTwo) {
    EXPECT_EQ(qvn_FastBlurShift(0), 1);
    EXPECT_EQ(qvn_FastBlurShift(3), 1);
    EXPECT_EQ(qvn_FastBlurShift(4), 2);
    EXPECT_EQ(qvn_FastBlurShift(5), 2);
    EXPECT_EQ(qvn_FastBlurShift(7), 2);
    EXPECT_EQ(qvn_FastBlurShift(8), 3);
    EXPECT_EQ(qvn_FastBlurShift(15), 3);
    EXPECT_EQ(qvn_FastBlurShift(-5), 1);
    EXPECT_EQ(qvn_BlurWindow(0), 2);
    EXPECT_EQ(qvn_BlurWindow(7), 6);
}

// out[i] = sum(master[i - h .. i - h + w - 1]) / w, over the range every
// window lies inside the picture taken as one run of pixels.
void CheckHorizontal(const qvn_cBitmap& b, int w, bool byShift) {
    const int n = b.m_nSizeX * b.m_nSizeY, h = w / 2;
    for (int i = h; i <= n - w - 1; ++i) {
        uint32_t sum[3] = {0, 0, 0};
        for (int j = i - h; j < i - h + w; ++j)
            for (int c = 0; c < 3; ++c) sum[c] += Channel(b.m_p32bitsPixels[j], c);
        uint32_t v[3];
        for (int c = 0; c < 3; ++c) v[c] = byShift ? sum[c] >> int(std::log2(w)) : sum[c] / uint32_t(w);
        ASSERT_EQ(DisplayAt(b, size_t(i)), PackAs(b.m_eBpp, v[0], v[1], v[2])) << "pixel " << i << " window " << w;
    }
}

TEST(BitmapHorizontalBlur, FastMatchesTheDirectSumForManyWindows) {
    for (int bpp : {15, 16, 32}) {
        qvn_cBitmap b(37, 9, bpp);
        FillMaster(b, Noise);
        for (int radius : {0, 1, 2, 5, 8, 19, 64}) {
            Poison(b);
            b.horizontalBlurFast(radius);
            CheckHorizontal(b, 1 << qvn_FastBlurShift(radius), true);
        }
    }
}

TEST(BitmapHorizontalBlur, EvenWindowMatchesTheDirectSum) {
    for (int bpp : {16, 24}) {
        qvn_cBitmap b(41, 7, bpp);
        FillMaster(b, Noise);
        for (int radius : {0, 2, 3, 6, 11, 30}) {
            Poison(b);
            b.horizontalBlur(radius);
            CheckHorizontal(b, qvn_BlurWindow(radius), false);
        }
    }
}

TEST(BitmapHorizontalBlur, WindowRunsAcrossRowEnds) {
    qvn_cBitmap b(8, 3, 32);
    b.m_p32bitsPixels[8] = 0xFFFFFF;  // first pixel of row 1
    b.horizontalBlurFast(5);          // window 4: pixels 7 .. 10 see it
    for (int i = 0; i < 24; ++i) EXPECT_EQ(b.pixels32()[i], (i >= 7 && i <= 10) ? 0x3F3F3Fu : 0u) << i;
}

TEST(BitmapHorizontalBlur, EdgesOfTheRunAreFilledNotLeftStale) {
    // A uniform picture must stay uniform everywhere, including the first
    // half window and the last window the blur's main range leaves out.
    for (int bpp : {15, 16, 32}) {
        qvn_cBitmap b(16, 4, bpp);
        FillMaster(b, [](int, int) { return Rgb(0x40, 0x80, 0xC8); });
        for (int radius : {0, 9, 200}) {
            Poison(b);
            b.horizontalBlurFast(radius);
            for (int i = 0; i < 64; ++i) ASSERT_EQ(DisplayAt(b, size_t(i)), PackAs(bpp, 0x40, 0x80, 0xC8)) << i;
            Poison(b);
            b.horizontalBlur(radius + 2);
            for (int i = 0; i < 64; ++i) ASSERT_EQ(DisplayAt(b, size_t(i)), PackAs(bpp, 0x40, 0x80, 0xC8)) << i;
        }
    }
}

TEST(BitmapVerticalBlur, WhiteLineSpreadsOverFourRowsAndWraps) {
    qvn_cBitmap b(4, 10, 32);
    FillMaster(b, [](int, int y) { return y == 0 ? 0xFFFFFFu : 0u; });
    b.verticalBlurFast(4);  // rows r - 2 .. r + 1
    for (int y = 0; y < 10; ++y) {
        const bool lit = y == 9 || y == 0 || y == 1 || y == 2;
        for (int x = 0; x < 4; ++x) EXPECT_EQ(b.pixels32()[y * 4 + x], lit ? 0x3F3F3Fu : 0u) << y;
    }
}

TEST(BitmapVerticalBlur, MatchesCyclicColumnSums) {
    for (int bpp : {16, 32}) {
        for (int height : {1, 3, 12}) {
            qvn_cBitmap b(300, height, bpp);  // wider than one strip of columns
            FillMaster(b, Noise);
            for (int radius : {0, 4, 9, 33}) {
                Poison(b);
                b.verticalBlurFast(radius);
                const int s = qvn_FastBlurShift(radius), w = 1 << s, h = w / 2;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < 300; ++x) {
                        uint32_t sum[3] = {0, 0, 0};
                        for (int r = y - h; r < y - h + w; ++r) {
                            const int row = ((r % height) + height) % height;
                            for (int c = 0; c < 3; ++c) sum[c] += Channel(b.m_p32bitsPixels[row * 300 + x], c);
                        }
                        ASSERT_EQ(DisplayAt(b, size_t(y) * 300 + x),
                                  PackAs(bpp, sum[0] >> s, sum[1] >> s, sum[2] >> s))
                            << "h " << height << " radius " << radius << " at " << x << "," << y;
                    }
            }
        }
    }
}

TEST(BitmapBlur, MissingBuffersAreReported) {
    CapturedLog log;
    qvn_cBitmap b(2, 2, 16);
    b.release();
    b.horizontalBlurFast(4);
    b.verticalBlurFast(4);
    EXPECT_TRUE(log.Has("qvn_cBitmap::horizontalBlurFast() : pixels Ptr are NULL Ptrs.\n"));
    EXPECT_TRUE(log.Has("qvn_cBitmap::verticalBlurFast() : pixels Ptr are NULL Ptrs.\n"));
}

TEST(BitmapFadeToColour, EndpointsAndTheTableInBetween) {
    qvn_cBitmap b(256, 1, 32);
    FillMaster(b, [](int x, int) { return Rgb(uint32_t(x), uint32_t(255 - x), uint32_t(x ^ 0x5A)); });
    b.fadePixels(1.0f, 1.0f, 1.0f, 1.0f);
    for (int x = 0; x < 256; ++x) {
        const uint32_t p = b.m_p32bitsPixels[x];
        for (int c = 0; c < 3; ++c) ASSERT_EQ(Channel(b.pixels32()[x], c), 252 + (Channel(p, c) & 3)) << x;
    }
    b.fadePixels(0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(std::memcmp(b.pixels32(), b.m_p32bitsPixels, 256 * 4), 0);
    // Out-of-range arguments are clamped, not used as table indices.
    b.fadePixels(-3.0f, 7.0f, NAN, 2.0f);
    for (int x = 0; x < 256; ++x) {
        const uint32_t p = b.m_p32bitsPixels[x];
        ASSERT_EQ(Channel(b.pixels32()[x], 0), Channel(p, 0) & 3);
        ASSERT_EQ(Channel(b.pixels32()[x], 1), 252 + (Channel(p, 1) & 3));
        ASSERT_EQ(Channel(b.pixels32()[x], 2), Channel(p, 2) & 3);
    }
    // In between: c + F1[c >> 2][target][k] on each channel.
    auto* f1 = qvn_cBitmap::m_pppArrayFadingValues;
    b.fadePixels(0.25f, 0.5f, 0.75f, 0.4f);
    const int t[3] = {15, 31, 47}, k = 25;
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 3; ++c) {
            const int v = int(Channel(b.m_p32bitsPixels[x], c));
            ASSERT_EQ(int(Channel(b.pixels32()[x], c)), v + f1[v >> 2][t[c]][k]) << x << " channel " << c;
        }
}

TEST(BitmapFadeToColour, SixteenBitOutputDropsLowBits) {
    qvn_cBitmap b(1, 1, 16);
    b.m_p32bitsPixels[0] = Rgb(0, 0, 0);
    b.fadePixels(1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(b.pixels16()[0], qvn_Rgb32To565(Rgb(252, 252, 252)));
}

TEST(BitmapFadeToBitmap, HalfWayBetweenBlackAndWhiteIsMidGrey) {
    CapturedLog log;
    qvn_cBitmap black(8, 4, 16), white(8, 6, 16);
    FillMaster(white, [](int, int) { return 0xFFFFFFu; });
    black.fadePixels(&white, 0.5f);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(black.pixels16()[i], qvn_Rgb32To565(Rgb(124, 124, 124)));
    black.fadePixels(&white, 1.0f);
    EXPECT_EQ(black.pixels16()[0], qvn_Rgb32To565(Rgb(252, 252, 252)));
    qvn_cBitmap narrow(4, 4, 16);
    black.fadePixels(&narrow, 0.5f);
    EXPECT_TRUE(log.Has("qvn_cBitmap::fadePixels() : pDstBitmap sizeX isn't in the same size than this ptr.\n"));
    black.fadePixels(nullptr, 0.5f);
    EXPECT_TRUE(log.Has("qvn_cBitmap::fadePixels() : pDstBitmap is NULL Ptr.\n"));
}

TEST(BitmapFadeToBitmap, ShorterTargetOnlyFadesTheRowsBothHave) {
    qvn_cBitmap a(4, 6, 32), b(4, 2, 32);
    FillMaster(b, [](int, int) { return 0xFFFFFFu; });
    Poison(a);
    a.fadePixels(&b, 1.0f);
    EXPECT_EQ(a.pixels32()[7], 0xFCFCFCu);
    EXPECT_EQ(a.pixels32()[8], 0xA5A5A5A5u);  // row 2 onwards untouched
}

// The blurs, fades and zooms give the same pixels in their plain and AVX2 copies, in
// every format, on pictures whose size is no multiple of any vector width.
TEST(BitmapEffects, PlainAndVectorCopiesGiveTheSamePixels) {
    for (int bpp : {15, 16, 32}) {
        qvn_cBitmap a(333, 7, bpp), b(333, 7, bpp);
        FillMaster(a, Noise);
        FillMaster(b, [](int x, int y) { return Noise(y * 7 + 3, x); });
        const size_t bytes = size_t(333 * 7) * (bpp == 32 ? 4 : 2);
        std::vector<std::vector<uint8_t>> results[2];
        for (bool plain : {true, false}) {
            if (!qvn_ForceGenericBitmapRows(plain) && !plain) break;
            auto keep = [&] {
                const uint8_t* p = reinterpret_cast<const uint8_t*>(bpp == 32 ? static_cast<const void*>(a.pixels32())
                                                                             : static_cast<const void*>(a.pixels16()));
                results[plain ? 0 : 1].emplace_back(p, p + bytes);
            };
            for (int radius : {0, 5, 19, 700}) {
                a.horizontalBlurFast(radius);
                keep();
                a.horizontalBlur(radius + 2);
                keep();
            }
            for (float amount : {0.1f, 0.5f, 0.97f}) {
                a.fadePixels(0.2f, 0.9f, 0.5f, amount);
                keep();
                a.fadePixels(&b, amount);
                keep();
            }
            for (float z : {1.7f, 0.6f, 2.0f}) {
                a.zoom(z, z * 0.9f);
                keep();
            }
        }
        qvn_ForceGenericBitmapRows(false);
        if (results[1].empty()) GTEST_SKIP() << "no AVX2 copies on this processor";
        ASSERT_EQ(results[0].size(), results[1].size());
        for (size_t i = 0; i < results[0].size(); ++i)
            EXPECT_EQ(results[0][i], results[1][i]) << "bpp " << bpp << " step " << i;
    }
}

TEST(BitmapZoom, TwoShowsTheCentreEnlarged) {
    qvn_cBitmap b(320, 240, 16);
    FillMaster(b, Noise);
    b.zoom(2.0f, 2.0f);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(b.pixels16()[y * 320 + x], qvn_Rgb32To565(Noise(80 + x / 2, 60 + y / 2))) << x << "," << y;
    // Negative factors zoom by their size.
    Poison(b);
    b.zoom(-2.0f, 2.0f);
    EXPECT_EQ(b.pixels16()[0], qvn_Rgb32To565(Noise(80, 60)));
    // A picture wider than the column table the zoom keeps on the stack
    // takes the other way through, to the same pixels.
    qvn_cBitmap wide(2100, 6, 16);
    FillMaster(wide, Noise);
    wide.zoom(2.0f, 2.0f);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 2100; ++x)
            ASSERT_EQ(wide.pixels16()[y * 2100 + x], qvn_Rgb32To565(Noise(525 + x / 2, 1 + y / 2))) << x << "," << y;
}

TEST(BitmapZoom, HalfDrawsTheWholePictureInTheMiddleAndKeepsTheBorder) {
    qvn_cBitmap b(320, 240, 32);
    FillMaster(b, Noise);
    Poison(b);
    b.zoom(0.5f, 0.5f);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool inside = x >= 80 && x < 240 && y >= 60 && y < 180;
            const uint32_t want = inside ? Noise((x - 80) * 2, (y - 60) * 2) : 0xA5A5A5A5u;
            ASSERT_EQ(b.pixels32()[y * 320 + x], want) << x << "," << y;
        }
}

TEST(BitmapZoom, OneCopiesAndZeroClearsWithoutReallocating) {
    qvn_cBitmap b(9, 5, 15);
    FillMaster(b, Noise);
    uint8_t* display = b.m_pBitmapPixels;
    b.zoom(1.0f, 1.0f);
    EXPECT_EQ(b.m_pBitmapPixels, display);
    for (int i = 0; i < 45; ++i) EXPECT_EQ(b.pixels16()[i], qvn_Rgb32To555(Noise(i % 9, i / 9)));
    b.zoom(0.0f, 3.0f);
    for (int i = 0; i < 45; ++i) EXPECT_EQ(b.pixels16()[i], 0);
    // Extreme factors neither crash nor leave the picture.
    b.zoom(1e-30f, 1e30f);
    b.zoom(INFINITY, NAN);
    b.zoom(1e30f, 1e30f);
    b.zoom(0.01f, 0.99f);
}

}  // namespace
