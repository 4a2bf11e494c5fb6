// Per-frame effects: each reads the master copy and rewrites the display copy
// in place, so none of them allocates.
#include "qvn_BitmapFilters.h"
#include "qvn_BitmapKernels.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#define BITMAP_LOG(...) qvn_MessageLogPrintf(m_pErrorLog, __VA_ARGS__)

namespace {
bool g_bForceGenericKernels = false;
}  // namespace

bool qvn_BitmapKernelsUseAvx2() {
#if QVN_AVX2_KERNELS
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has && !g_bForceGenericKernels;
#else
    return false;
#endif
}

bool qvn_ForceGenericBitmapRows(bool force) {
    g_bForceGenericKernels = false;
    const bool avx2 = qvn_BitmapKernelsUseAvx2();
    g_bForceGenericKernels = force;
    return avx2;
}

int16_t (*qvn_cBitmap::m_pppArrayFadingValues)[64][64] = nullptr;
int16_t (*qvn_cBitmap::m_pppArrayAdditiveValues)[64][64] = nullptr;

namespace {

int16_t g_FadingValues[64][64][64];
int16_t g_AdditiveValues[64][64][64];

// 8-bit channels to one display pixel.
struct Pack555 {
    using Pixel = uint16_t;
    static uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
        return static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
    }
    static uint16_t convert(uint32_t p) { return qvn_Rgb32To555(p); }
};
struct Pack565 {
    using Pixel = uint16_t;
    static uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
        return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    }
    static uint16_t convert(uint32_t p) { return qvn_Rgb32To565(p); }
};
struct Pack32 {
    using Pixel = uint32_t;
    static uint32_t pack(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }
    static uint32_t convert(uint32_t p) { return p; }
};

// Calls fn with the packer of eBpp; false for an eBpp the display copy cannot have.
template <class Fn>
bool WithFormat(int eBpp, Fn&& fn) {
    switch (eBpp) {
    case QVN_BPP_555: fn(Pack555()); return true;
    case QVN_BPP_565: fn(Pack565()); return true;
    case QVN_BPP_24:
    case QVN_BPP_32: fn(Pack32()); return true;
    default: return false;
    }
}

float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }  // NaN gives 0

// Division of a window sum by the window size.
struct ShiftDiv {
    int shift;
    uint32_t operator()(uint64_t sum) const { return uint32_t(sum >> shift); }
};
// Exact division by multiplication: with m = 2^40 / w + 1 the error stays
// below one step as long as 255 * w * w < 2^40, which holds for w < 65536.
struct MulDiv {
    uint64_t mul;
    uint64_t w;
    uint32_t operator()(uint64_t sum) const { return w < 65536 ? uint32_t((sum * mul) >> 40) : uint32_t(sum / w); }
};

// Running sums of the three channels of a window.
template <class T>
struct SeparateSums {
    T r = 0, g = 0, b = 0;
    void add(uint32_t p, T times = 1) {
        r += times * ((p >> 16) & 0xFF);
        g += times * ((p >> 8) & 0xFF);
        b += times * (p & 0xFF);
    }
    void slide(uint32_t out, uint32_t in) {
        r = r + T((in >> 16) & 0xFF) - T((out >> 16) & 0xFF);
        g = g + T((in >> 8) & 0xFF) - T((out >> 8) & 0xFF);
        b = b + T(in & 0xFF) - T(out & 0xFF);
    }
    uint64_t R() const { return r; }
    uint64_t G() const { return g; }
    uint64_t B() const { return b; }
};

// The three sums side by side in 21-bit fields of one word, so a slide is one
// addition and one subtraction. Windows up to 8192 pixels keep every field
// (255 * 8193 at most, mid-slide) below 2^21, and no field ever goes negative
// because the entering pixel is added before the leaving one is taken away.
struct PackedSums {
    static constexpr int kMaxWindow = 8192;
    uint64_t v = 0;
    static uint64_t spread(uint32_t p) {
        return (uint64_t(p & 0xFF0000) << 26) | (uint64_t(p & 0xFF00) << 13) | uint64_t(p & 0xFF);
    }
    void add(uint32_t p, uint64_t times = 1) { v += times * spread(p); }
    void slide(uint32_t out, uint32_t in) { v = v + spread(in) - spread(out); }
    uint64_t R() const { return v >> 42; }
    uint64_t G() const { return (v >> 21) & 0x1FFFFF; }
    uint64_t B() const { return v & 0x1FFFFF; }
};

// Box blur over the image taken as one run of n pixels (rows run into each
// other): out[i] = div(sum of src[i - h .. i - h + w - 1]). Indices outside the
// run are clamped to its ends, which only matters for the first h and the last
// few pixels: inside, the window never leaves the run.
template <class Sums, class P, class Div>
QVN_KERNEL void BlurRun(const uint32_t* src, typename P::Pixel* dst, int64_t n, int64_t w, Div div) {
    const int64_t h = w / 2;
    auto at = [&](int64_t j) { return src[j < 0 ? 0 : (j >= n ? n - 1 : j)]; };
    // Initial window of pixel 0: indices -h .. w - h - 1.
    Sums sums;
    {
        const int64_t hi = w - h - 1;
        const int64_t inEnd = hi < n - 1 ? hi : n - 1;
        const int64_t above = hi > n - 1 ? hi - (n - 1) : 0;
        sums.add(src[0], h);  // indices -h .. -1
        if (above) sums.add(src[n - 1], above);
        for (int64_t j = 0; j <= inEnd; ++j) sums.add(src[j]);
    }
    auto emit = [&](int64_t i) { dst[i] = P::pack(div(sums.R()), div(sums.G()), div(sums.B())); };
    // Middle: both the leaving index i - h and the entering index i - h + w lie
    // inside the run.
    const int64_t midBegin = h < n ? h : n;
    int64_t midEnd = n - 1 - w + h;  // last i with i - h + w <= n - 1
    if (midEnd < midBegin - 1) midEnd = midBegin - 1;
    int64_t i = 0;
    for (; i < midBegin; ++i) {
        emit(i);
        sums.slide(at(i - h), at(i - h + w));
    }
    if constexpr (std::is_same_v<Sums, PackedSums>) {
        // In chunks: the differences and the packing have no carried
        // dependency and vectorise; only the running sum is serial.
        constexpr int64_t kChunk = 256;
        uint64_t run[kChunk];
        for (; i <= midEnd; i += kChunk) {
            const int64_t count = midEnd - i + 1 < kChunk ? midEnd - i + 1 : kChunk;
            const uint32_t* leave = src + (i - h);
            const uint32_t* enter = leave + w;
            for (int64_t k = 0; k < count; ++k) run[k] = PackedSums::spread(enter[k]) - PackedSums::spread(leave[k]);
            uint64_t v = sums.v;
            for (int64_t k = 0; k < count; ++k) {
                const uint64_t step = run[k];
                run[k] = v;
                v += step;
            }
            sums.v = v;
            typename P::Pixel* out = dst + i;
            for (int64_t k = 0; k < count; ++k)
                out[k] = P::pack(div(run[k] >> 42), div((run[k] >> 21) & 0x1FFFFF), div(run[k] & 0x1FFFFF));
        }
        i = midEnd + 1;
    } else {
        for (; i <= midEnd; ++i) {
            emit(i);
            sums.slide(src[i - h], src[i - h + w]);
        }
    }
    for (; i < n; ++i) {
        emit(i);
        if (i + 1 < n) sums.slide(at(i - h), at(i - h + w));
    }
}

template <class P, class Div>
QVN_AVX2 void PackedBlurRunAvx2(const uint32_t* src, typename P::Pixel* dst, int64_t n, int64_t w, Div div) {
    BlurRun<PackedSums, P>(src, dst, n, w, div);
}

// The fast blur for windows of up to 256 pixels, where a window's channel sum
// fits 16 bits: the image in chunks, each chunk's channels (with the window's
// overhang, indices clamped to the run as BlurRun clamps them) summed over
// the window by doubling (pairs, then fours, ...), a pass of independent
// 16-bit additions each; then divided by the window. Integer sums in any
// order are the same sums, so the pixels are BlurRun's, without its running
// sum's one addition after another.
constexpr int kSmallWindowShift = 8;

template <class P>
QVN_KERNEL void SmallWindowBlurRun(const uint32_t* src, typename P::Pixel* dst, int64_t n, int shift) {
    constexpr int64_t kChunk = 1024, kPad = int64_t(1) << kSmallWindowShift;
    const int64_t w = int64_t(1) << shift, h = w / 2;
    uint16_t bufA[3][kChunk + kPad], bufB[3][kChunk + kPad];
    for (int64_t i0 = 0; i0 < n; i0 += kChunk) {
        const int64_t count = n - i0 < kChunk ? n - i0 : kChunk;
        const int64_t len = count + w - 1;
        // Element j is pixel i0 - h + j of the run, clamped to its ends.
        uint16_t* __restrict r = bufA[0];
        uint16_t* __restrict g = bufA[1];
        uint16_t* __restrict b = bufA[2];
        const int64_t first = i0 - h;
        int64_t j = 0;
        for (; j < len && first + j < 0; ++j) {
            r[j] = uint16_t((src[0] >> 16) & 0xFF);
            g[j] = uint16_t((src[0] >> 8) & 0xFF);
            b[j] = uint16_t(src[0] & 0xFF);
        }
        const int64_t inside = len < n - first ? len : n - first;
        const uint32_t* __restrict in = src + first;
        for (; j < inside; ++j) {
            r[j] = uint16_t((in[j] >> 16) & 0xFF);
            g[j] = uint16_t((in[j] >> 8) & 0xFF);
            b[j] = uint16_t(in[j] & 0xFF);
        }
        for (; j < len; ++j) {
            r[j] = uint16_t((src[n - 1] >> 16) & 0xFF);
            g[j] = uint16_t((src[n - 1] >> 8) & 0xFF);
            b[j] = uint16_t(src[n - 1] & 0xFF);
        }
        // After the pass of step s, element j sums the 2s elements from j on.
        uint16_t(*from)[kChunk + kPad] = bufA;
        uint16_t(*to)[kChunk + kPad] = bufB;
        int64_t valid = len;
        for (int64_t step = 1; step < w; step <<= 1) {
            valid -= step;
            for (int c = 0; c < 3; ++c) {
                const uint16_t* __restrict a = from[c];
                uint16_t* __restrict o = to[c];
                for (int64_t k = 0; k < valid; ++k) o[k] = uint16_t(a[k] + a[k + step]);
            }
            uint16_t(*t)[kChunk + kPad] = from;
            from = to;
            to = t;
        }
        const uint16_t* __restrict sr = from[0];
        const uint16_t* __restrict sg = from[1];
        const uint16_t* __restrict sb = from[2];
        typename P::Pixel* __restrict out = dst + i0;
        for (int64_t k = 0; k < count; ++k)
            out[k] = P::pack(uint32_t(sr[k] >> shift), uint32_t(sg[k] >> shift), uint32_t(sb[k] >> shift));
    }
}

template <class P>
QVN_AVX2 void SmallWindowBlurRunAvx2(const uint32_t* src, typename P::Pixel* dst, int64_t n, int shift) {
    SmallWindowBlurRun<P>(src, dst, n, shift);
}

template <class P, class Div>
void BlurRunAnyWindow(const uint32_t* src, typename P::Pixel* dst, int64_t n, int64_t w, Div div) {
    if (w <= PackedSums::kMaxWindow && qvn_BitmapKernelsUseAvx2())
        PackedBlurRunAvx2<P>(src, dst, n, w, div);
    else if (w <= PackedSums::kMaxWindow)
        BlurRun<PackedSums, P>(src, dst, n, w, div);
    else
        BlurRun<SeparateSums<uint64_t>, P>(src, dst, n, w, div);
}

// Vertical box blur of rows r - h .. r + h - 1, rows taken cyclically. Columns
// go in strips so the running column sums fit on the stack.
template <class Acc, class P>
void VerticalBlur(const uint32_t* src, typename P::Pixel* dst, int width, int height, int64_t w, int shift) {
    constexpr int kStrip = 256;
    Acc sr[kStrip], sg[kStrip], sb[kStrip];
    const int64_t h = w / 2;
    const int64_t fullCycles = w / height;
    const int64_t rest = w % height;
    const int firstRow = int(((-h) % height + height) % height);
    for (int x0 = 0; x0 < width; x0 += kStrip) {
        const int cols = width - x0 < kStrip ? width - x0 : kStrip;
        for (int c = 0; c < cols; ++c) sr[c] = sg[c] = sb[c] = 0;
        auto addRow = [&](int row, Acc times) {
            const uint32_t* s = src + size_t(row) * width + x0;
            for (int c = 0; c < cols; ++c) {
                sr[c] += times * ((s[c] >> 16) & 0xFF);
                sg[c] += times * ((s[c] >> 8) & 0xFF);
                sb[c] += times * (s[c] & 0xFF);
            }
        };
        if (fullCycles)
            for (int row = 0; row < height; ++row) addRow(row, Acc(fullCycles));
        for (int64_t k = 0; k < rest; ++k) addRow(int((firstRow + k) % height), 1);
        for (int row = 0; row < height; ++row) {
            typename P::Pixel* d = dst + size_t(row) * width + x0;
            for (int c = 0; c < cols; ++c)
                d[c] = P::pack(uint32_t(sr[c] >> shift), uint32_t(sg[c] >> shift), uint32_t(sb[c] >> shift));
            if (row + 1 == height) break;
            const uint32_t* leave = src + size_t(((row - h) % height + height) % height) * width + x0;
            const uint32_t* enter = src + size_t((row + w - h) % height) * width + x0;
            for (int c = 0; c < cols; ++c) {
                sr[c] = sr[c] + Acc((enter[c] >> 16) & 0xFF) - Acc((leave[c] >> 16) & 0xFF);
                sg[c] = sg[c] + Acc((enter[c] >> 8) & 0xFF) - Acc((leave[c] >> 8) & 0xFF);
                sb[c] = sb[c] + Acc(enter[c] & 0xFF) - Acc(leave[c] & 0xFF);
            }
        }
    }
}

}  // namespace

int qvn_FastBlurShift(int nRadius) {
    const unsigned v = nRadius < 2 ? 3u : unsigned(nRadius) | 1u;
    int s = 0;
    while ((v >> (s + 1)) != 0) ++s;
    return s;
}

int qvn_BlurWindow(int nRadius) { return (nRadius < 2 ? 2 : nRadius) & ~1; }

double qvn_FadeStep(int k) {
    const float oneOver63 = 0.015873017f;  // 0x3C820821
    return double(k) * double(oneOver63);
}

namespace {

qvn_SFadeMul FadeMul(int k) {
    for (uint32_t shift = 10;; --shift) {
        // From the smallest multiplier that reaches the top value (d = 63)
        // upwards, until one is exact or one overshoots.
        const uint32_t unit = uint32_t(63) << shift;
        for (uint32_t mul = ((uint32_t(4 * k) << 16) + unit - 1) / unit; mul < 65536; ++mul) {
            bool exact = true, over = false;
            for (uint32_t d = 0; d < 64 && exact; ++d) {
                const uint32_t got = ((d << shift) * mul) >> 16, want = 4u * uint32_t(k) * d / 63u;
                exact = got == want;
                over = got > want;
            }
            if (exact) return qvn_SFadeMul{uint16_t(shift), uint16_t(mul)};
            if (over) break;
        }
        if (shift == 0) return qvn_SFadeMul{0, 0};  // not reached: every k has a pair (the tests cover all 64)
    }
}

}  // namespace

const qvn_SFadeMul* qvn_FadeMuls() {
    static const struct Muls {
        qvn_SFadeMul m[64];
        Muls() {
            for (int k = 0; k < 64; ++k) m[k] = FadeMul(k);
        }
    } muls;
    return muls.m;
}

void qvn_cBitmap::buildFadingTables() {
    if (m_pppArrayFadingValues) return;
    for (int i = 0; i < 64; ++i)
        for (int j = 0; j < 64; ++j)
            for (int k = 0; k < 64; ++k) {
                const double t = qvn_FadeStep(k);
                g_FadingValues[i][j][k] = static_cast<int16_t>(std::trunc(double(j - i) * t * 4.0));
                double sum = (double(i) + double(j) * t) * 4.0;
                sum = sum < 0.0 ? 0.0 : (sum > 255.0 ? 255.0 : sum);
                g_AdditiveValues[i][j][k] = static_cast<int16_t>(std::trunc(sum));
            }
    m_pppArrayFadingValues = g_FadingValues;
    m_pppArrayAdditiveValues = g_AdditiveValues;
}

void qvn_cBitmap::horizontalBlurFast(int nRadius) {
    if (!m_p32bitsPixels || !m_pBitmapPixels) {
        BITMAP_LOG("qvn_cBitmap::horizontalBlurFast() : pixels Ptr are NULL Ptrs.\n");
        return;
    }
    const int shift = qvn_FastBlurShift(nRadius);
    const int64_t n = int64_t(m_nSizeX) * m_nSizeY;
    if (n <= 0) return;
    WithFormat(m_eBpp, [&](auto p) {
        using P = decltype(p);
        auto* out = reinterpret_cast<typename P::Pixel*>(m_pBitmapPixels);
        if (shift <= kSmallWindowShift && qvn_BitmapKernelsUseAvx2())
            SmallWindowBlurRunAvx2<P>(m_p32bitsPixels, out, n, shift);
        else
            BlurRunAnyWindow<P>(m_p32bitsPixels, out, n, int64_t(1) << shift, ShiftDiv{shift});
    });
}

void qvn_cBitmap::horizontalBlur(int nRadius) {
    const int64_t w = qvn_BlurWindow(nRadius);
    if (m_eBpp < 15 || m_eBpp > 32) return;
    if (!m_p32bitsPixels || !m_pBitmapPixels) {
        BITMAP_LOG("qvn_cBitmap::horizontalBlur() : pixels Ptr are NULL Ptrs.\n");
        return;
    }
    const int64_t n = int64_t(m_nSizeX) * m_nSizeY;
    if (n <= 0) return;
    const MulDiv div{(uint64_t(1) << 40) / uint64_t(w) + 1, uint64_t(w)};
    WithFormat(m_eBpp, [&](auto p) {
        using P = decltype(p);
        BlurRunAnyWindow<P>(m_p32bitsPixels, reinterpret_cast<typename P::Pixel*>(m_pBitmapPixels), n, w, div);
    });
}

void qvn_cBitmap::verticalBlurFast(int nRadius) {
    if (!m_p32bitsPixels || !m_pBitmapPixels) {
        BITMAP_LOG("qvn_cBitmap::verticalBlurFast() : pixels Ptr are NULL Ptrs.\n");
        return;
    }
    if (m_nSizeX <= 0 || m_nSizeY <= 0) return;
    const int shift = qvn_FastBlurShift(nRadius);
    const int64_t w = int64_t(1) << shift;
    WithFormat(m_eBpp, [&](auto p) {
        using P = decltype(p);
        auto* dst = reinterpret_cast<typename P::Pixel*>(m_pBitmapPixels);
        if (w < (int64_t(1) << 24))
            VerticalBlur<uint32_t, P>(m_p32bitsPixels, dst, m_nSizeX, m_nSizeY, w, shift);
        else
            VerticalBlur<uint64_t, P>(m_p32bitsPixels, dst, m_nSizeX, m_nSizeY, w, shift);
    });
}

namespace {

// Every pixel of the master copy faded towards one colour (8-bit channels).
template <class P>
QVN_KERNEL void FadeToColourKernel(const uint32_t* __restrict in, typename P::Pixel* __restrict dst, size_t count,
                                   uint16_t r, uint16_t g, uint16_t b, qvn_SFadeMul m) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t s = in[i];
        dst[i] = P::pack(qvn_FadeTowards(uint16_t((s >> 16) & 0xFF), r, m),
                         qvn_FadeTowards(uint16_t((s >> 8) & 0xFF), g, m), qvn_FadeTowards(uint16_t(s & 0xFF), b, m));
    }
}
template <class P>
QVN_AVX2 void FadeToColourAvx2(const uint32_t* __restrict in, typename P::Pixel* __restrict dst, size_t count,
                               uint16_t r, uint16_t g, uint16_t b, qvn_SFadeMul m) {
    FadeToColourKernel<P>(in, dst, count, r, g, b, m);
}
template <class P>
void FadeToColour(const uint32_t* __restrict in, typename P::Pixel* __restrict dst, size_t count, uint16_t r,
                  uint16_t g, uint16_t b, qvn_SFadeMul m) {
    if (qvn_BitmapKernelsUseAvx2())
        FadeToColourAvx2<P>(in, dst, count, r, g, b, m);
    else
        FadeToColourKernel<P>(in, dst, count, r, g, b, m);
}

// Every pixel of one master copy faded towards the same pixel of another.
template <class P>
QVN_KERNEL void FadeBetweenKernel(const uint32_t* __restrict pa, const uint32_t* __restrict pb,
                                  typename P::Pixel* __restrict dst, size_t count, qvn_SFadeMul m) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t x = pa[i], y = pb[i];
        dst[i] = P::pack(qvn_FadeTowards(uint16_t((x >> 16) & 0xFF), uint16_t((y >> 16) & 0xFF), m),
                         qvn_FadeTowards(uint16_t((x >> 8) & 0xFF), uint16_t((y >> 8) & 0xFF), m),
                         qvn_FadeTowards(uint16_t(x & 0xFF), uint16_t(y & 0xFF), m));
    }
}
template <class P>
QVN_AVX2 void FadeBetweenAvx2(const uint32_t* __restrict pa, const uint32_t* __restrict pb,
                              typename P::Pixel* __restrict dst, size_t count, qvn_SFadeMul m) {
    FadeBetweenKernel<P>(pa, pb, dst, count, m);
}
template <class P>
void FadeBetween(const uint32_t* __restrict pa, const uint32_t* __restrict pb, typename P::Pixel* __restrict dst,
                 size_t count, qvn_SFadeMul m) {
    if (qvn_BitmapKernelsUseAvx2())
        FadeBetweenAvx2<P>(pa, pb, dst, count, m);
    else
        FadeBetweenKernel<P>(pa, pb, dst, count, m);
}

}  // namespace

void qvn_cBitmap::fadePixels(float fR, float fG, float fB, float fAmount) {
    if (!m_p32bitsPixels || !m_pBitmapPixels || !m_pppArrayFadingValues) {
        BITMAP_LOG("qvn_cBitmap::fadePixels() : pixels Ptr are NULL Ptr or m_pppArrayFadingValues is NULL ptr.\n");
        return;
    }
    const int tR = int(Clamp01(fR) * 63.0f), tG = int(Clamp01(fG) * 63.0f), tB = int(Clamp01(fB) * 63.0f);
    const int k = int(Clamp01(fAmount) * 63.0f);
    const size_t count = size_t(m_nSizeX) * size_t(m_nSizeY);
    const uint32_t* src = m_p32bitsPixels;
    const qvn_SFadeMul m = qvn_FadeMuls()[k];
    const uint16_t targetR = uint16_t(tR << 2), targetG = uint16_t(tG << 2), targetB = uint16_t(tB << 2);
    const bool known = WithFormat(m_eBpp, [&](auto p) {
        using P = decltype(p);
        FadeToColour<P>(src, reinterpret_cast<typename P::Pixel*>(m_pBitmapPixels), count, targetR, targetG, targetB,
                        m);
    });
    if (!known) BITMAP_LOG("qvn_cBitmap::fadePixels() : Bad eBpp (%d)\n", m_eBpp);
}

void qvn_cBitmap::fadePixels(const qvn_cBitmap* pDstBitmap, float fAmount) {
    if (!pDstBitmap) {
        BITMAP_LOG("qvn_cBitmap::fadePixels() : pDstBitmap is NULL Ptr.\n");
        return;
    }
    if (pDstBitmap->m_nSizeX != m_nSizeX) {
        BITMAP_LOG("qvn_cBitmap::fadePixels() : pDstBitmap sizeX isn't in the same size than this ptr.\n");
        return;
    }
    // The other picture's master copy is read too: without it there is nothing
    // to fade towards.
    if (!m_p32bitsPixels || !m_pBitmapPixels || !m_pppArrayFadingValues || !pDstBitmap->m_p32bitsPixels) {
        BITMAP_LOG("qvn_cBitmap::fadePixels() : pixels Ptr are NULL Ptr or m_pppArrayFadingValues is NULL ptr.\n");
        return;
    }
    const int k = int(Clamp01(fAmount) * 63.0f);
    const int rows = m_nSizeY < pDstBitmap->m_nSizeY ? m_nSizeY : pDstBitmap->m_nSizeY;
    const size_t count = size_t(m_nSizeX) * size_t(rows > 0 ? rows : 0);
    const uint32_t* a = m_p32bitsPixels;
    const uint32_t* b = pDstBitmap->m_p32bitsPixels;
    const qvn_SFadeMul m = qvn_FadeMuls()[k];
    const bool known = WithFormat(m_eBpp, [&](auto p) {
        using P = decltype(p);
        FadeBetween<P>(a, b, reinterpret_cast<typename P::Pixel*>(m_pBitmapPixels), count, m);
    });
    if (!known) BITMAP_LOG("qvn_cBitmap::fadePixels() : Bad eBpp (%d)\n", m_eBpp);
}

namespace {

// One axis of the zoom: destination range, source start and step, 16.16.
struct ZoomAxis {
    int64_t dstBegin, dstCount, srcStart, step;
};

ZoomAxis ZoomRange(float zoom, int size) {
    ZoomAxis a{0, 0, 0, 0};
    if (zoom > 1.0f) {
        // Enlarging: every destination pixel is drawn, from the central part.
        a.dstBegin = 0;
        a.dstCount = size;
        a.srcStart = int64_t(std::trunc((double(size) * zoom - size) / (2.0 * zoom))) << 16;
        a.step = int64_t(65536.0f / zoom);
    } else {
        const int64_t z16 = int64_t(zoom * 65536.0f);
        a.dstCount = (z16 * size) >> 16;
        a.dstBegin = size / 2 - (z16 * size) / 131072;
        a.srcStart = 0;
        // A vanishing zoom draws nothing; do not divide by it.
        a.step = a.dstCount > 0 ? int64_t(65536.0f / zoom) : 0;
    }
    return a;
}

}  // namespace

namespace {

// One zoomed row from its source row and the source column of each pixel.
template <class P>
void ZoomRowPlain(const uint32_t* __restrict src, const int32_t* __restrict columns,
                  typename P::Pixel* __restrict dst, int64_t count) {
    for (int64_t x = 0; x < count; ++x) dst[x] = P::convert(src[columns[x]]);
}

#if QVN_AVX2_KERNELS
// The shifts and masks of the 16-bit conversions (qvn_Rgb32To565 and 555).
template <class P>
struct SConvert16;
template <>
struct SConvert16<Pack565> {
    static constexpr int r = 8, g = 5, b = 3, rMask = 0xF800, gMask = 0x07E0, bMask = 0x001F;
};
template <>
struct SConvert16<Pack555> {
    static constexpr int r = 9, g = 6, b = 3, rMask = 0x7C00, gMask = 0x03E0, bMask = 0x001F;
};

// Eight source pixels per gather, converted in 32-bit lanes as convert does.
template <class P>
QVN_AVX2 void ZoomRowAvx2(const uint32_t* __restrict src, const int32_t* __restrict columns,
                          typename P::Pixel* __restrict dst, int64_t count) {
    using C = SConvert16<P>;
    const __m256i rm = _mm256_set1_epi32(C::rMask), gm = _mm256_set1_epi32(C::gMask), bm = _mm256_set1_epi32(C::bMask);
    int64_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + x));
        const __m256i p = _mm256_i32gather_epi32(reinterpret_cast<const int*>(src), at, 4);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(p, C::r), rm);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(p, C::g), gm);
        const __m256i c = _mm256_or_si256(_mm256_or_si256(r, g), _mm256_and_si256(_mm256_srli_epi32(p, C::b), bm));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x),
                         _mm_packus_epi32(_mm256_castsi256_si128(c), _mm256_extracti128_si256(c, 1)));
    }
    for (; x < count; ++x) dst[x] = P::convert(src[columns[x]]);
}
#endif

template <class P>
void ZoomRow(const uint32_t* __restrict src, const int32_t* __restrict columns, typename P::Pixel* __restrict dst,
             int64_t count) {
#if QVN_AVX2_KERNELS
    if constexpr (sizeof(typename P::Pixel) == 2) {
        if (qvn_BitmapKernelsUseAvx2()) {
            ZoomRowAvx2<P>(src, columns, dst, count);
            return;
        }
    }
#endif
    ZoomRowPlain<P>(src, columns, dst, count);
}

}  // namespace

void qvn_cBitmap::zoom(float fZoomX, float fZoomY) {
    if (!m_pBitmapPixels || !m_p32bitsPixels) return;
    const int bytesPerPixel = qvn_BytesPerPixel(m_eBpp);
    if (bytesPerPixel == 0) return;
    if (fZoomX == 1.0f && fZoomY == 1.0f) {
        // A plain copy, converted into the existing display copy.
        for (int y = 0; y < m_nSizeY; ++y)
            convertRow(m_p32bitsPixels + size_t(y) * m_nSizeX, m_pBitmapPixels + size_t(y) * m_nBytesPerLine,
                       m_nSizeX, m_eBpp);
        return;
    }
    if (fZoomX == 0.0f || fZoomY == 0.0f) {
        std::memset(m_pBitmapPixels, 0, size_t(m_nBytesPerLine) * size_t(m_nSizeY));
        return;
    }
    const float zx = std::fabs(fZoomX), zy = std::fabs(fZoomY);
    // Infinite or undefined factors have no picture to show.
    if (!std::isfinite(zx) || !std::isfinite(zy)) return;
    const ZoomAxis ax = ZoomRange(zx, m_nSizeX);
    const ZoomAxis ay = ZoomRange(zy, m_nSizeY);
    if (ax.dstCount <= 0 || ay.dstCount <= 0) return;
    const int64_t lastCol = m_nSizeX - 1, lastRow = m_nSizeY - 1;
    // The source column of every destination column is the same on every
    // row: worked out once (on the stack, so a frame allocates nothing) for
    // pictures up to kMaxTableColumns wide.
    constexpr int64_t kMaxTableColumns = 2048;
    int32_t columns[kMaxTableColumns];
    const bool table = ax.dstCount <= kMaxTableColumns;
    if (table) {
        int64_t colPos = ax.srcStart;
        for (int64_t x = 0; x < ax.dstCount; ++x, colPos += ax.step)
            columns[x] = static_cast<int32_t>((colPos >> 16) < lastCol ? (colPos >> 16) : lastCol);
    }
    WithFormat(m_eBpp, [&](auto p) {
        using P = decltype(p);
        auto* dstBase = reinterpret_cast<typename P::Pixel*>(m_pBitmapPixels);
        int64_t rowPos = ay.srcStart;
        int64_t previousRow = -1;
        for (int64_t y = 0; y < ay.dstCount; ++y, rowPos += ay.step) {
            const int64_t sy = (rowPos >> 16) < lastRow ? (rowPos >> 16) : lastRow;
            const uint32_t* src = m_p32bitsPixels + size_t(sy) * m_nSizeX;
            typename P::Pixel* dst = dstBase + size_t(ay.dstBegin + y) * m_nSizeX + ax.dstBegin;
            if (sy == previousRow) {
                // Enlarged, a source row gives several rows in a row: the
                // same pixels again.
                std::memcpy(dst, dst - m_nSizeX, size_t(ax.dstCount) * sizeof(*dst));
                continue;
            }
            previousRow = sy;
            if (table) {
                ZoomRow<P>(src, columns, dst, ax.dstCount);
                continue;
            }
            int64_t colPos = ax.srcStart;
            for (int64_t x = 0; x < ax.dstCount; ++x, colPos += ax.step) {
                const int64_t sx = (colPos >> 16) < lastCol ? (colPos >> 16) : lastCol;
                dst[x] = P::convert(src[sx]);
            }
        }
    });
}
