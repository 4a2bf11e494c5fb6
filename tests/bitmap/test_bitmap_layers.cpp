// The layer compositor: placement and clipping, the four merges with their
// shortcuts, animations and the record look-ups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "bitmap_test_util.h"
#include "qvn_BitmapLayers.h"

namespace {

uint32_t Noise(int x, int y) {
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 13;
    return h & 0xFFFFFF;
}

// A screen-format picture filled by fn.
template <class Fn>
void Make(qvn_cBitmap& b, int w, int h, int bpp, Fn fn) {
    ASSERT_TRUE(b.initBitmap(w, h, bpp));
    FillMaster(b, fn);
    ASSERT_TRUE(b.setNbpp(bpp));
}

// The destination sits inside a larger buffer whose margins must survive.
struct Screen {
    static constexpr int kGuard = 4096;
    static constexpr uint16_t kMark = 0xBEEF;
    int w, h;
    std::vector<uint16_t> buf;
    Screen(int width, int height, uint16_t fill) : w(width), h(height), buf(size_t(width * height + 2 * kGuard), kMark) {
        std::fill(buf.begin() + kGuard, buf.begin() + kGuard + width * height, fill);
    }
    uint16_t* pixels() { return buf.data() + kGuard; }
    uint16_t at(int x, int y) const { return buf[size_t(kGuard + y * w + x)]; }
    bool guardsIntact() const {
        for (int i = 0; i < kGuard; ++i)
            if (buf[size_t(i)] != kMark || buf[buf.size() - 1 - size_t(i)] != kMark) return false;
        return true;
    }
};

struct Fields {
    int rPos, rBits, gPos, gBits, bBits;
};
const Fields k565{11, 5, 5, 6, 5}, k555{10, 5, 5, 5, 5};

// Every pair of field values in one picture pair of 64 x 64: the source
// pixel at (x, y) has x in each of its fields, the destination pixel y (cut to
// the field's width).
bool FieldPairPictures(int bpp, qvn_cBitmap& src, qvn_cBitmap& dst) {
    const Fields& f = bpp == 16 ? k565 : k555;
    const int pos[3] = {f.rPos, f.gPos, 0}, bits[3] = {f.rBits, f.gBits, f.bBits};
    auto pack = [&](int v) {
        uint16_t p = 0;
        for (int c = 0; c < 3; ++c) p = uint16_t(p | ((v & ((1 << bits[c]) - 1)) << pos[c]));
        return p;
    };
    if (!src.initBitmap(64, 64, bpp) || !dst.initBitmap(64, 64, bpp)) return false;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            src.pixels16()[y * 64 + x] = pack(x);
            dst.pixels16()[y * 64 + x] = pack(y);
        }
    return true;
}

uint32_t SatAddReference(uint32_t d, uint32_t s, const Fields& f) {
    auto field = [](uint32_t p, int pos, int bits) { return (p >> pos) & ((1u << bits) - 1); };
    auto sat = [&](int pos, int bits) {
        return std::min((1u << bits) - 1, field(d, pos, bits) + field(s, pos, bits)) << pos;
    };
    return sat(f.rPos, f.rBits) | sat(f.gPos, f.gBits) | sat(0, f.bBits);
}

TEST(BitmapLayersColorDodgeTable, PiecewiseLinearBetweenPowersOfTwo) {
    qvn_cBitmapLayers layers;
    const int32_t* t = layers.m_pColorDodgeTable;
    EXPECT_EQ(t[0], 0x10000);
    EXPECT_EQ(t[127], 0x1FE00);
    EXPECT_EQ(t[128], 0x20000);
    EXPECT_EQ(t[192], 0x40000);
    EXPECT_EQ(t[224], 0x80000);
    EXPECT_EQ(t[254], 0x800000);
    EXPECT_EQ(t[255], 0x1000000);
    for (int i = 1; i < 256; ++i) EXPECT_GT(t[i], t[i - 1]) << i;
}

TEST(BitmapLayersPlacement, NegativeXSkipsTheFirstSourceColumns) {
    qvn_cBitmap pic;
    Make(pic, 320, 240, 16, Noise);
    qvn_cBitmapLayers layers;
    const int32_t id = layers.add(&pic);
    ASSERT_TRUE(layers.setPosX(id, -10.0f));
    Screen screen(320, 240, 0x1234);
    ASSERT_TRUE(layers.getMerged(screen.pixels(), 320, 240));
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 310; ++x) ASSERT_EQ(screen.at(x, y), pic.pixels16()[y * 320 + x + 10]);
        for (int x = 310; x < 320; ++x) ASSERT_EQ(screen.at(x, y), 0x1234);
    }
    EXPECT_TRUE(screen.guardsIntact());
}

TEST(BitmapLayersPlacement, NothingIsEverWrittenOutsideTheDestination) {
    qvn_cBitmap big, small;
    Make(big, 50, 40, 16, Noise);
    Make(small, 7, 5, 16, [](int, int) { return 0xFFFFFFu; });
    const float positions[][2] = {{-60, -50}, {-49.5f, -39.5f}, {-3, 2}, {0, 0}, {10, 20}, {29, 17}, {30, 18},
                                  {31, 19}, {100, 0}, {-6.9f, -4.9f}, {-7, -5}, {1e9f, 0}, {-1e20f, 3}, {NAN, 0}};
    const float scales[] = {0.0f, 0.5f, 1.0f, 3.0f};
    for (int fx = 0; fx < 4; ++fx)
        for (float scale : scales)
            for (const auto& pos : positions) {
                qvn_cBitmapLayers layers;
                layers.add(&big, fx, scale, scale, scale);
                const int32_t id = layers.add(&small, fx, scale, 1.0f, scale);
                layers.setPosXY(id, pos[0], pos[1]);
                layers.setPosXY(layers.add(&big, fx, scale, scale, scale), pos[1], pos[0]);
                Screen screen(31, 19, 0x4321);
                ASSERT_TRUE(layers.getMerged(screen.pixels(), 31, 19));
                ASSERT_TRUE(screen.guardsIntact()) << "fx " << fx << " at " << pos[0] << "," << pos[1];
            }
}

// Random layer stacks against a per-pixel model of placement and clipping
// (chromakey without the left column and bottom row of its clipped area).
TEST(BitmapLayersPlacement, RandomStacksMatchAPerPixelModel) {
    WithEachRowCopy([&] {
        uint32_t seed = 12345;
        auto next = [&](int n) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 8) % uint32_t(n));
        };
        qvn_cBitmap::buildFadingTables();  // this test may run alone, before any bitmap exists
        auto* f1 = qvn_cBitmap::m_pppArrayFadingValues;
        auto channelMix = [&](int fx, float scale, uint16_t sp, uint16_t dp) {
            if (scale == 1.0f && fx != QVN_FX_ADDITIVE) return sp;
            uint32_t out = 0;
            const int pos[3] = {11, 5, 0}, bits[3] = {5, 6, 5};
            for (int c = 0; c < 3; ++c) {
                const int drop = 8 - bits[c], mask = (1 << bits[c]) - 1;
                const int s8 = ((sp >> pos[c]) & mask) << drop, d8 = ((dp >> pos[c]) & mask) << drop;
                int o;
                if (fx == QVN_FX_ADDITIVE)
                    o = scale == 1.0f ? std::min(mask, ((sp >> pos[c]) & mask) + ((dp >> pos[c]) & mask)) << drop
                                      : qvn_cBitmap::m_pppArrayAdditiveValues[d8 >> 2][s8 >> 2][int(scale * 63.0f)];
                else
                    o = s8 + f1[s8 >> 2][d8 >> 2][int((1.0f - scale) * 63.0f)];
                out |= uint32_t(o >> drop) << pos[c];
            }
            return uint16_t(out);
        };
        for (int round = 0; round < 150; ++round) {
            const int sw = 1 + next(40), sh = 1 + next(30);
            std::vector<std::unique_ptr<qvn_cBitmap>> pics;
            qvn_cBitmapLayers layers;
            struct Placed {
                qvn_cBitmap* pic;
                int fx, x, y;
                float scale;
            };
            std::vector<Placed> placed;
            for (int l = 0; l < 4; ++l) {
                pics.push_back(std::make_unique<qvn_cBitmap>());
                const int w = 1 + next(30), h = 1 + next(20);
                Make(*pics.back(), w, h, 16, [&](int x, int y) { return next(5) == 0 ? 0u : Noise(x + l * 50, y); });
                const int fxs[3] = {QVN_FX_NORMAL, QVN_FX_ADDITIVE, QVN_FX_CHROMAKEY};
                const float scales[3] = {1.0f, 0.25f, 0.0f};
                Placed p{pics.back().get(), fxs[next(3)], next(80) - 40, next(60) - 30, scales[next(3)]};
                const int32_t id = layers.add(p.pic, p.fx, p.scale, p.scale, p.scale);
                // Fractional positions are cut toward zero, so -2.25 draws at -2.
                const float posX = float(p.x) + 0.75f * float(next(2));
                layers.setPosXY(id, posX, float(p.y));
                p.x = int(std::trunc(posX));
                placed.push_back(p);
            }
            Screen screen(sw, sh, 0x0841);
            std::vector<uint16_t> model(size_t(sw * sh), 0x0841);
            ASSERT_TRUE(layers.getMerged(screen.pixels(), sw, sh));
            for (const Placed& p : placed) {
                if (p.scale == 0.0f) continue;
                const int w = p.pic->m_nSizeX, h = p.pic->m_nSizeY;
                const int left = std::max(p.x, 0), bottom = std::min(p.y + h, sh) - 1;
                for (int Y = 0; Y < sh; ++Y)
                    for (int X = 0; X < sw; ++X) {
                        const int sx = X - p.x, sy = Y - p.y;
                        if (sx < 0 || sx >= w || sy < 0 || sy >= h) continue;
                        const uint16_t sp = p.pic->pixels16()[sy * w + sx];
                        if (p.fx == QVN_FX_CHROMAKEY && (X == left || Y == bottom || sp == 0)) continue;
                        uint16_t& dp = model[size_t(Y * sw + X)];
                        dp = channelMix(p.fx, p.scale, sp, dp);
                    }
            }
            for (int i = 0; i < sw * sh; ++i)
                ASSERT_EQ(screen.pixels()[i], model[size_t(i)]) << "round " << round << " pixel " << i;
            ASSERT_TRUE(screen.guardsIntact());
        }
    });
}

TEST(BitmapLayersNormalMerge, FullStrengthCopiesNoneKeepsHalfAverages) {
    qvn_cBitmap black, white;
    Make(black, 16, 8, 16, [](int, int) { return 0u; });
    Make(white, 16, 8, 16, [](int, int) { return 0xFFFFFFu; });
    qvn_cBitmapLayers layers;
    layers.add(&black);
    const int32_t id = layers.add(&white);
    Screen screen(16, 8, 0);
    ASSERT_TRUE(layers.getMerged(screen.pixels(), 16, 8));
    EXPECT_EQ(screen.at(5, 5), 0xFFFF);
    layers.setScaleRGB(id, 0.0f, 0.0f, 0.0f);
    ASSERT_TRUE(layers.getMerged(screen.pixels(), 16, 8));
    EXPECT_EQ(screen.at(5, 5), 0x0000);
    layers.setScaleRGB(id, 0.5f, 0.5f, 0.5f);
    ASSERT_TRUE(layers.getMerged(screen.pixels(), 16, 8));
    // k = 31: 248 + trunc(-62 * 31/63 * 4) = 126 on red and blue, 252 - 124 = 128 on green.
    const uint16_t p = screen.at(5, 5);
    EXPECT_EQ(p >> 11, 126 >> 3);
    EXPECT_EQ((p >> 5) & 63, 128 >> 2);
    EXPECT_EQ(p & 31, 126 >> 3);
}

TEST(BitmapLayersFadeMerges, EveryFieldPairAndStrengthMatchesTheTables) {
    WithEachRowCopy([&] {
        qvn_cBitmap::buildFadingTables();  // this test may run alone, before any bitmap exists
        auto* f1 = qvn_cBitmap::m_pppArrayFadingValues;
        auto* f2 = qvn_cBitmap::m_pppArrayAdditiveValues;
        for (int bpp : {15, 16}) {
            const Fields& f = bpp == 16 ? k565 : k555;
            const int pos[3] = {f.rPos, f.gPos, 0}, bits[3] = {f.rBits, f.gBits, f.bBits};
            qvn_cBitmap src, dst;
            ASSERT_TRUE(FieldPairPictures(bpp, src, dst));
            for (int fx : {QVN_FX_NORMAL, QVN_FX_CHROMAKEY, QVN_FX_ADDITIVE}) {
                for (int k = 0; k < 64; ++k) {
                    const int ks[3] = {k, (k + 21) % 64, (k + 42) % 64};
                    float sc[3];
                    for (int c = 0; c < 3; ++c)
                        sc[c] = fx == QVN_FX_ADDITIVE ? (float(ks[c]) + 0.5f) / 63.0f
                                                      : 1.0f - (float(ks[c]) + 0.5f) / 63.0f;
                    qvn_cBitmapLayers layers;
                    layers.setVisible(layers.add(&dst), 0);
                    layers.add(&src, fx, sc[0], sc[1], sc[2]);
                    Screen screen(64, 64, 0);
                    std::copy(dst.pixels16(), dst.pixels16() + 64 * 64, screen.pixels());
                    ASSERT_TRUE(layers.getMerged(screen.pixels(), 64, 64));
                    for (int y = 0; y < 64; ++y)
                        for (int x = 0; x < 64; ++x) {
                            const uint32_t sp = src.pixels16()[y * 64 + x], dp = dst.pixels16()[y * 64 + x];
                            uint32_t want = 0;
                            for (int c = 0; c < 3; ++c) {
                                const int drop = 8 - bits[c], mask = (1 << bits[c]) - 1;
                                const int s8 = int((sp >> pos[c]) & mask) << drop;
                                const int d8 = int((dp >> pos[c]) & mask) << drop;
                                const int o = fx == QVN_FX_ADDITIVE ? f2[d8 >> 2][s8 >> 2][ks[c]]
                                                                    : s8 + f1[s8 >> 2][d8 >> 2][ks[c]];
                                want |= uint32_t(o >> drop) << pos[c];
                            }
                            // Chromakey: holes, and the left column and bottom row it never covers.
                            if (fx == QVN_FX_CHROMAKEY && (sp == 0 || x == 0 || y == 63)) want = dp;
                            ASSERT_EQ(screen.at(x, y), want)
                                << "bpp " << bpp << " fx " << fx << " k " << k << " at " << x << "," << y;
                        }
                }
            }
        }
    });
}

// A bitmap merged into its own display copy, shifted by one pixel, gives what
// merging an untouched copy of it would give.
TEST(BitmapLayersFadeMerges, MergingIntoItsOwnPixelsReadsBeforeWriting) {
    for (int fx : {QVN_FX_NORMAL, QVN_FX_ADDITIVE, QVN_FX_COLORDODGE, QVN_FX_CHROMAKEY})
        for (float scale : {1.0f, 0.6f}) {
            qvn_cBitmap self, copy;
            Make(self, 40, 12, 16, [](int x, int y) { return (x * y) % 7 == 0 ? 0u : Noise(x, y); });
            ASSERT_TRUE(copy.copyFrom(&self));
            qvn_cBitmapLayers inPlace, separate;
            inPlace.setPosX(inPlace.add(&self, fx, scale, scale, scale), 1.0f);
            separate.setPosX(separate.add(&copy, fx, scale, scale, scale), 1.0f);
            std::vector<uint16_t> expected(copy.pixels16(), copy.pixels16() + 40 * 12);
            ASSERT_TRUE(separate.getMerged(expected.data(), 40, 12));
            ASSERT_TRUE(inPlace.getMerged(self.pixels16(), 40, 12));
            EXPECT_EQ(std::vector<uint16_t>(self.pixels16(), self.pixels16() + 40 * 12), expected)
                << "fx " << fx << " scale " << scale;
        }
}

TEST(BitmapLayersAdditiveMerge, FullStrengthSaturatesEachFieldOnItsOwn) {
    WithEachRowCopy([&] {
        // Every destination pixel against a spread of sources, in both formats.
        for (int bpp : {15, 16}) {
            const Fields& f = bpp == 16 ? k565 : k555;
            qvn_cBitmap dst, src;
            ASSERT_TRUE(dst.initBitmap(256, 256, bpp));
            ASSERT_TRUE(src.initBitmap(256, 256, bpp));
            qvn_cBitmapLayers layers;
            layers.add(&dst);
            layers.add(&src, QVN_FX_ADDITIVE);
            Screen screen(256, 256, 0);
            const uint16_t mask = bpp == 16 ? 0xFFFF : 0x7FFF;
            for (uint32_t round = 0; round < 24; ++round) {
                for (int i = 0; i < 65536; ++i) {
                    screen.pixels()[i] = uint16_t(i) & mask;
                    src.pixels16()[i] = uint16_t(Noise(i, int(round))) & mask;
                }
                if (round == 0)
                    for (int i = 0; i < 256; ++i) src.pixels16()[i] = mask;  // white onto everything
                // Only the additive layer: hide the background.
                layers.setVisible(layers.m_pBitmapLayersInfosList[0]->m_nID, 0);
                ASSERT_TRUE(layers.getMerged(screen.pixels(), 256, 256));
                for (int i = 0; i < 65536; ++i)
                    ASSERT_EQ(screen.pixels()[i], SatAddReference(uint32_t(i) & mask, src.pixels16()[i], f))
                        << "bpp " << bpp << " dst " << i << " src " << src.pixels16()[i];
                if (round == 0) {
                    for (int i = 0; i < 256; ++i) ASSERT_EQ(screen.pixels()[i], mask);
                }
            }
        }
    });
}

// Every pair of fields, full and partial strengths, both formats, against
// the dodge formulas over the table.
TEST(BitmapLayersColorDodgeMerge, EveryFieldPairMatchesTheDodgeFormulas) {
    WithEachRowCopy([&] {
        qvn_cBitmapLayers probe;
        const int32_t* t = probe.m_pColorDodgeTable;
        for (int bpp : {15, 16}) {
            const Fields& f = bpp == 16 ? k565 : k555;
            const int pos[3] = {f.rPos, f.gPos, 0}, bits[3] = {f.rBits, f.gBits, f.bBits};
            qvn_cBitmap src, dst;
            ASSERT_TRUE(FieldPairPictures(bpp, src, dst));
            const float strengths[][3] = {{1, 1, 1}, {0.6f, 0.3f, 1}, {0.02f, 0.99f, 0.5f}, {1, 1, 0.999f}};
            for (const auto& sc : strengths) {
                qvn_cBitmapLayers layers;
                layers.setVisible(layers.add(&dst), 0);
                layers.add(&src, QVN_FX_COLORDODGE, sc[0], sc[1], sc[2]);
                const bool full = sc[0] == 1 && sc[1] == 1 && sc[2] == 1;
                Screen screen(64, 64, 0);
                std::copy(dst.pixels16(), dst.pixels16() + 64 * 64, screen.pixels());
                ASSERT_TRUE(layers.getMerged(screen.pixels(), 64, 64));
                for (int i = 0; i < 64 * 64; ++i) {
                    const uint32_t sp = src.pixels16()[i], dp = dst.pixels16()[i];
                    uint32_t want = 0;
                    for (int c = 0; c < 3; ++c) {
                        const int drop = 8 - bits[c], mask = (1 << bits[c]) - 1;
                        const uint64_t s8 = ((sp >> pos[c]) & mask) << drop, d8 = ((dp >> pos[c]) & mask) << drop;
                        uint64_t field;
                        if (full && c == 2) {
                            field = std::min<uint64_t>(31, (uint64_t(t[s8]) * (dp & 31)) >> 16);
                        } else {
                            const uint64_t index = full ? s8 : (s8 * uint64_t(sc[c] * 65535.0f)) >> 16;
                            field = std::min<uint64_t>(255, (uint64_t(t[index]) * d8) >> 16) >> drop;
                        }
                        want |= uint32_t(field) << pos[c];
                    }
                    ASSERT_EQ(screen.pixels()[i], want) << "bpp " << bpp << " strength " << sc[0] << "," << sc[1] << ","
                                                        << sc[2] << " pixel " << i;
                }
            }
        }
    });
}

TEST(BitmapLayersChromakeyMerge, ZeroIsTransparentAndTheLeftColumnAndBottomRowStay) {
    WithEachRowCopy([&] {
        qvn_cBitmap key;
        Make(key, 10, 6, 16, [](int x, int y) { return (x + y) % 3 == 0 ? 0u : Noise(x, y) | 0x080808u; });
        qvn_cBitmap background;
        Make(background, 20, 12, 16, [](int, int) { return 0u; });
        for (float scale : {1.0f, 0.5f}) {
            qvn_cBitmapLayers layers;
            layers.add(&background);
            const int32_t id = layers.add(&key, QVN_FX_CHROMAKEY, scale, scale, scale);
            layers.setPosXY(id, 3.0f, 2.0f);
            layers.setVisible(layers.m_pBitmapLayersInfosList[0]->m_nID, 0);
            Screen screen(20, 12, 0x0841);
            ASSERT_TRUE(layers.getMerged(screen.pixels(), 20, 12));
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 20; ++x) {
                    const int kx = x - 3, ky = y - 2;
                    const bool inRect = kx >= 1 && kx < 10 && ky >= 0 && ky < 5;
                    const uint16_t s = (kx >= 0 && kx < 10 && ky >= 0 && ky < 6) ? key.pixels16()[ky * 10 + kx] : 0;
                    if (!inRect || s == 0)
                        ASSERT_EQ(screen.at(x, y), 0x0841) << x << "," << y;
                    else if (scale == 1.0f)
                        ASSERT_EQ(screen.at(x, y), s) << x << "," << y;
                    else
                        ASSERT_NE(screen.at(x, y), 0x0841) << x << "," << y;
                }
        }
    });
}

TEST(BitmapLayersChromakeyMerge, ClippedRectangleLosesItsOwnLeftColumn) {
    qvn_cBitmap key;
    Make(key, 8, 4, 16, [](int, int) { return 0xFFFFFFu; });
    qvn_cBitmapLayers layers;
    layers.add(&key);
    const int32_t id = layers.add(&key, QVN_FX_CHROMAKEY);
    layers.setVisible(layers.m_pBitmapLayersInfosList[0]->m_nID, 0);
    layers.setPosX(id, -3.0f);
    Screen screen(8, 8, 0);
    ASSERT_TRUE(layers.getMerged(screen.pixels(), 8, 8));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(screen.at(x, y), (x >= 1 && x < 5 && y < 3) ? 0xFFFF : 0) << x << "," << y;
}

TEST(BitmapLayersAnimation, PlayOnceShowsEachFrameThenNothing) {
    qvn_cBitmap frames[10];
    qvn_cBitmapList list;
    for (auto& f : frames) list.add(&f);
    qvn_cBitmapLayers layers;
    const int32_t id = layers.add(&list, QVN_ANIM_ONCE);
    SBitmapLayer* layer = layers.getBitmapLayer(id);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->m_pBitmap, &frames[0]);
    for (int i = 1; i < 10; ++i) {
        ASSERT_TRUE(layers.updateLayersAnims(1.0f));
        EXPECT_EQ(layer->m_pBitmap, &frames[i]);
        EXPECT_EQ(layers.getBitmap(id), &frames[i]);
    }
    ASSERT_TRUE(layers.updateLayersAnims(1.0f));
    EXPECT_EQ(layer->m_pBitmap, nullptr);
    // An ended animation is simply not drawn.
    Screen screen(4, 4, 7);
    qvn_cBitmap bg;
    Make(bg, 4, 4, 16, [](int, int) { return 0u; });
    layers.moveTo(layers.add(&bg), 0);
    layers.setVisible(layers.m_pBitmapLayersInfosList[1]->m_nID, 0);
    EXPECT_TRUE(layers.getMerged(screen.pixels(), 4, 4));
    EXPECT_EQ(screen.at(0, 0), 7);
}

TEST(BitmapLayersAnimation, LoopRestartsAtTheFirstFrame) {
    qvn_cBitmap frames[3];
    qvn_cBitmapList list;
    for (auto& f : frames) list.add(&f);
    qvn_cBitmapLayers layers;
    const int32_t id = layers.add(&list, QVN_ANIM_LOOP);
    std::vector<int> seen;
    for (int i = 0; i < 7; ++i) {
        layers.updateLayersAnims(1.0f);
        seen.push_back(int(layers.getBitmapLayer(id)->m_pBitmap - frames));
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1, 2, 0, 1}));
}

TEST(BitmapLayersAnimation, PingPongTurnsAtBothEnds) {
    qvn_cBitmap frames[3];
    qvn_cBitmapList list;
    for (auto& f : frames) list.add(&f);
    qvn_cBitmapLayers layers;
    const int32_t id = layers.add(&list, QVN_ANIM_PINGPONG);
    std::vector<int> seen;
    for (int i = 0; i < 10; ++i) {
        layers.updateLayersAnims(1.0f);
        seen.push_back(int(layers.getBitmapLayer(id)->m_pBitmap - frames));
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 2, 1, 0, 0, 1, 2, 2, 1}));
}

TEST(BitmapLayersAnimation, PingPongDirectionBelongsToEachLayer) {
    qvn_cBitmap frames[3];
    qvn_cBitmapList list;
    for (auto& f : frames) list.add(&f);
    // The first compositor is left running backwards...
    qvn_cBitmapLayers first;
    const int32_t a = first.add(&list, QVN_ANIM_PINGPONG);
    for (int i = 0; i < 3; ++i) first.updateLayersAnims(1.0f);
    EXPECT_EQ(first.getBitmapLayer(a)->m_nAnimDir, -1);
    // ...which must not make another one start backwards, nor a second layer
    // of the same compositor.
    qvn_cBitmapLayers second;
    const int32_t b = second.add(&list, QVN_ANIM_PINGPONG);
    second.updateLayersAnims(0.5f);
    EXPECT_FLOAT_EQ(second.getBitmapLayer(b)->m_fAnimPos, 0.5f);
    const int32_t c = first.add(&list, QVN_ANIM_PINGPONG);
    first.updateLayersAnims(1.0f);
    EXPECT_FLOAT_EQ(first.getBitmapLayer(c)->m_fAnimPos, 1.0f);
    EXPECT_FLOAT_EQ(first.getBitmapLayer(a)->m_fAnimPos, 1.0f);
}

TEST(BitmapLayersOrder, DrawLastPaintsTheLayerOverEveryOther) {
    qvn_cBitmap white(2, 2, 16), black(2, 2, 16);
    white.fadePixels(1.0f, 1.0f, 1.0f, 1.0f);
    qvn_cBitmapLayers layers;
    const int32_t w = layers.add(&white);
    layers.add(&black);
    uint16_t out[4] = {};
    ASSERT_TRUE(layers.getMerged(out, 2, 2));
    EXPECT_EQ(out[0], 0);
    ASSERT_TRUE(layers.drawLast(w));
    ASSERT_TRUE(layers.getMerged(out, 2, 2));
    EXPECT_EQ(out[3], 0xFFFF);
    EXPECT_FALSE(layers.drawLast(12345));
}

TEST(BitmapLayersLookups, UnknownIdsGiveNeutralResultsAndTheirMessages) {
    CapturedLog log;
    qvn_cBitmapLayers layers;
    EXPECT_EQ(layers.getBitmapLayer(3), nullptr);
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getBitmapLayer() : No Layer.\n"));
    EXPECT_FALSE(layers.updateLayersAnims(1.0f));
    uint16_t pixel = 0;
    EXPECT_FALSE(layers.getMerged(&pixel, 1, 1));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getMerged() : No Layer.\n"));
    qvn_cBitmap pic(4, 4, 16);
    const int32_t id = layers.add(&pic, QVN_FX_ADDITIVE, 0.5f, -2.0f, 9.0f);
    EXPECT_EQ(layers.getScaleR(id), 0.5f);
    EXPECT_EQ(layers.getBitmapLayer(id)->m_fScaleG, 0.0f);
    EXPECT_EQ(layers.getBitmapLayer(id)->m_fScaleB, 9.0f);
    EXPECT_EQ(layers.getBitmapLayer(id)->m_eFX, QVN_FX_ADDITIVE);
    EXPECT_EQ(layers.getVisible(id), 1);
    EXPECT_EQ(layers.getScaleR(id + 1000), -1.0f);
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getBitmapLayer() : Can't get BitmapList with ID <" +
                        std::to_string(id + 1000) + ">.\n"));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getScaleR() : Can't get UserData associated with layer ID <" +
                        std::to_string(id + 1000) + ">.\n"));
    EXPECT_FALSE(layers.setPosXY(id + 1000, 1.0f, 1.0f));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::setPosXY() : Can't get UserData associated with layer ID <" +
                        std::to_string(id + 1000) + ">.\n"));
    EXPECT_EQ(layers.getVisible(id + 1000), 0);
    EXPECT_EQ(layers.getPosX(id + 1000), -1.0f);
    EXPECT_EQ(layers.add(nullptr), -1);
    EXPECT_EQ(layers.m_nNbLayers, 1);
    EXPECT_EQ(layers.add(static_cast<qvn_cBitmapList*>(nullptr), QVN_ANIM_LOOP), -1);
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::add() : pBitmapList in NULL Ptr.\n"));
    qvn_cBitmapList empty;
    EXPECT_EQ(layers.add(&empty, QVN_ANIM_LOOP), -1);
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::add() : Can't get first bitmap in bitmapList.\n"));
}

TEST(BitmapLayersMerge, BackgroundAndLayerFailuresAreReported) {
    CapturedLog log;
    qvn_cBitmap truecolour(4, 4, 32), screenFormat(4, 4, 16);
    qvn_cBitmapLayers layers;
    const int32_t bg = layers.add(&truecolour);
    uint16_t pixels[16] = {};
    EXPECT_FALSE(layers.getMerged(nullptr, 4, 4));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getMerged() : Parameter1 is a NULL ptr.\n"));
    EXPECT_FALSE(layers.getMerged(pixels, 4, 4));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getMerged() : pSrcBitmapLayer is in <32> bpp.\n"));
    // With a screen-format background the 32-bit layer fails alone and the
    // others are still drawn.
    const int32_t good = layers.add(&screenFormat, QVN_FX_NORMAL, 1, 1, 1, 0);
    EXPECT_NE(layers.m_pBitmapList->getFirst(), &screenFormat);  // position 0 of one entry is its end
    ASSERT_TRUE(layers.moveTo(good, 0));
    const int32_t odd = layers.add(&screenFormat, 7);
    screenFormat.pixels16()[5] = 0x1234;
    EXPECT_TRUE(layers.getMerged(pixels, 4, 4));
    EXPECT_EQ(pixels[5], 0x1234);
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::normal_merge() : pSrcBitmapLayer is in <32> bpp.\n"));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getMerged() : Layer with ID <" + std::to_string(bg) +
                        "> hasn't been added to background (normal mode).\n"));
    EXPECT_TRUE(log.Has("qvn_cBitmapLayers::getMerged() : Layer with ID <" + std::to_string(odd) +
                        "> uses unknown FX <7>.\n"));
}

TEST(BitmapLayersMerge, RemovedLayersAreNoLongerDrawn) {
    qvn_cBitmap bg, top;
    Make(bg, 4, 4, 16, [](int, int) { return 0u; });
    Make(top, 4, 4, 16, [](int, int) { return 0xFFFFFFu; });
    qvn_cBitmapLayers layers;
    layers.add(&bg);
    const int32_t id = layers.add(&top);
    layers.remove(id);
    EXPECT_EQ(layers.m_nNbLayers, 1);
    EXPECT_EQ(layers.getBitmapLayer(id), nullptr);
    uint16_t pixels[16];
    std::fill(pixels, pixels + 16, 0x5555);
    ASSERT_TRUE(layers.getMerged(pixels, 4, 4));
    EXPECT_EQ(pixels[0], 0);
}

TEST(BitmapLayersMerge, MoveChangesTheBackgroundNotTheDrawingOrder) {
    qvn_cBitmap a, b;
    Make(a, 2, 2, 16, [](int, int) { return 0xFF0000u; });
    Make(b, 2, 2, 16, [](int, int) { return 0x0000FFu; });
    qvn_cBitmapLayers layers;
    layers.add(&a);
    const int32_t idB = layers.add(&b);
    ASSERT_TRUE(layers.moveTo(idB, 0));
    EXPECT_EQ(layers.m_pBitmapList->getFirst(), &b);
    uint16_t pixels[4] = {};
    ASSERT_TRUE(layers.getMerged(pixels, 2, 2));
    EXPECT_EQ(pixels[0], 0x001F);  // b is still drawn last
}

}  // namespace
