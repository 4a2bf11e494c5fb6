// The metaballs' per-frame cost: field sampling and marching cubes, the
// environment-mapped fill, and the whole pass, at the show's sizes and with
// the triangle budget full; the fill against a plain per-pixel reference
// filler (barycentric, one divide per pixel), the one a user would write
// first.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "qvn_EnvFiller.h"
#include "qvn_MetaballField.h"
#include "qvn_PartMetaballs.h"
#include "qvn_Random.h"

namespace {

struct SSetup {
    qvn_cMetaballField field;
    std::vector<uint16_t> screen = std::vector<uint16_t>(320 * 240);
    std::vector<uint16_t> map = std::vector<uint16_t>(65536);
    qvn_SEnvTarget target{nullptr, 320, 320, 240};
    explicit SSetup(bool fullBudget) {
        target.pixels = screen.data();
        for (int i = 0; i < 65536; ++i) map[i] = static_cast<uint16_t>(i * 2654435761u >> 16);
        field.init();
        qvn_srand(1);
        field.randomiseMotion();
        if (fullBudget) {
            // Larger balls at a lower level: more surface than the budget holds.
            field.m_fRadius = 30.0f;
            field.m_fRadius2 = 900.0f;
            field.m_fInvRadius2 = 1.0f / 900.0f;
        }
    }
};

void BM_FieldAndMarch(benchmark::State& state) {
    SSetup s(state.range(0) != 0);
    float T = 0.0f;
    long triangles = 0;
    for (auto _ : state) {
        T += 0.08f;
        s.field.moveBalls(T);
        s.field.polygonise();
        triangles += s.field.m_nTriangles;
        benchmark::DoNotOptimize(s.field.m_pTriangles);
    }
    state.counters["triangles"] = static_cast<double>(triangles) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FieldAndMarch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_WholePass(benchmark::State& state) {
    SSetup s(state.range(0) != 0);
    float T = 0.0f;
    for (auto _ : state) {
        T += 0.08f;
        qvn_cPartMetaballs::drawBalls(s.field, T, s.map.data(), s.target);
        benchmark::ClobberMemory();
    }
    state.counters["triangles"] = s.field.m_nTriangles;
}
BENCHMARK(BM_WholePass)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same triangles filled by the engine's filler and by the reference.
void ReferenceFill(const qvn_SEnvTarget& t, const uint16_t* tex, qvn_SEnvPoint a, qvn_SEnvPoint b, qvn_SEnvPoint c) {
    const int x0 = std::max(0, std::min({a.x, b.x, c.x})), x1 = std::min(t.width - 1, std::max({a.x, b.x, c.x}));
    const int y0 = std::max(0, std::min({a.y, b.y, c.y})), y1 = std::min(t.height - 1, std::max({a.y, b.y, c.y}));
    const float area = float(b.x - a.x) * float(c.y - a.y) - float(c.x - a.x) * float(b.y - a.y);
    if (area == 0.0f) return;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float w1 = (float(x - a.x) * float(c.y - a.y) - float(c.x - a.x) * float(y - a.y)) / area;
            const float w2 = (float(b.x - a.x) * float(y - a.y) - float(x - a.x) * float(b.y - a.y)) / area;
            const float w0 = 1.0f - w1 - w2;
            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
            const int u = int(w0 * a.u + w1 * b.u + w2 * c.u) & 255, v = int(w0 * a.v + w1 * b.v + w2 * c.v) & 255;
            t.pixels[y * t.pitchPixels + x] = tex[(v << 8) | u];
        }
}

void BM_Fill(benchmark::State& state) {
    SSetup s(state.range(1) != 0);
    s.field.moveBalls(40.0f);
    s.field.polygonise();
    std::vector<qvn_SEnvPoint> points;
    for (int i = s.field.m_nTriangles - 1; i >= 0; --i)
        for (const qvn_SMetaVertex& v : s.field.m_pTriangles[i].v) {
            const float d = v.z + 32.0f;
            points.push_back({int(v.x * 240.0f / d + 160.0f), int(v.y * 240.0f / d + 160.0f),
                              std::clamp(int(v.nx * 350.0f + 128.0f), 0, 255),
                              std::clamp(int(v.ny * 350.0f + 128.0f), 0, 255)});
        }
    const bool reference = state.range(0) != 0;
    for (auto _ : state) {
        for (size_t i = 0; i < points.size(); i += 3) {
            if (reference)
                ReferenceFill(s.target, s.map.data(), points[i], points[i + 1], points[i + 2]);
            else
                qvn_FillEnvTriangle(s.target, s.map.data(), points[i], points[i + 1], points[i + 2]);
        }
        benchmark::ClobberMemory();
    }
    state.counters["triangles"] = static_cast<double>(points.size() / 3);
}
// (filler: 0 engine, 1 reference) x (0 show's balls, 1 budget full)
BENCHMARK(BM_Fill)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
