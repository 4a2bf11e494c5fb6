// Fill rate of each span filler on full-screen perspective quads, against a
// plain per-pixel-divide filler, and the cost of a whole scene frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "qvn_TestScene.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

namespace {

constexpr int W = 320, H = 240;

struct Bench {
    qvn_cPixelFormat pf;
    qvn_cTextureCache cache;
    std::vector<uint16_t> screen = std::vector<uint16_t>(W * H, 0x1234);
    qvn_cSoftRenderer r;
    qvn_cTextureSoft tex, mask, fogged;
    qvn_cMesh mesh;
    qvn_cFace poly{4};
    qvn_cVertex verts[4];
    const uint8_t *slotTex = nullptr, *slotMask = nullptr, *slotFog = nullptr;

    Bench() {
        pf.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
        cache.Create(&pf);
        r.SetTarget(screen.data(), W, H, W, pf);
        r.SetTextureCache(&cache);
        std::vector<uint8_t> idx(65536), pal(768);
        for (int i = 0; i < 65536; ++i) idx[i] = static_cast<uint8_t>((i ^ (i >> 8)) & 255);
        for (int i = 0; i < 768; ++i) pal[i] = static_cast<uint8_t>(i & 255);
        tex.loadIndexed(idx.data(), pal.data(), 256, 256);
        mask.loadIndexed(idx.data(), pal.data(), 256, 256);
        fogged.loadIndexed(idx.data(), pal.data(), 256, 256);
        fogged.m_bFogged = 1;
        slotTex = cache.Lookup(&tex);
        slotMask = cache.Lookup(&mask);
        slotFog = cache.Lookup(&fogged);
        // Covers the screen, receding from depth 1 at the top to 4 at the bottom.
        const float x[4] = {0, 0, 319, 319}, y[4] = {0, 239, 239, 0}, z[4] = {1, 4, 4, 1};
        const float u[4] = {0, 0, 2, 2}, v[4] = {0, 2, 2, 0};
        mesh.m_bVisible = 1;
        poly.m_pMesh = &mesh;
        for (int i = 0; i < 4; ++i) {
            poly.m_pVertex[i] = &verts[i];
            verts[i].m_Screen = {x[i], y[i]};
            verts[i].m_Shade.fogOverZ = 0.5f / z[i];
            qvn_cCorner& c = poly.m_Corner[i];
            c.iz = 1.0f / z[i];
            c.uz = u[i] * c.iz;
            c.vz = v[i] * c.iz;
            c.euz = 0.25f * c.iz * (i + 1);
            c.evz = 0.2f * c.iz * (4 - i);
        }
    }
};

// range(1) = 1: the plain row loops only, where the wide (AVX2) copy exists.
void BM_Fill(benchmark::State& state) {
    static Bench b;
    const int mode = static_cast<int>(state.range(0));
    qvn_ForceGenericRasterRows(state.range(1) != 0);
    b.r.SetRenderMode(mode);
    b.r.m_pUnit[0] = mode == QVN_MODE_FOG ? b.slotFog : b.slotTex;
    b.r.m_pUnit[1] = b.slotMask;
    b.r.Begin();
    for (auto _ : state) {
        b.r.Fill(&b.poly);
        benchmark::ClobberMemory();
    }
    b.r.End();
    qvn_ForceGenericRasterRows(false);
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 319 * 239 / 1e6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Fill)->ArgsProduct({{QVN_MODE_COPY, QVN_MODE_ADD, QVN_MODE_MASK, QVN_MODE_ENV, QVN_MODE_TEX_ENV,
                                  QVN_MODE_FOG},
                                 {0, 1}});

// What one would write first: a divide per pixel, float texel addressing.
void BM_FillPerPixelDivide(benchmark::State& state) {
    static Bench b;
    const uint16_t* tex = reinterpret_cast<const uint16_t*>(b.slotTex);
    for (auto _ : state) {
        for (int y = 0; y < 239; ++y) {
            const float t = y / 239.0f;
            const float iz = 1.0f + (0.25f - 1.0f) * t, vz = 2.0f * 0.25f * t;
            for (int x = 0; x < 319; ++x) {
                const float s = x / 319.0f;
                const float uz = 2.0f * iz * s;
                const int u = static_cast<int>(uz / iz * 255.0f) & 255;
                const int v = static_cast<int>(vz / iz * 255.0f) & 255;
                b.screen[y * W + x] = tex[v * 256 + u];
            }
        }
        benchmark::ClobberMemory();
    }
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 319 * 239 / 1e6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FillPerPixelDivide);

// A 48 x 48 grid of quads (4608 faces) turning in front of the camera.
void BM_SceneFrame(benchmark::State& state) {
    static Bench b;
    qvntest::Scene s = qvntest::BasicScene(1, 2);
    for (qvntest::Texture& t : s.materials[0].tex) t = qvntest::GradientTexture(256, 256);
    qvntest::Track track;
    track.isStatic = false;
    track.keys.clear();
    for (int k = 0; k < 60; ++k) track.keys.push_back(qvntest::Key{0, 0, 0, k * 0.02f, 0.2f, 0, 1});
    s.objects[2].tracks = {track};
    qvntest::Mesh grid;
    grid.object = 2;
    const int n = 48;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            grid.vertices.insert(grid.vertices.end(), {-6.0f + 12.0f * i / n, 0.3f * std::sin(i * 0.5f), 6.0f - 12.0f * j / n});
            grid.tvertices.insert(grid.tvertices.end(), {static_cast<float>(i) / n, static_cast<float>(j) / n});
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, bl = a + n + 1;
            grid.faces.push_back({{a, bl, bl + 1}, {a, bl, bl + 1}, 0});
            grid.faces.push_back({{a, bl + 1, a + 1}, {a, bl + 1, a + 1}, 0});
        }
    s.meshes[0] = grid;
    const std::vector<uint8_t> bytes = s.Build();
    qvn_cScene scene;
    scene.m_pRenderer = &b.r;
    qvn_cImporter importer;
    if (!importer.LoadBuffer(bytes.data(), bytes.size(), &scene)) {
        state.SkipWithError("scene did not load");
        return;
    }
    b.cache.Reset();
    b.r.m_pCurrentMaterial = nullptr;
    b.cache.PrepareScene(&scene);
    int frame = 0;
    for (auto _ : state) {
        scene.m_nFrame = frame++ % 60;
        scene.Render();
        benchmark::ClobberMemory();
    }
    state.counters["faces"] = scene.m_nTotalFaces;
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
