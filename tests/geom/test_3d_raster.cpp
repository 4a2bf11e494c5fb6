// Clipper, span fillers, materials, the texture cache and the shade tables:
// what ends up in the 16-bit surface for a face.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "qvn_Display_capture.h"
#include "qvn_Png.h"
#include "qvn_TestScene.h"
#include "qvn_TestSoftRender.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cPalette.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

namespace {

constexpr int W = 320, H = 240;

// Repeatable pseudo-random floats in [lo, hi).
struct SRandom {
    uint32_t seed;
    float operator()(float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
    }
};

// The screen point a scene gives a vertex in front of the near plane (at 1);
// one behind keeps what it had.
void ProjectInFront(const qvn_cCamera& cam, qvn_cVertex& v) {
    if (v.m_CamPos.y < 1.0f) return;
    v.m_Screen.x = 160 + cam.m_fFocal * v.m_CamPos.x / v.m_CamPos.y;
    v.m_Screen.y = 120 - cam.m_fFocal * v.m_CamPos.z / v.m_CamPos.y;
}

struct P {
    float x, y, u, v;
};

class Raster : public ::testing::Test {
protected:
    void SetUp() override {
        pf_.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
        ASSERT_TRUE(cache_.Create(&pf_));
        screen_.assign(W * H, 0);
        r_.SetTarget(screen_.data(), W, H, W, pf_);
        r_.SetTextureCache(&cache_);
        for (int i = 0; i < qvn_cFace::kMaxVertices; ++i) poly_.m_pVertex[i] = &verts_[i];
        poly_.m_pMesh = &mesh_;
        mesh_.m_bVisible = 1;
    }
    // A texture whose index at (x, y) is f(x, y), palette from pal (768 bytes)
    // or grey ramp.
    std::unique_ptr<qvn_cTextureSoft> Texture(std::function<uint8_t(int, int)> f, const std::vector<uint8_t>& pal = {}) {
        std::vector<uint8_t> idx(256 * 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) idx[y * 256 + x] = f(x, y);
        std::vector<uint8_t> p = pal;
        if (p.empty()) {
            p.resize(768);
            for (int i = 0; i < 768; ++i) p[i] = static_cast<uint8_t>(i / 3);
        }
        auto t = std::make_unique<qvn_cTextureSoft>();
        EXPECT_TRUE(t->loadIndexed(idx.data(), p.data(), 256, 256));
        return t;
    }
    // Screen-space polygon at depth 1 (so u/z = u).
    void Poly(std::initializer_list<P> pts) {
        int n = 0;
        for (const P& p : pts) {
            verts_[n].m_Screen = {p.x, p.y};
            verts_[n].m_CamPos = qvn_cVector(0, 1, 0);
            qvn_cCorner& c = poly_.m_Corner[n];
            c = qvn_cCorner();
            c.iz = 1.0f;
            c.uz = c.u = p.u;
            c.vz = c.v = p.v;
            ++n;
        }
        poly_.m_nVertexCount = n;
    }
    void Fill(int mode, const uint8_t* unit0, const uint8_t* unit1 = nullptr) {
        r_.SetRenderMode(mode);
        r_.m_pUnit[0] = unit0;
        r_.m_pUnit[1] = unit1;
        r_.Begin();
        r_.Fill(&poly_);
        r_.End();
    }
    // The scene's frame over a screen cleared to background.
    void RenderScene(const qvntest::Scene& s, int frame, uint16_t background) {
        screen_.assign(W * H, background);
        ASSERT_TRUE(qvntest::RenderSoft(r_, cache_, s.Build(), frame));
    }
    uint16_t& At(int x, int y) { return screen_[y * W + x]; }
    // Rows holding at least one pixel other than background.
    std::vector<int> Rows(uint16_t background = 0) {
        std::vector<int> rows;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (At(x, y) != background) {
                    rows.push_back(y);
                    break;
                }
        return rows;
    }

    qvn_cPixelFormat pf_;
    qvn_cTextureCache cache_;
    std::vector<uint16_t> screen_;
    qvn_cSoftRenderer r_;
    qvn_cMesh mesh_;
    qvn_cFace poly_{3};
    qvn_cVertex verts_[qvn_cFace::kMaxVertices];
};

TEST_F(Raster, TriangleFillsItsRowsAndItsMirrorNothing) {
    auto tex = Texture([](int, int) { return 200; });
    const uint8_t* slot = cache_.Lookup(tex.get());
    ASSERT_NE(slot, nullptr);
    Poly({{10, 10, 0, 0}, {5, 50, 0, 1}, {60, 50, 1, 1}});
    Fill(QVN_MODE_COPY, slot);
    // The walk covers rows 10 .. 49; row 10 is the apex, where both edges
    // start at x = 10 and the span [ceil 10, ceil 10) is empty.
    const std::vector<int> rows = Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), 11);
    EXPECT_EQ(rows.back(), 49);
    EXPECT_EQ(rows.size(), 39u);
    // Row 49: from ceil of the left edge to the right edge, exclusive.
    EXPECT_NE(At(6, 49), 0);
    EXPECT_EQ(At(4, 49), 0);

    screen_.assign(W * H, 0);
    Poly({{60, 50, 1, 1}, {5, 50, 0, 1}, {10, 10, 0, 0}});
    Fill(QVN_MODE_COPY, slot);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(Raster, TextureCoordinatesWrapEvery256Texels) {
    // Texel (x, y) holds the 16-bit value y * 256 + x, written straight into
    // the slot, so every pixel tells which texel it came from.
    auto tex = Texture([](int, int) { return 0; });
    uint8_t* slot = cache_.Lookup(tex.get());
    ASSERT_NE(slot, nullptr);
    for (int i = 0; i < 65536; ++i) reinterpret_cast<uint16_t*>(slot)[i] = static_cast<uint16_t>(i);
    Poly({{10, 10, 1.5f, 0}, {10, 20, 1.5f, 0}, {40, 20, 1.5f, 0}, {40, 10, 1.5f, 0}});
    Fill(QVN_MODE_COPY, slot);
    EXPECT_EQ(At(20, 15), 126);  // 1.5 * 255 = 382.5 texels, wrapped
}

TEST_F(Raster, PerspectiveFillFollowsTheTrueDivide) {
    auto tex = Texture([](int, int) { return 0; });
    uint8_t* slot = cache_.Lookup(tex.get());
    for (int i = 0; i < 65536; ++i) reinterpret_cast<uint16_t*>(slot)[i] = static_cast<uint16_t>(i);
    // A strongly receding quad: depth 1 at the top, 8 at the bottom.
    const float x[4] = {20, 20, 300, 300}, y[4] = {10, 230, 230, 10};
    const float z[4] = {1, 8, 8, 1}, u[4] = {0, 0, 0.9f, 0.9f}, v[4] = {0, 0.9f, 0.9f, 0};
    poly_.m_nVertexCount = 4;
    for (int i = 0; i < 4; ++i) {
        verts_[i].m_Screen = {x[i], y[i]};
        qvn_cCorner& c = poly_.m_Corner[i];
        c.iz = 1.0f / z[i];
        c.uz = u[i] * c.iz;
        c.vz = v[i] * c.iz;
    }
    Fill(QVN_MODE_COPY, slot);
    // The slow way: one divide per pixel from the screen-linear values (the
    // quad's left and right edges are vertical, so rows interpolate in y).
    int checked = 0, off = 0;
    for (int py = 10; py < 230; ++py) {
        const float t = (py - 10) / 220.0f;
        const float iz = 1.0f + (1.0f / 8 - 1.0f) * t;
        const float vz = 0.9f / 8 * t;
        for (int px = 20; px < 300; ++px) {
            const float s = (px - 20) / 280.0f;
            const float uz = 0.9f * iz * s;
            const int ue = static_cast<int>(std::lround(uz / iz * 255.0f)) & 255;
            const int ve = static_cast<int>(std::lround(vz / iz * 255.0f)) & 255;
            const uint16_t p = At(px, py);
            const int du = std::abs((p & 255) - ue), dv = std::abs((p >> 8) - ve);
            ++checked;
            if (du > 2 || dv > 2) ++off;
        }
    }
    EXPECT_GT(checked, 50000);
    EXPECT_EQ(off, 0);
}

TEST_F(Raster, AdditiveSaturatesEachChannelAndKeepsItsCarryInTheChannelAbove) {
    // Without overflow the span is a plain per-channel sum.
    std::vector<uint8_t> grey(768, 128);
    auto greyTex = Texture([](int, int) { return 3; }, grey);
    const uint16_t g = pf_.Pack(0x808080);
    screen_.assign(W * H, 0);
    Poly({{0, 0, 0, 0}, {0, 100, 0, 1}, {100, 100, 1, 1}});
    Fill(QVN_MODE_ADD, cache_.Lookup(greyTex.get()));
    EXPECT_EQ(At(10, 50), g);
    screen_.assign(W * H, 0x0841);  // 1 in each channel
    Fill(QVN_MODE_ADD, cache_.Lookup(greyTex.get()));
    EXPECT_EQ(At(10, 50), static_cast<uint16_t>(g + 0x0841));

    // One channel overflows at a time, on a screen where only that channel is
    // lit: it ends at its maximum, and its carry bit stays in the result. Blue's
    // carry is green's lowest bit and green's is red's; red's falls off the
    // 16-bit pixel. Parts are tuned on exactly this look, so it is kept.
    struct SCase {
        uint32_t rgb;
        uint16_t screen, expected;
    };
    const SCase cases[] = {
        {0x0000FF, 0x001F, 0x003F},  // blue full + blue full
        {0x00FF00, 0x07E0, 0x0FE0},  // green full + green full
        {0xFF0000, 0xF800, 0xF800},  // red full + red full
        {0x000008, 0x001F, 0x003F},  // blue one step over
        {0x000400, 0x07E0, 0x0FE0},  // green one step over
    };
    for (const SCase& c : cases) {
        std::vector<uint8_t> pal(768);
        for (int i = 0; i < 256; ++i) {
            pal[i * 3 + 0] = static_cast<uint8_t>(c.rgb >> 16);
            pal[i * 3 + 1] = static_cast<uint8_t>(c.rgb >> 8);
            pal[i * 3 + 2] = static_cast<uint8_t>(c.rgb);
        }
        auto tex = Texture([](int, int) { return 7; }, pal);
        screen_.assign(W * H, c.screen);
        Fill(QVN_MODE_ADD, cache_.Lookup(tex.get()));
        EXPECT_EQ(At(10, 50), c.expected) << std::hex << c.rgb << " on " << c.screen;
        EXPECT_EQ(At(200, 200), c.screen) << "outside the face";
    }
}

TEST_F(Raster, MaskedModeLeavesHoles) {
    std::vector<uint8_t> pal(768, 0);
    for (int i = 3; i < 768; ++i) pal[i] = 255;  // index 0 black, others white
    auto tex = Texture([](int, int) { return 9; }, pal);
    auto mask = Texture([](int x, int) { return x < 128 ? 0 : 1; }, pal);
    const uint8_t* t0 = cache_.Lookup(tex.get());
    const uint8_t* t1 = cache_.Lookup(mask.get());
    screen_.assign(W * H, 0x1234);
    Poly({{0, 0, 0, 0}, {0, 200, 0, 0}, {256, 200, 1, 0}, {256, 0, 1, 0}});
    Fill(QVN_MODE_MASK, t0, t1);
    EXPECT_EQ(At(30, 100), 0x1234);   // mask 0: the screen shows through
    EXPECT_EQ(At(200, 100), 0xFFFF);  // mask set: the texture
}

TEST_F(Raster, FoggedFillDarkensThroughTheShadeTable) {
    std::vector<uint8_t> pal(768);
    for (int i = 0; i < 768; ++i) pal[i] = 200;
    auto tex = Texture([](int, int) { return 5; }, pal);
    tex->m_bFogged = 1;
    const uint8_t* slot = cache_.Lookup(tex.get());
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(cache_.SlotOf(slot), 0);
    Poly({{0, 0, 0, 0}, {0, 100, 0, 1}, {100, 100, 1, 1}, {100, 0, 1, 0}});
    for (int i = 0; i < 4; ++i) verts_[i].m_Shade.fogOverZ = 0.5f;
    Fill(QVN_MODE_FOG, slot);
    // Level 127 of 256 towards black: ceil(200 - 127/256 * 200) = 101.
    EXPECT_EQ(At(50, 50), pf_.Pack(0x656565));
    for (int i = 0; i < 4; ++i) verts_[i].m_Shade.fogOverZ = 0.0f;
    Fill(QVN_MODE_FOG, slot);
    EXPECT_EQ(At(50, 50), pf_.Pack(0xC8C8C8));
}

// The rows' wide (AVX2) copy against the plain loops, in every perspective
// mode and on both screen formats: random faces, long rows and short ones,
// odd ends, wrapping and wild coordinates, saturating adds, holes in the mask
// and every fog level over a screen of random pixels.
TEST_F(Raster, PlainAndWideRowsGiveTheSamePixels) {
    const bool wide = qvn_ForceGenericRasterRows(false);
    RecordProperty("wide_rows", wide ? "avx2" : "none");
    const int modes[] = {QVN_MODE_COPY, QVN_MODE_ADD, QVN_MODE_MASK, QVN_MODE_FOG, QVN_MODE_TEX_ENV};
    for (bool fiveFive : {false, true}) {
        // A texture gives up its pixels to the cache it is uploaded to.
        SRandom rnd{7};
        std::vector<uint8_t> pal(768);
        for (uint8_t& c : pal) c = static_cast<uint8_t>(rnd(0, 256));
        auto tex = Texture([&](int, int) { return static_cast<uint8_t>(rnd(0, 256)); }, pal);
        auto map = Texture([&](int x, int y) { return static_cast<uint8_t>((x * 7 + y * 3) & 255); }, pal);
        auto mask = Texture([&](int, int) { return static_cast<uint8_t>(rnd(0, 4) < 1 ? 0 : 1); });
        auto fogged = Texture([&](int, int) { return static_cast<uint8_t>(rnd(0, 256)); }, pal);
        fogged->m_bFogged = 1;
        qvn_cPixelFormat pf;
        if (fiveFive)
            pf.SetFromMasks(16, 0x7C00, 0x03E0, 0x001F, false);
        else
            pf.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
        ASSERT_TRUE(cache_.Create(&pf));
        r_.SetTarget(screen_.data(), W, H, W, pf);
        const uint8_t* t = cache_.Lookup(tex.get());
        const uint8_t* m = cache_.Lookup(map.get());
        const uint8_t* k = cache_.Lookup(mask.get());
        const uint8_t* f = cache_.Lookup(fogged.get());
        ASSERT_TRUE(t && m && k && f);
        for (int mode : modes) {
            SCOPED_TRACE((fiveFive ? "5-5-5 mode " : "5-6-5 mode ") + std::to_string(mode));
            std::vector<uint16_t> result[2];
            for (int plain = 0; plain < 2; ++plain) {
                qvn_ForceGenericRasterRows(plain == 1);
                SRandom faces{1234u + static_cast<uint32_t>(mode)};
                screen_.resize(W * H);
                for (uint16_t& p : screen_) p = static_cast<uint16_t>(faces(0, 65536));
                for (int face = 0; face < 400; ++face) {
                    const int n = face % 3 == 0 ? 4 : 3;
                    // Every fifth face spans the screen; the others are small.
                    const float size = face % 5 == 0 ? 330.0f : faces(2, 40);
                    const float cx = faces(0, W), cy = faces(0, H);
                    const float reach = face % 7 == 0 ? 40000.0f : 4.0f;
                    for (int i = 0; i < n; ++i) {
                        const float a = 6.2831853f * (static_cast<float>(i) + faces(0, 0.8f)) / n;
                        verts_[i].m_Screen = {std::clamp(cx + size * std::cos(a), 0.0f, W - 1.0f),
                                              std::clamp(cy - size * std::sin(a), 0.0f, H - 1.0f)};
                        qvn_cCorner& c = poly_.m_Corner[i];
                        c = qvn_cCorner();
                        c.iz = faces(0.25f, 3.0f);
                        c.u = faces(-reach, reach);
                        c.v = faces(-reach, reach);
                        c.uz = c.u * c.iz;
                        c.vz = c.v * c.iz;
                        c.eu = faces(-1, 2);
                        c.ev = faces(-1, 2);
                        c.euz = c.eu * c.iz;
                        c.evz = c.ev * c.iz;
                        // Fog from scene data stays below 1; wild values are clamped.
                        const float fog = face % 4 == 0 ? faces(-0.5f, 1.5f) : faces(0, 0.99f);
                        verts_[i].m_Shade.fogOverZ = fog * c.iz;
                    }
                    poly_.m_nVertexCount = n;
                    if (mode == QVN_MODE_FOG)
                        Fill(mode, f);
                    else if (mode == QVN_MODE_MASK)
                        Fill(mode, t, k);
                    else
                        Fill(mode, t, m);
                }
                result[plain] = screen_;
            }
            int differ = 0;
            for (int i = 0; i < W * H; ++i) differ += result[0][i] != result[1][i];
            EXPECT_EQ(differ, 0);
        }
    }
    qvn_ForceGenericRasterRows(false);
}

TEST_F(Raster, EnvironmentFillIsAffine) {
    auto tex = Texture([](int, int) { return 0; });
    uint8_t* slot = cache_.Lookup(tex.get());
    for (int i = 0; i < 65536; ++i) reinterpret_cast<uint16_t*>(slot)[i] = static_cast<uint16_t>(i);
    Poly({{0, 0, 0, 0}, {0, 100, 0, 0}, {100, 100, 0, 0}, {100, 0, 0, 0}});
    const float eu[4] = {0, 0, 1, 1}, ev[4] = {0, 1, 1, 0};
    for (int i = 0; i < 4; ++i) {
        poly_.m_Corner[i].euz = eu[i] * 0.5f;
        poly_.m_Corner[i].evz = ev[i] * 0.5f;
        poly_.m_Corner[i].iz = 0.5f;
    }
    Fill(QVN_MODE_ENV, nullptr, slot);
    EXPECT_NEAR(At(50, 50) & 255, 127, 2);
    EXPECT_NEAR(At(50, 50) >> 8, 127, 2);
    EXPECT_EQ(At(0, 0), 0);
}

TEST_F(Raster, ClippedFacesNeverTouchTheLastColumnOrRow) {
    auto tex = Texture([](int, int) { return 99; });
    const uint8_t* slot = cache_.Lookup(tex.get());
    for (auto& f : mesh_.m_bClip) f = 1;
    mesh_.m_bClip[QVN_CLIP_NEAR] = mesh_.m_bClip[QVN_CLIP_FAR] = 0;
    qvn_cFace face(3);
    qvn_cVertex v[3];
    const float sx[3] = {-50, -50, 400}, sy[3] = {-50, 400, 400};
    for (int i = 0; i < 3; ++i) {
        face.m_pVertex[i] = &v[i];
        v[i].m_Screen = {sx[i], sy[i]};
        v[i].m_CamPos = qvn_cVector(0, 2, 0);
    }
    face.m_pMesh = &mesh_;
    r_.SetRenderMode(QVN_MODE_COPY);
    r_.m_pUnit[0] = slot;
    r_.Begin();
    r_.DrawFace(&face);
    qvn_cFace face2 = face;  // the other half of a full-screen quad
    qvn_cVertex v2[3];
    const float sx2[3] = {-50, 400, 400}, sy2[3] = {-50, 400, -50};
    for (int i = 0; i < 3; ++i) {
        face2.m_pVertex[i] = &v2[i];
        v2[i].m_Screen = {sx2[i], sy2[i]};
        v2[i].m_CamPos = qvn_cVector(0, 2, 0);
    }
    r_.DrawFace(&face2);
    r_.End();
    for (int y = 0; y < H; ++y) ASSERT_EQ(At(319, y), 0) << y;
    for (int x = 0; x < W; ++x) ASSERT_EQ(At(x, 239), 0) << x;
    EXPECT_NE(At(0, 0), 0);
    EXPECT_NE(At(318, 238), 0);
    EXPECT_NE(At(318, 0), 0);

    // Wholly beyond the right bound: culled.
    for (int i = 0; i < 3; ++i) v[i].m_Screen.x = 330.0f + i;
    EXPECT_EQ(r_.Clip(&face), nullptr);
}

TEST_F(Raster, NearClipMakesFourCornersWithInterpolatedTexture) {
    qvn_cCamera cam;
    cam.SetFov(1.5707964f);
    r_.SetCamera(&cam);
    for (auto& f : mesh_.m_bClip) f = 0;
    mesh_.m_bClip[QVN_CLIP_NEAR] = 1;
    qvn_cFace face(3);
    qvn_cVertex v[3];
    const qvn_cVector pos[3] = {{0, 0.5f, 0}, {1, 3, -1}, {1, 3, 1}};
    const float u[3] = {0, 1, 1};
    for (int i = 0; i < 3; ++i) {
        face.m_pVertex[i] = &v[i];
        v[i].m_CamPos = pos[i];
        face.m_Corner[i].u = u[i];
        face.m_Corner[i].v = 0.25f;
    }
    face.m_pMesh = &mesh_;
    r_.SetRenderMode(QVN_MODE_COPY);
    qvn_cFace* out = r_.Clip(&face);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->m_nVertexCount, 4);
    int onPlane = 0;
    for (int i = 0; i < 4; ++i) {
        const qvn_cCorner& c = out->m_Corner[i];
        const float depth = 1.0f / c.iz;
        EXPECT_GE(depth, 1.0f - 1e-6f);
        if (std::fabs(depth - 1.0f) < 1e-6f) {
            ++onPlane;
            // 0.5 -> 1 of the way 0.5 -> 3: t = 0.2 towards a u of 1.
            EXPECT_NEAR(c.uz / c.iz, 0.2f, 1e-6f);
            EXPECT_NEAR(c.vz / c.iz, 0.25f, 1e-6f);
        }
    }
    EXPECT_EQ(onPlane, 2);
    // No camera to project the cut corners with: the face is dropped.
    r_.SetCamera(nullptr);
    EXPECT_EQ(r_.Clip(&face), nullptr);
}

TEST_F(Raster, ClippingByEveryPlaneStaysWithinEightVertices) {
    qvn_cCamera cam;
    cam.SetFov(1.5707964f);
    r_.SetCamera(&cam);
    for (auto& f : mesh_.m_bClip) f = 1;
    mesh_.m_bClip[QVN_CLIP_FAR] = 0;
    SRandom rnd{12345};
    int maxSeen = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        qvn_cFace face(3);
        qvn_cVertex v[3];
        for (int i = 0; i < 3; ++i) {
            face.m_pVertex[i] = &v[i];
            v[i].m_CamPos = qvn_cVector(rnd(-40, 40), rnd(-5, 20), rnd(-40, 40));
            ProjectInFront(cam, v[i]);
        }
        face.m_pMesh = &mesh_;
        r_.SetRenderMode(QVN_MODE_FOG);
        const qvn_cFace* out = r_.Clip(&face);
        if (!out) continue;
        ASSERT_LE(out->m_nVertexCount, 8);
        maxSeen = std::max(maxSeen, out->m_nVertexCount);
        for (int i = 0; i < out->m_nVertexCount; ++i) {
            const qvn_cScreenPoint& s = out->m_pVertex[i]->m_Screen;
            EXPECT_GE(s.x, 0.0f);
            EXPECT_LE(s.x, 319.0f);
            EXPECT_GE(s.y, 0.0f);
            EXPECT_LE(s.y, 239.0f);
        }
    }
    EXPECT_GE(maxSeen, 6);
}

// Two faces sharing an edge that crosses the near plane are cut there each on
// its own, one walking the edge A -> B, its neighbour B -> A. Unless both get
// the same corner to the last bit, the seam between them can open a pixel.
TEST_F(Raster, NeighboursCutOnTheNearPlaneGetTheSameCorner) {
    qvn_cCamera cam;
    cam.SetFov(1.5707964f);
    r_.SetCamera(&cam);
    for (auto& f : mesh_.m_bClip) f = 0;
    mesh_.m_bClip[QVN_CLIP_NEAR] = 1;
    SRandom rnd{2024};
    // What a cut corner carries, as the fillers read it.
    struct SCut {
        float f[16];
    };
    auto cutOf = [](const qvn_cFace* out, int k) {
        const qvn_cVertex* v = out->m_pVertex[k];
        const qvn_cCorner& c = out->m_Corner[k];
        return SCut{{v->m_Screen.x, v->m_Screen.y, v->m_CamPos.x, v->m_CamPos.y, v->m_CamPos.z, c.iz, c.uz, c.vz,
                     c.euz, c.evz, c.u, c.v, c.eu, c.ev, v->m_Shade.fog, v->m_Shade.fogOverZ}};
    };
    // The corner of the clipped face that lies on the near plane nearest the
    // point where the line a-b meets it.
    auto cornerOn = [&](const qvn_cFace* out, const qvn_cVertex& a, const qvn_cVertex& b) {
        const double t = (1.0 - b.m_CamPos.y) / (static_cast<double>(a.m_CamPos.y) - b.m_CamPos.y);
        const double x = b.m_CamPos.x + (static_cast<double>(a.m_CamPos.x) - b.m_CamPos.x) * t;
        int best = -1;
        double bestDist = 1e9;
        for (int k = 0; k < out->m_nVertexCount; ++k) {
            if (out->m_pVertex[k]->m_CamPos.y != 1.0f) continue;
            const double d = std::fabs(out->m_pVertex[k]->m_CamPos.x - x);
            if (d < bestDist) best = k, bestDist = d;
        }
        EXPECT_LT(bestDist, 1e-4);
        return best;
    };
    for (int mode : {QVN_MODE_TEX_ENV, QVN_MODE_FOG}) {
        SCOPED_TRACE(mode);
        r_.SetRenderMode(mode);
        int differing = 0, pairs = 0;
        for (int trial = 0; trial < 400; ++trial) {
            // A in front, B behind the near plane; the third corners C and D
            // on the far side of B from A, so each cut stays apart from the
            // other corner on the plane. Everything projects inside the screen.
            qvn_cVertex a, b, c, d;
            a.m_CamPos = qvn_cVector(rnd(0.5f, 0.8f), rnd(1.2f, 3.0f), rnd(-0.6f, 0.6f));
            b.m_CamPos = qvn_cVector(rnd(-0.1f, 0.1f), rnd(0.0f, 0.8f), rnd(-0.3f, 0.3f));
            c.m_CamPos = qvn_cVector(rnd(-0.8f, -0.5f), rnd(1.2f, 3.0f), rnd(0.0f, 0.6f));
            d.m_CamPos = qvn_cVector(rnd(-0.8f, -0.5f), rnd(1.2f, 3.0f), rnd(-0.6f, 0.0f));
            for (qvn_cVertex* v : {&a, &b, &c, &d}) {
                v->m_Shade.fog = rnd(0.0f, 0.9f);
                ProjectInFront(cam, *v);
            }
            // Per-corner values of the shared vertices are the same in both
            // faces, as on a mesh without a seam there.
            qvn_cCorner ca, cb;
            for (qvn_cCorner* k : {&ca, &cb}) {
                k->u = rnd(0, 1);
                k->v = rnd(0, 1);
                k->eu = rnd(0, 1);
                k->ev = rnd(0, 1);
            }
            qvn_cFace one(3), two(3);
            one.m_pMesh = two.m_pMesh = &mesh_;
            qvn_cVertex* v1[3] = {&a, &b, &c};
            qvn_cVertex* v2[3] = {&b, &a, &d};
            const qvn_cCorner k1[3] = {ca, cb, qvn_cCorner()}, k2[3] = {cb, ca, qvn_cCorner()};
            for (int i = 0; i < 3; ++i) {
                one.m_pVertex[i] = v1[i];
                two.m_pVertex[i] = v2[i];
                one.m_Corner[i] = k1[i];
                two.m_Corner[i] = k2[i];
            }
            const qvn_cFace* out = r_.Clip(&one);
            ASSERT_NE(out, nullptr);
            const SCut first = cutOf(out, cornerOn(out, a, b));
            out = r_.Clip(&two);
            ASSERT_NE(out, nullptr);
            const SCut second = cutOf(out, cornerOn(out, a, b));
            ++pairs;
            if (std::memcmp(&first, &second, sizeof first) != 0) {
                if (differing == 0) {
                    for (int i = 0; i < 16; ++i) EXPECT_EQ(first.f[i], second.f[i]) << "value " << i;
                }
                ++differing;
            }
        }
        EXPECT_EQ(pairs, 400);
        EXPECT_EQ(differing, 0) << "of " << pairs;
    }
}

TEST_F(Raster, NoSurfaceMeansNoPixels) {
    auto tex = Texture([](int, int) { return 1; });
    const uint8_t* slot = cache_.Lookup(tex.get());
    Poly({{0, 0, 0, 0}, {0, 100, 0, 1}, {100, 100, 1, 1}});
    r_.SetTarget(nullptr, W, H, W, pf_);
    Fill(QVN_MODE_COPY, slot);  // must not crash
    r_.SetTarget(screen_.data(), W, H, W, pf_);
    Fill(QVN_MODE_COPY, nullptr);  // a unit the cache could not fill: skipped
    EXPECT_TRUE(Rows().empty());
}

// Through a display: Begin locks it, End unlocks it, the pixel format is the
// display's. On 5-5-5 green saturates within its five bits.
TEST_F(Raster, DrawsIntoTheLockedDisplayInItsFormat) {
    qvn_cCaptureDisplay display(0x7C00, 0x03E0, 0x001F);
    ASSERT_TRUE(display.Init("display", W, H, 16, 0));
    qvn_cSoftRenderer r(&display);
    r.SetTextureCache(&cache_);
    EXPECT_EQ(r.m_nRBMask, 0x7C1Fu);
    EXPECT_EQ(r.m_nGCarry, 0x0400u);
    std::vector<uint8_t> green(768, 0);
    for (int i = 0; i < 256; ++i) green[3 * i + 1] = 255;
    qvn_cTextureCache cache555;
    ASSERT_TRUE(cache555.Create(&display.m_PixelFormat));
    r.SetTextureCache(&cache555);
    auto tex = Texture([](int, int) { return 4; }, green);
    const uint8_t* slot = cache555.Lookup(tex.get());
    display.Lock();
    std::fill(display.m_pSurfacePixels, display.m_pSurfacePixels + W * H, 0x03E0);
    display.Unlock();
    Poly({{0, 0, 0, 0}, {0, 100, 0, 1}, {100, 100, 1, 1}});
    r.SetRenderMode(QVN_MODE_ADD);
    r.m_pUnit[0] = slot;
    r.Begin();
    ASSERT_NE(r.Pixels(), nullptr);
    r.Fill(&poly_);
    r.End();
    EXPECT_EQ(display.m_pSurfacePixels, nullptr);  // unlocked again
    display.Flip();
    // Green saturated; its carry bit stays (as on 5-6-5), blue is untouched.
    EXPECT_EQ(display.Presented()[50 * W + 10], 0x07E0);

    // A display that cannot be locked: the frame's faces are skipped.
    qvn_cCaptureDisplay dead;
    qvn_cSoftRenderer r2(&dead);
    r2.SetRenderMode(QVN_MODE_COPY);
    r2.m_pUnit[0] = slot;
    r2.Begin();
    EXPECT_EQ(r2.Pixels(), nullptr);
    r2.Fill(&poly_);
    r2.End();
}

// ---- materials and the cache ----------------------------------------------

TEST_F(Raster, SelectChoosesModeAndUnits) {
    std::vector<uint8_t> idx(256 * 256, 1), pal(768, 100);
    auto texture = [&] {
        qvn_cTextureSoft* t = new qvn_cTextureSoft();
        t->loadIndexed(idx.data(), pal.data(), 256, 256);
        return t;
    };
    struct Case {
        int type;
        bool t0, t1, t2, fogged;
        int mode;
    };
    const Case cases[] = {
        {0, true, false, false, false, QVN_MODE_ADD},   {0, false, false, false, false, QVN_MODE_COPY},
        {2, true, false, true, false, QVN_MODE_MASK},   {2, true, true, true, false, QVN_MODE_MASK},
        {2, true, true, false, false, QVN_MODE_TEX_ENV}, {2, true, false, false, false, QVN_MODE_COPY},
        {2, true, false, false, true, QVN_MODE_FOG},    {2, false, true, false, false, QVN_MODE_ENV},
        {2, false, false, false, false, QVN_MODE_COPY}, {5, true, true, true, false, QVN_MODE_COPY},
    };
    for (const Case& c : cases) {
        qvn_cSoftMaterial mat(&r_);
        mat.m_nType = c.type;
        if (c.t0) mat.m_pTexture[0] = texture();
        if (c.t1) mat.m_pTexture[1] = texture();
        if (c.t2) mat.m_pTexture[2] = texture();
        if (c.t0) mat.m_pTexture[0]->m_bFogged = c.fogged;
        r_.m_pCurrentMaterial = nullptr;
        mat.Select();
        EXPECT_EQ(r_.m_nRenderMode, c.mode) << c.type << c.t0 << c.t1 << c.t2 << c.fogged;
        EXPECT_EQ(r_.m_nRenderMode2, c.mode);
        EXPECT_EQ(r_.m_nAttribSet, c.mode & 0x700);
        r_.m_pCurrentMaterial = nullptr;
    }
}

TEST_F(Raster, SelectingTwiceChangesNothingAndUnboundUnitsKeepTheirTexture) {
    std::vector<uint8_t> idx(256 * 256, 1), pal(768, 100);
    qvn_cSoftMaterial a(&r_), b(&r_);
    a.m_nType = 2;
    a.m_pTexture[0] = new qvn_cTextureSoft();
    a.m_pTexture[0]->loadIndexed(idx.data(), pal.data(), 256, 256);
    a.Select();
    const uint8_t* unit0 = r_.m_pUnit[0];
    ASSERT_NE(unit0, nullptr);
    EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_COPY);
    a.m_pTexture[0]->m_bFogged = 1;  // changed in between: still nothing
    a.Select();
    EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_COPY);
    // Type 0 without texture 0: mode 0x100 drawing whatever unit 0 held.
    b.m_nType = 0;
    b.Select();
    EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_COPY);
    EXPECT_EQ(r_.m_pUnit[0], unit0);
    EXPECT_EQ(r_.m_pCurrentMaterial, &b);
}

TEST_F(Raster, CacheSlotsFogResetAndFullCache) {
    std::vector<uint8_t> idx(256 * 256, 1), pal(768, 100);
    std::vector<std::unique_ptr<qvn_cTextureSoft>> textures;
    auto make = [&](bool fogged) {
        textures.emplace_back(new qvn_cTextureSoft());
        textures.back()->loadIndexed(idx.data(), pal.data(), 256, 256);
        textures.back()->m_bFogged = fogged;
        return textures.back().get();
    };
    // Slot addresses are 128 KiB aligned and 128 KiB apart.
    for (int i = 0; i < qvn_cTextureCache::kSlotCount; ++i) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(cache_.SlotAddress(i)) % 0x20000, 0u);
        if (i) {
            EXPECT_EQ(cache_.SlotAddress(i) - cache_.SlotAddress(i - 1), 0x20000);
        }
    }
    qvn_cTexture* fogged = make(true);
    EXPECT_EQ(cache_.SlotOf(cache_.Lookup(fogged)), 0);
    EXPECT_EQ(cache_.SlotOf(cache_.Lookup(fogged)), 0);  // found, not uploaded again
    qvn_cTexture* plain = make(false);
    EXPECT_EQ(cache_.SlotOf(cache_.Lookup(plain)), 2);  // the fogged one took two
    EXPECT_EQ(cache_.SlotAddress(0)[0], 1);              // indices, not colours

    cache_.Reset();
    qvn_cTexture* fresh = make(false);
    EXPECT_EQ(cache_.SlotOf(cache_.Lookup(fresh)), 0);
    // Uploaded before the reset: nothing left to upload.
    EXPECT_EQ(cache_.Lookup(plain), nullptr);

    for (int i = 1; i < qvn_cTextureCache::kSlotCount; ++i) ASSERT_NE(cache_.Lookup(make(false)), nullptr) << i;
    EXPECT_EQ(cache_.Lookup(make(false)), nullptr);  // full
    // A face whose material cannot be bound draws nothing.
    qvn_cSoftMaterial m(&r_);
    m.m_nType = 2;
    m.m_pTexture[0] = new qvn_cTextureSoft();
    m.m_pTexture[0]->loadIndexed(idx.data(), pal.data(), 256, 256);
    m.Select();
    EXPECT_EQ(r_.m_pUnit[0], nullptr);
    Poly({{0, 0, 0, 0}, {0, 100, 0, 1}, {100, 100, 1, 1}});
    r_.Begin();
    r_.Fill(&poly_);
    r_.End();
    EXPECT_TRUE(Rows().empty());
}

TEST_F(Raster, FoggedTextureNeedsRoomForItsTable) {
    std::vector<uint8_t> idx(256 * 256, 1), pal(768, 100);
    std::vector<std::unique_ptr<qvn_cTextureSoft>> textures;
    for (int i = 0; i < qvn_cTextureCache::kSlotCount - 1; ++i) {
        textures.emplace_back(new qvn_cTextureSoft());
        textures.back()->loadIndexed(idx.data(), pal.data(), 256, 256);
        ASSERT_NE(cache_.Lookup(textures.back().get()), nullptr);
    }
    qvn_cTextureSoft last;
    last.loadIndexed(idx.data(), pal.data(), 256, 256);
    last.m_bFogged = 1;
    EXPECT_EQ(cache_.Lookup(&last), nullptr);  // slot 102 has no next slot
}

TEST_F(Raster, DestroyedTextureFreesItsSlot) {
    std::vector<uint8_t> idx(256 * 256, 1), red(768, 0), blue(768, 0);
    red[3] = 255;
    blue[5] = 255;
    auto* a = new qvn_cTextureSoft();
    a->loadIndexed(idx.data(), red.data(), 256, 256);
    const uint8_t* slotA = cache_.Lookup(a);
    delete a;
    // A new texture, maybe at the same address, must get its own pixels.
    auto* b = new qvn_cTextureSoft();
    b->loadIndexed(idx.data(), blue.data(), 256, 256);
    const uint8_t* slotB = cache_.Lookup(b);
    ASSERT_NE(slotB, nullptr);
    EXPECT_EQ(slotA, slotB);  // the freed slot is reused
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(slotB)[0], 0x001F);
    delete b;
}

// A part registers its scene's textures with the program's store before the
// first frame: they land in the cache the renderer was given, after what is
// already there unless the store is emptied first.
TEST_F(Raster, ScenesRegisterTheirTexturesWithTheStore) {
    std::vector<uint8_t> idx(256 * 256, 1), pal(768, 100);
    qvn_cTextureSoft earlier;
    earlier.loadIndexed(idx.data(), pal.data(), 256, 256);
    ASSERT_EQ(cache_.SlotOf(cache_.Lookup(&earlier)), 0);
    const std::vector<uint8_t> bytes = qvntest::BasicScene().Build();
    qvn_cTextureStore& store = cache_;
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "emptied first" : "kept");
        qvn_cScene scene;
        scene.m_pRenderer = &r_;
        qvn_cImporter importer;
        ASSERT_TRUE(importer.LoadBuffer(bytes.data(), bytes.size(), &scene));
        r_.m_pCurrentMaterial = nullptr;
        store.RegisterScene(&scene, reset);
        EXPECT_EQ(r_.m_pCurrentMaterial, scene.m_pMaterials[0]);
        ASSERT_NE(r_.m_pUnit[0], nullptr);
        EXPECT_EQ(cache_.SlotOf(r_.m_pUnit[0]), reset ? 0 : 1);
    }
    EXPECT_EQ(cache_.Lookup(&earlier), nullptr);  // its slot was given away
}

// A renderer given no cache (a tool asking only for render modes) binds
// nothing, and the faces that would need a texture are skipped.
TEST_F(Raster, WithoutACacheTexturedFacesAreSkipped) {
    std::vector<uint8_t> idx(256 * 256, 1), pal(768, 100);
    qvn_cSoftRenderer bare;
    bare.SetTarget(screen_.data(), W, H, W, pf_);
    qvn_cSoftMaterial m(&bare);
    m.m_nType = 2;
    m.m_pTexture[0] = new qvn_cTextureSoft();
    m.m_pTexture[0]->loadIndexed(idx.data(), pal.data(), 256, 256);
    m.Select();
    EXPECT_EQ(bare.m_nRenderMode, QVN_MODE_COPY);
    EXPECT_EQ(bare.m_pUnit[0], nullptr);
    Poly({{0, 0, 0, 0}, {0, 100, 0, 1}, {100, 100, 1, 1}});
    bare.Begin();
    bare.Fill(&poly_);
    bare.End();
    EXPECT_TRUE(Rows().empty());
}

TEST(Palette, ShadeTables) {
    qvn_cPixelFormat pf;
    pf.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
    std::vector<uint8_t> rgb(768, 0);
    rgb[3] = rgb[4] = rgb[5] = 255;  // entry 1 white
    std::vector<uint16_t> table(qvn_cPalette::kTableEntries);
    qvn_cPalette pal;
    const qvn_cPaletteColor white(255, 255, 255), black(0, 0, 0);
    ASSERT_TRUE(pal.buildShadeTable(rgb.data(), table.data(), &white, &pf));
    // Black towards white at level 128: ceil(0.5 * 255) = 128 per channel.
    EXPECT_EQ(table[0 * 256 + 128], pf.Pack(0x808080));
    EXPECT_EQ(table[0 * 256 + 0], 0);
    qvn_cPaletteColor* records = pal.m_pPalette;
    ASSERT_TRUE(pal.buildShadeTable(rgb.data(), table.data(), &black, &pf));
    EXPECT_EQ(pal.m_pPalette, records);  // arrays reused
    EXPECT_EQ(table[1 * 256 + 0], 0xFFFF);
    // Level 255 is 255/256 of the way: ceil(255 - 255 * 255/256) = 1.
    EXPECT_EQ(table[1 * 256 + 255], pf.Pack(0x010101));
    EXPECT_FLOAT_EQ(pal.m_pPalette[1].m_fGreen, 255.0f);
}

// ---- whole scenes through every mode ----------------------------------------

// The render modes as a scene's material asks for them.
struct SModeCase {
    const char* what;
    int flags, type;
    bool fog;
    int mode;
};
const SModeCase kModeCases[] = {
    {"copy", 1, 2, false, QVN_MODE_COPY},       {"additive", 1, 0, false, QVN_MODE_ADD},
    {"masked", 1 | 4, 2, false, QVN_MODE_MASK}, {"environment", 2, 2, false, QVN_MODE_ENV},
    {"texture + env", 1 | 2, 2, false, QVN_MODE_TEX_ENV}, {"fogged", 1, 2, true, QVN_MODE_FOG},
};
const SModeCase& ModeCase(int mode) {
    for (const SModeCase& m : kModeCases)
        if (m.mode == mode) return m;
    return kModeCases[0];
}
// BasicScene in the case's mode, its far plane at 30 and its mask with holes
// (index 0 made black).
qvntest::Scene ModeScene(const SModeCase& m) {
    qvntest::Scene s = qvntest::BasicScene(m.flags, m.type);
    s.fog = m.fog;
    s.cameras[0].farDistance = 30.0f;
    qvntest::Texture& mask = s.materials[0].tex[3];
    mask.palette[0] = mask.palette[1] = mask.palette[2] = 0;
    for (size_t i = 0; i < mask.pixels.size(); ++i) mask.pixels[i] = (i / 16) % 2 ? 0 : 200;
    return s;
}

class Golden : public Raster {
protected:
    uint32_t RenderCrc(qvntest::Scene s, int frame, uint16_t background) {
        // The square turns about Z over 30 keys (past a quarter turn and a half it
    // shows its back, which draws nothing).
        qvntest::Track t;
        t.isStatic = false;
        t.keys.clear();
        for (int k = 0; k < 30; ++k) t.keys.push_back(qvntest::Key{0, 0, 0, k * 0.1f, 0, 0, 1});
        s.objects[2].tracks = {t};
        s.meshes[0] = qvntest::Square(2, 6.0f, 0.0f, 0, 2.0f);
        RenderScene(s, frame, background);
        return qvn_Crc32(screen_.data(), screen_.size() * 2);
    }
};

TEST_F(Golden, EveryModeRendersTheSameTwice) {
    std::vector<uint32_t> all;
    for (const SModeCase& m : kModeCases) {
        const qvntest::Scene s = ModeScene(m);
        for (int frame : {0, 5, 12}) {
            SCOPED_TRACE(std::string(m.what) + " frame " + std::to_string(frame));
            const uint32_t a = RenderCrc(s, frame, 0x0841);
            EXPECT_EQ(r_.m_nRenderMode, m.mode);
            int drawn = 0;
            for (uint16_t p : screen_) drawn += p != 0x0841;
            EXPECT_GT(drawn, 5000);
            EXPECT_EQ(At(319, 120), 0x0841);
            EXPECT_EQ(RenderCrc(s, frame, 0x0841), a);
            all.push_back(a);
        }
    }
    // The pictures of this renderer as reviewed (x86-64, SSE float math): a
    // change here is a change in what the show looks like.
    const uint32_t golden[] = {0x97E67844, 0x8767BBC9, 0x209A9FA6, 0x07D05A2D, 0x7FDAF559, 0x5D146272,
                               0xE4998F07, 0x08A7D25D, 0x91478FFF, 0xCD9C4E21, 0x118DD000, 0xAB885DAB,
                               0xD32C74AD, 0x6D758AA7, 0x9C69C24F, 0x39D1F77A, 0x67367865, 0x9036C011};
    ASSERT_EQ(all.size(), std::size(golden));
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], golden[i]) << "picture " << i;
    // Different modes and frames give different pictures.
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
}

// ---- scenes of many faces ------------------------------------------------------

class Scenes : public Raster {
protected:
    static constexpr uint16_t kMarker = 0x0841;

    void Render(const qvntest::Scene& s, int frame) { RenderScene(s, frame, kMarker); }
    // Pixels of value p within the part of the screen faces may reach (all
    // but the last column and row).
    int CountInFrame(uint16_t p) {
        int n = 0;
        for (int y = 0; y < H - 1; ++y)
            for (int x = 0; x < W - 1; ++x) n += At(x, y) == p;
        return n;
    }
    static qvntest::Texture Flat(uint8_t level) {
        qvntest::Texture t = qvntest::GradientTexture();
        std::fill(t.palette.begin(), t.palette.end(), level);
        return t;
    }
    // The object turns about the unit axis (ax, ay, az), a step a key.
    static void Turn(qvntest::Object& o, float step, float ax, float ay, float az) {
        qvntest::Track t;
        t.isStatic = false;
        t.keys.clear();
        for (int k = 0; k < 30; ++k) t.keys.push_back(qvntest::Key{0, 0, 0, k * step, ax, ay, az});
        o.tracks = {t};
    }

    // An open tube of radius r along +Y from y0 to y1, `around` quads round
    // and `rings` deep, closed at y1 by a fan: its faces look inwards, so a
    // camera inside looking along +Y sees nothing but tube.
    static qvntest::Mesh Tube(int around, int rings, float r, float y0, float y1) {
        qvntest::Mesh m;
        m.object = 2;
        for (int j = 0; j <= rings; ++j) {
            for (int i = 0; i < around; ++i) {
                const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(around);
                m.vertices.insert(m.vertices.end(), {r * std::cos(a), y0 + (y1 - y0) * j / rings, r * std::sin(a)});
                m.tvertices.insert(m.tvertices.end(), {static_cast<float>(i) / around, static_cast<float>(j) / rings});
            }
        }
        const int centre = (rings + 1) * around;
        m.vertices.insert(m.vertices.end(), {0.0f, y1, 0.0f});
        m.tvertices.insert(m.tvertices.end(), {0.5f, 1.0f});
        for (int j = 0; j < rings; ++j) {
            for (int i = 0; i < around; ++i) {
                const int a = j * around + i, b = j * around + (i + 1) % around;
                const int c = b + around, d = a + around;
                m.faces.push_back({{a, b, c}, {a, b, c}, 0});
                m.faces.push_back({{a, c, d}, {a, c, d}, 0});
            }
        }
        for (int i = 0; i < around; ++i) {
            const int a = rings * around + i, b = rings * around + (i + 1) % around;
            m.faces.push_back({{centre, a, b}, {centre, a, b}, 0});
        }
        return m;
    }
    // The camera inside the tube, its near plane cutting the first rings and
    // the walls running off every screen border; the tube turns about its axis.
    static qvntest::Scene TubeScene(int32_t flags) {
        qvntest::Scene s = qvntest::BasicScene(flags, 2);
        s.materials[0].tex[0] = Flat(0);
        s.materials[0].tex[1] = Flat(255);
        s.objects[0] = qvntest::StaticObject("eye", 0.4f, -4.0f, -0.3f);
        s.objects[1] = qvntest::StaticObject("target", 1.2f, 6.0f, 0.8f);
        Turn(s.objects[2], 0.13f, 0, 1, 0);
        s.cameras[0].farDistance = 100.0f;
        s.meshes[0] = Tube(24, 8, 3.0f, -8.0f, 16.0f);
        return s;
    }

    // A gently waved grid of cells x cells squares (two faces each) in the
    // plane y = 0, all of it well inside the screen of BasicScene's camera,
    // turning about an axis near the view direction. tvertex: texture vertex
    // of grid point (i, j).
    static qvntest::Mesh Grid(int cells, std::function<void(qvntest::Mesh&, int, int)> tvertex) {
        qvntest::Mesh m;
        m.object = 2;
        for (int j = 0; j <= cells; ++j) {
            for (int i = 0; i <= cells; ++i) {
                const float x = -4.5f + 9.0f * i / cells, z = 4.5f - 9.0f * j / cells;
                m.vertices.insert(m.vertices.end(), {x, 0.4f * std::sin(x * 0.9f + z * 0.4f), z});
                tvertex(m, i, j);
            }
        }
        for (int j = 0; j < cells; ++j) {
            for (int i = 0; i < cells; ++i) {
                const int a = j * (cells + 1) + i, b = a + cells + 1;
                m.faces.push_back({{a, b, b + 1}, {a, b, b + 1}, 0});
                m.faces.push_back({{a, b + 1, a + 1}, {a, b + 1, a + 1}, 0});
            }
        }
        return m;
    }
    static qvntest::Scene GridScene(int mode) {
        qvntest::Scene s = ModeScene(ModeCase(mode));
        const float len = std::sqrt(0.3f * 0.3f + 1.0f + 0.2f * 0.2f);
        Turn(s.objects[2], 0.17f, 0.3f / len, 1.0f / len, 0.2f / len);
        s.meshes[0] = Grid(6, [](qvntest::Mesh& m, int i, int j) {
            m.tvertices.insert(m.tvertices.end(), {i / 3.0f, j / 4.0f});
        });
        return s;
    }
};

// A camera inside a tube that crosses its near plane and every screen border:
// the walls leave no pixel of the background, and with a black texture under a
// white map every pixel the texture pass draws gets the map too.
TEST_F(Scenes, CameraInsideATurningTubeSeesOnlyTube) {
    for (int frame = 0; frame < 8; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        Render(TubeScene(1), frame);
        EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_COPY);
        EXPECT_EQ(CountInFrame(kMarker), 0) << "background showing";
        EXPECT_EQ(CountInFrame(0), (W - 1) * (H - 1));

        Render(TubeScene(1 | 2), frame);
        EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_TEX_ENV);
        EXPECT_EQ(CountInFrame(kMarker), 0) << "background showing";
        EXPECT_EQ(CountInFrame(0), 0) << "texture without its map";
        for (int x = 0; x < W; ++x) ASSERT_EQ(At(x, H - 1), kMarker) << x;
        for (int y = 0; y < H; ++y) ASSERT_EQ(At(W - 1, y), kMarker) << y;
    }
}

// Faces away from the near plane and the borders: every mode but texture +
// map draws what it always drew. Texture + map draws its texture pass as the
// copy mode does and puts the map on all of it; away from the ends of the
// spans (where one face meets the next) the picture is what it always was.
TEST_F(Scenes, FacesWithinTheScreenKeepTheirPictures) {
    const int frames[] = {0, 4, 11};
    std::vector<uint32_t> crcs;
    for (const SModeCase& m : kModeCases) {
        if (m.mode == QVN_MODE_TEX_ENV) continue;
        for (int frame : frames) {
            SCOPED_TRACE(std::string(m.what) + " frame " + std::to_string(frame));
            Render(GridScene(m.mode), frame);
            EXPECT_EQ(r_.m_nRenderMode, m.mode);
            EXPECT_GT(W * H - CountInFrame(kMarker), 5000);
            crcs.push_back(qvn_Crc32(screen_.data(), screen_.size() * 2));
        }
    }

    // The faces told apart: face k samples only block k of a texture of
    // 16 x 16 flat blocks, each its own colour.
    qvntest::Scene ids = GridScene(QVN_MODE_COPY);
    qvntest::Texture& blocks = ids.materials[0].tex[0];
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) blocks.pixels[y * 256 + x] = static_cast<uint8_t>((y / 16) * 16 + x / 16);
    for (int k = 0; k < 256; ++k) {
        blocks.palette[3 * k] = static_cast<uint8_t>((k & 31) * 8);
        blocks.palette[3 * k + 1] = static_cast<uint8_t>((k >> 5) * 32 + 16);
        blocks.palette[3 * k + 2] = 100;
    }
    qvntest::Mesh& grid = ids.meshes[0];
    grid.tvertices.clear();
    for (size_t k = 0; k < grid.faces.size(); ++k) {
        const float u = ((k % 16) * 16 + 8.5f) / 255.0f, v = ((k / 16) * 16 + 8.5f) / 255.0f;
        grid.tvertices.insert(grid.tvertices.end(), {u, v});
        for (int32_t& t : grid.faces[k].t) t = static_cast<int32_t>(k);
    }
    qvntest::Scene under = GridScene(QVN_MODE_COPY), both = GridScene(QVN_MODE_TEX_ENV);
    under.materials[0].tex[0] = both.materials[0].tex[0] = Flat(0);
    both.materials[0].tex[1] = Flat(255);
    for (int frame : frames) {
        SCOPED_TRACE("texture + map frame " + std::to_string(frame));
        Render(ids, frame);
        const std::vector<uint16_t> face = screen_;
        Render(under, frame);
        const std::vector<uint16_t> texturePass = screen_;
        Render(both, frame);
        EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_TEX_ENV);
        int drawn = 0, mapped = 0, beyond = 0, otherFaces = 0;
        for (int i = 0; i < W * H; ++i) {
            otherFaces += (face[i] == kMarker) != (texturePass[i] == kMarker);
            drawn += texturePass[i] != kMarker;
            mapped += texturePass[i] != kMarker && screen_[i] == 0xFFFF;
            beyond += texturePass[i] == kMarker && screen_[i] != kMarker;
        }
        EXPECT_EQ(otherFaces, 0) << "the faces told apart cover other pixels";
        EXPECT_GT(drawn, 12000);
        EXPECT_EQ(mapped, drawn) << "texture without its map";
        EXPECT_EQ(beyond, 0) << "map beyond the texture";

        Render(GridScene(QVN_MODE_TEX_ENV), frame);
        EXPECT_EQ(r_.m_nRenderMode, QVN_MODE_TEX_ENV);
        int inner = 0;
        std::vector<uint16_t> kept(W * H, kMarker);
        for (int y = 0; y < H; ++y) {
            for (int x = 1; x + 1 < W; ++x) {
                const int i = y * W + x;
                if (face[i] == kMarker || face[i - 1] != face[i] || face[i + 1] != face[i]) continue;
                kept[i] = screen_[i];
                ++inner;
            }
        }
        EXPECT_GT(inner, 10000);
        crcs.push_back(qvn_Crc32(kept.data(), kept.size() * 2));
    }

    // As drawn before texture + map put its map on exactly its texture's
    // pixels (x86-64, SSE float math).
    const uint32_t golden[] = {0x2D9558A0, 0xD87B8E23, 0x6157FC6A, 0x7496E791, 0x6C944F62, 0x09C0C8DF,
                               0x5D00362B, 0x1835869D, 0x1DC620E8, 0x0A99A028, 0xBFBF4713, 0x81354DCB,
                               0x6267DE23, 0x35852D8C, 0xCB2E2659, 0x0C7D547C, 0x390944E3, 0x294E26F9};
    ASSERT_EQ(crcs.size(), std::size(golden));
    for (size_t i = 0; i < crcs.size(); ++i) EXPECT_EQ(crcs[i], golden[i]) << "picture " << i;
    std::sort(crcs.begin(), crcs.end());
    EXPECT_EQ(std::unique(crcs.begin(), crcs.end()), crcs.end());
}

}  // namespace
