// Time per frame of the hot imaging paths on a 320 x 240 5-6-5 screen.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "qvn_Bitmap.h"
#include "qvn_BitmapLayers.h"

namespace {

constexpr int kW = 320, kH = 240;

uint32_t Noise(int x, int y) {
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 13;
    return h & 0xFFFFFF;
}

std::unique_ptr<qvn_cBitmap> Picture(int seed) {
    auto b = std::make_unique<qvn_cBitmap>(kW, kH, 16);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) b->m_p32bitsPixels[y * kW + x] = Noise(x + seed * 977, y);
    b->setNbpp(16);
    return b;
}

// Ten full-screen layers of one mode; range(0) the mode, range(1) the
// strength in percent (100 takes the shortcut paths).
void BM_GetMergedTenLayers(benchmark::State& state) {
    const int fx = int(state.range(0));
    const float scale = float(state.range(1)) / 100.0f;
    std::vector<std::unique_ptr<qvn_cBitmap>> pictures;
    qvn_cBitmapLayers layers;
    for (int i = 0; i < 10; ++i) {
        pictures.push_back(Picture(i));
        // Slightly different strengths per layer, as a part's fades give.
        const float s = scale == 1.0f ? 1.0f : scale - 0.01f * float(i);
        layers.add(pictures.back().get(), i == 0 ? QVN_FX_NORMAL : fx, s, s, s);
    }
    std::vector<uint16_t> screen(size_t(kW) * kH);
    for (auto _ : state) {
        layers.getMerged(screen.data(), kW, kH);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(fx == 0 ? "normal" : fx == 1 ? "additive" : fx == 2 ? "colorDodge" : "chromakey");
}
BENCHMARK(BM_GetMergedTenLayers)
    ->ArgsProduct({{0, 1, 2, 3}, {100, 50}})
    ->Unit(benchmark::kMicrosecond);

void BM_HorizontalBlurFast(benchmark::State& state) {
    auto b = Picture(1);
    for (auto _ : state) {
        b->horizontalBlurFast(int(state.range(0)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HorizontalBlurFast)->Arg(4)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_VerticalBlurFast(benchmark::State& state) {
    auto b = Picture(2);
    for (auto _ : state) {
        b->verticalBlurFast(int(state.range(0)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_VerticalBlurFast)->Arg(8)->Unit(benchmark::kMicrosecond);

void BM_HorizontalBlur(benchmark::State& state) {
    auto b = Picture(3);
    for (auto _ : state) {
        b->horizontalBlur(int(state.range(0)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HorizontalBlur)->Arg(6)->Unit(benchmark::kMicrosecond);

void BM_FadeToColour(benchmark::State& state) {
    auto b = Picture(4);
    float amount = 0.0f;
    for (auto _ : state) {
        b->fadePixels(1.0f, 1.0f, 1.0f, amount);
        amount = amount >= 1.0f ? 0.0f : amount + 0.01f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FadeToColour)->Unit(benchmark::kMicrosecond);

void BM_FadeToBitmap(benchmark::State& state) {
    auto a = Picture(5), b = Picture(6);
    float amount = 0.0f;
    for (auto _ : state) {
        a->fadePixels(b.get(), amount);
        amount = amount >= 1.0f ? 0.0f : amount + 0.01f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FadeToBitmap)->Unit(benchmark::kMicrosecond);

void BM_Zoom(benchmark::State& state) {
    auto b = Picture(7);
    float z = 0.5f;
    for (auto _ : state) {
        b->zoom(z, z);
        z = z >= 3.0f ? 0.5f : z + 0.01f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Zoom)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
