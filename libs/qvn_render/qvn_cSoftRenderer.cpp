#include "qvn_cSoftRenderer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// On x86 outside Windows the rows' 8-pixel stretches also have an AVX2 copy,
// chosen at run time (the Windows compilers do not align the stack for 32-byte
// spills).
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define QVN_RASTER_AVX2 1
#include <immintrin.h>
#define QVN_RASTER_TARGET __attribute__((target("avx2")))
#else
#define QVN_RASTER_AVX2 0
#endif

#include "qvn_cMaterial.h"

namespace {

// Adds two screen pixels channel by channel with saturation. Both channel
// groups (red+blue, green) are added in one word each; the carry out of a
// channel is smeared back over it, so an overflowing channel ends at full.
struct SSaturatingAdd {
    uint32_t rbMask, rbCarry, gMask, gCarry;
    int rbShift, gShift;
    uint16_t operator()(uint32_t d, uint32_t s) const {
        uint32_t g = (d & gMask) + (s & gMask);
        uint32_t c = g & gCarry;
        g |= c - (c >> gShift);
        uint32_t rb = (d & rbMask) + (s & rbMask);
        c = rb & rbCarry;
        rb |= c - (c >> rbShift);
        return static_cast<uint16_t>(rb | g);
    }
};

inline SSaturatingAdd SaturatingAdd(const qvn_cSoftRenderer& r) {
    return SSaturatingAdd{r.m_nRBMask, r.m_nRBCarry, r.m_nGMask, r.m_nGCarry, r.m_nRBShift, r.m_nGShift};
}

constexpr SSaturatingAdd kAdd565{0xF81Fu, 0x10020u, 0x07E0u, 0x0800u, 5, 6};

// The same on the 5-6-5 screens the show runs on, with the masks and shifts as
// constants the compiler folds in.
struct SSaturatingAdd565 {
    uint16_t operator()(uint32_t d, uint32_t s) const { return kAdd565(d, s); }
};

// 255 * 65536: texture coordinates 0 .. 1 become texels 0 .. 255 in 16.16.
constexpr float kTexelScale = 16711680.0f;

// Float to integer for values that come from scene data and may be wild: a
// cast of an out-of-range float is undefined, so clamp first (NaN gives 0).
inline int32_t SafeTrunc(float f) {
    if (!(f > -2147483520.0f)) return f != f ? 0 : INT32_MIN;
    if (f > 2147483520.0f) return INT32_MAX;
    return static_cast<int32_t>(f);
}

// SafeTrunc(std::ceil(f)) without the library's rounding sequence: the
// truncation, plus one where that fell below f. Screen columns are small, so
// the wide range only takes the long way.
inline int32_t CeilColumn(float f) {
    if (!(std::fabs(f) < 1073741824.0f)) return SafeTrunc(std::ceil(f));
    const int32_t t = static_cast<int32_t>(f);
    return t + (f > static_cast<float>(t) ? 1 : 0);
}

// A 16.16 texture coordinate. Only its low 24 bits matter (the texel wraps at
// 256), so values beyond 32 bits keep those bits through the 64-bit rounding.
inline int32_t TrueCoord(float overZ, float iz) {
    const float f = overZ * kTexelScale / iz;
    // The usual case (within 128 texture repeats) rounds inline; a library
    // rounding call here would cost more than the 16 pixels it serves.
    if (std::fabs(f) < 2147483520.0f) return static_cast<int32_t>(f + (f >= 0.0f ? 0.5f : -0.5f));
    if (!(std::fabs(f) < 9.0e18f)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(std::llrint(f))));
}

// The perspective values of a span (u/z, v/z, 1/z) at a pixel, stepped 16
// pixels at a time, and the true texel coordinates at those boundaries. With
// SSE2 the values go through each add, multiply and divide together, two
// boundaries in one divide: lane by lane the same IEEE operations in the same
// order as one value at a time, so the same bits, for a fraction of the
// instructions.
#if defined(__SSE2__)
class cPerspectiveSpan {
public:
    // Values at the left edge, per-pixel steps over a span of width w, and
    // the prestep to the first pixel drawn.
    cPerspectiveSpan(const float* left, const float* right, float w, float pre) {
        const __m128 l = _mm_loadu_ps(left);
        const __m128 d = _mm_div_ps(_mm_sub_ps(_mm_loadu_ps(right), l), _mm_set1_ps(w));
        m_Values = _mm_add_ps(l, _mm_mul_ps(d, _mm_set1_ps(pre)));
        m_Step16 = _mm_mul_ps(d, _mm_set1_ps(16.0f));
    }
    // TrueCoord of u and v at this boundary and the next into out (u, v, u,
    // v), and on to the boundary after those.
    void TwoCoords(uint32_t* out) {
        const __m128 next = _mm_add_ps(m_Values, m_Step16);
        const __m128 overZ = _mm_movelh_ps(m_Values, next);
        const __m128 iz = _mm_shuffle_ps(m_Values, next, _MM_SHUFFLE(2, 2, 2, 2));
        const __m128 f = _mm_div_ps(_mm_mul_ps(overZ, _mm_set1_ps(kTexelScale)), iz);
        const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), f);
        if (_mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(2147483520.0f))) != 15) {
            float now[4], then[4];
            _mm_storeu_ps(now, m_Values);
            _mm_storeu_ps(then, next);
            out[0] = static_cast<uint32_t>(TrueCoord(now[0], now[2]));
            out[1] = static_cast<uint32_t>(TrueCoord(now[1], now[2]));
            out[2] = static_cast<uint32_t>(TrueCoord(then[0], then[2]));
            out[3] = static_cast<uint32_t>(TrueCoord(then[1], then[2]));
        } else {
            // Rounds half away from zero as TrueCoord does (-0 rounds to 0 either way).
            const __m128 half = _mm_or_ps(_mm_and_ps(f, _mm_set1_ps(-0.0f)), _mm_set1_ps(0.5f));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_cvttps_epi32(_mm_add_ps(f, half)));
        }
        m_Values = _mm_add_ps(next, m_Step16);
    }

private:
    __m128 m_Values, m_Step16;
};
#else
class cPerspectiveSpan {
public:
    cPerspectiveSpan(const float* left, const float* right, float w, float pre) {
        for (int k = 0; k < 3; ++k) {
            const float d = (right[k] - left[k]) / w;
            m_Values[k] = left[k] + d * pre;
            m_Step16[k] = d * 16.0f;
        }
    }
    void TwoCoords(uint32_t* out) {
        for (int b = 0; b < 2; ++b) {
            out[2 * b] = static_cast<uint32_t>(TrueCoord(m_Values[0], m_Values[2]));
            out[2 * b + 1] = static_cast<uint32_t>(TrueCoord(m_Values[1], m_Values[2]));
            for (int k = 0; k < 3; ++k) m_Values[k] += m_Step16[k];
        }
    }

private:
    float m_Values[3], m_Step16[3];
};
#endif

// Half the 16.16 difference per pixel over 16 pixels, without signed overflow.
inline int32_t Step16(int32_t next, int32_t cur) {
    return static_cast<int32_t>(static_cast<uint32_t>(next) - static_cast<uint32_t>(cur)) >> 4;
}

// Texel index v * 256 + u with both coordinates wrapping at 256.
inline uint32_t TexelIndex(uint32_t u, uint32_t v) { return ((v >> 8) & 0xFF00u) | ((u >> 16) & 0xFFu); }

// Slots are 128 KiB aligned, so the texel address is the slot address with the
// index in its low bits: no add, no bounds, wrapping for free.
inline uint16_t Texel16(const uint8_t* slot, uint32_t index) {
    return *reinterpret_cast<const uint16_t*>(reinterpret_cast<uintptr_t>(slot) | (index << 1));
}
inline uint8_t Texel8(const uint8_t* slot, uint32_t index) {
    return *reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(slot) | index);
}

// An edge as it is walked down: x and N values, each stepped by its own
// per-row difference. A value does not depend on how many others ride along.
template <int N>
struct SEdge {
    float x, dx;
    float a[N], da[N];
    int rows;
};

// The perspective values ride in a[0..3] (u/z, v/z, 1/z, fog/z); the texture +
// map mode adds the map's affine coordinates in a[4..5].
enum { kCopy, kAdd, kMask, kFog, kCopyMap };

bool g_bForceGenericRows = false;

bool RowsUseAvx2() {
#if QVN_RASTER_AVX2
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has && !g_bForceGenericRows;
#else
    return false;
#endif
}

// Where a stretch of a row starts: the texture coordinates and their steps,
// the map's (texture + map) and the fog level's (fogged).
struct SStretch {
    uint32_t u, v, du, dv;
    uint32_t mu, mv, mdu, mdv;
    uint32_t level, levelStep;
};

#if QVN_RASTER_AVX2
// Eight pixels at a time, lane by lane the integer work of the plain loops
// (the coordinates of pixel k are the start plus k steps, wrapping as the
// repeated adds do), the texels fetched by gathers. A gather reads a texel as
// 32 bits, so it may read two bytes past its slot: the texture cache keeps a
// tail after its last slot for that.
QVN_RASTER_TARGET inline __m256i Lanes(uint32_t start, uint32_t step) {
    return _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(start)),
                            _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                               _mm256_set1_epi32(static_cast<int32_t>(step))));
}
QVN_RASTER_TARGET inline __m256i TexelIndex8(__m256i u, __m256i v) {
    return _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(v, 8), _mm256_set1_epi32(0xFF00)),
                           _mm256_and_si256(_mm256_srli_epi32(u, 16), _mm256_set1_epi32(0xFF)));
}
QVN_RASTER_TARGET inline __m256i Texel16x8(const void* slot, __m256i index) {
    return _mm256_and_si256(_mm256_i32gather_epi32(static_cast<const int*>(slot), index, 2), _mm256_set1_epi32(0xFFFF));
}
QVN_RASTER_TARGET inline __m256i Texel8x8(const void* slot, __m256i index) {
    return _mm256_and_si256(_mm256_i32gather_epi32(static_cast<const int*>(slot), index, 1), _mm256_set1_epi32(0xFF));
}
QVN_RASTER_TARGET inline __m256i LoadPixels8(const uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
// Lanes hold values below 65536, so the unsigned packing keeps them whole.
QVN_RASTER_TARGET inline void StorePixels8(uint16_t* p, __m256i x) {
    const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), packed);
}

// SSaturatingAdd in eight lanes.
struct SSaturatingAdd8 {
    __m256i rbMask, rbCarry, gMask, gCarry;
    __m128i rbShift, gShift;
};
QVN_RASTER_TARGET inline SSaturatingAdd8 Lanes(const SSaturatingAdd& a) {
    return SSaturatingAdd8{_mm256_set1_epi32(static_cast<int32_t>(a.rbMask)),
                           _mm256_set1_epi32(static_cast<int32_t>(a.rbCarry)),
                           _mm256_set1_epi32(static_cast<int32_t>(a.gMask)),
                           _mm256_set1_epi32(static_cast<int32_t>(a.gCarry)), _mm_cvtsi32_si128(a.rbShift),
                           _mm_cvtsi32_si128(a.gShift)};
}
QVN_RASTER_TARGET inline SSaturatingAdd8 Lanes(const SSaturatingAdd565&) { return Lanes(kAdd565); }
QVN_RASTER_TARGET inline __m256i Add8(const SSaturatingAdd8& k, __m256i d, __m256i s) {
    __m256i g = _mm256_add_epi32(_mm256_and_si256(d, k.gMask), _mm256_and_si256(s, k.gMask));
    __m256i c = _mm256_and_si256(g, k.gCarry);
    g = _mm256_or_si256(g, _mm256_sub_epi32(c, _mm256_srl_epi32(c, k.gShift)));
    __m256i rb = _mm256_add_epi32(_mm256_and_si256(d, k.rbMask), _mm256_and_si256(s, k.rbMask));
    c = _mm256_and_si256(rb, k.rbCarry);
    rb = _mm256_or_si256(rb, _mm256_sub_epi32(c, _mm256_srl_epi32(c, k.rbShift)));
    return _mm256_and_si256(_mm256_or_si256(rb, g), _mm256_set1_epi32(0xFFFF));
}

// Eight pixels of one kind; d holds the screen's pixels where the kind reads
// them.
template <int kind>
QVN_RASTER_TARGET inline __m256i Pixels8(const SSaturatingAdd8& add8, __m256i d, __m256i u, __m256i v, __m256i mu,
                                         __m256i mv, __m256i level, const uint8_t* tex, const uint8_t* unit1,
                                         const uint16_t* shade) {
    const __m256i i = TexelIndex8(u, v);
    switch (kind) {
        case kCopy: return Texel16x8(tex, i);
        case kAdd: return Add8(add8, d, Texel16x8(tex, i));
        case kMask: {
            const __m256i keep = _mm256_cmpeq_epi32(Texel16x8(unit1, i), _mm256_setzero_si256());
            return _mm256_blendv_epi8(Texel16x8(tex, i), d, keep);
        }
        case kFog: {
            __m256i l = _mm256_srai_epi32(level, 16);
            l = _mm256_max_epi32(_mm256_min_epi32(l, _mm256_set1_epi32(255)), _mm256_setzero_si256());
            return Texel16x8(shade, _mm256_add_epi32(_mm256_slli_epi32(l, 8), Texel8x8(tex, i)));
        }
        default: return Add8(add8, Texel16x8(tex, i), Texel16x8(unit1, TexelIndex8(mu, mv)));
    }
}

// count pixels (an even number) of one kind from the stretch's start: eights,
// then the last pairs through masks, which neither read nor write past them.
template <int kind, class Add>
QVN_RASTER_TARGET void StretchAvx2(uint16_t* dst, int count, const uint8_t* tex, const uint8_t* unit1,
                                   const uint16_t* shade, const SStretch& s, const Add& add) {
    constexpr bool readsScreen = kind == kAdd || kind == kMask;
    const SSaturatingAdd8 add8 = Lanes(add);
    __m256i u = Lanes(s.u, s.du), v = Lanes(s.v, s.dv);
    __m256i mu = Lanes(s.mu, s.mdu), mv = Lanes(s.mv, s.mdv);
    __m256i level = Lanes(s.level, s.levelStep);
    const __m256i du = _mm256_set1_epi32(static_cast<int32_t>(s.du * 8u));
    const __m256i dv = _mm256_set1_epi32(static_cast<int32_t>(s.dv * 8u));
    const __m256i mdu = _mm256_set1_epi32(static_cast<int32_t>(s.mdu * 8u));
    const __m256i mdv = _mm256_set1_epi32(static_cast<int32_t>(s.mdv * 8u));
    const __m256i dLevel = _mm256_set1_epi32(static_cast<int32_t>(s.levelStep * 8u));
    for (; count >= 8; count -= 8, dst += 8) {
        const __m256i d = readsScreen ? LoadPixels8(dst) : _mm256_setzero_si256();
        StorePixels8(dst, Pixels8<kind>(add8, d, u, v, mu, mv, level, tex, unit1, shade));
        u = _mm256_add_epi32(u, du);
        v = _mm256_add_epi32(v, dv);
        mu = _mm256_add_epi32(mu, mdu);
        mv = _mm256_add_epi32(mv, mdv);
        level = _mm256_add_epi32(level, dLevel);
    }
    if (count <= 0) return;
    // Pairs of pixels as 32-bit lanes: the first count / 2 of four.
    const __m128i pairs = _mm_cmpgt_epi32(_mm_set1_epi32(count >> 1), _mm_setr_epi32(0, 1, 2, 3));
    int* at = reinterpret_cast<int*>(dst);
    const __m256i d = readsScreen ? _mm256_cvtepu16_epi32(_mm_maskload_epi32(at, pairs)) : _mm256_setzero_si256();
    const __m256i x = Pixels8<kind>(add8, d, u, v, mu, mv, level, tex, unit1, shade);
    _mm_maskstore_epi32(at, pairs, _mm_packus_epi32(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1)));
}
#endif

// Walks a convex polygon from its top vertex: the left chain through rising
// indices, the right chain through falling ones. span(row, left, right) is
// called for each row within [0, rowLimit).
template <int N, class Span>
void Walk(int n, const float* sx, const float* sy, const float (*attr)[N], int rowLimit, Span span) {
    if (n < 3) return;
    int top = 0;
    for (int i = 1; i < n; ++i) {
        if (sy[i] < sy[top] || (sy[i] == sy[top] && sx[i] < sx[top])) top = i;
    }
    auto setup = [&](SEdge<N>& e, int ia, int ib) {
        const float ya = sy[ia], yb = sy[ib];
        e.rows = static_cast<int>(yb) - static_cast<int>(ya);
        if (e.rows <= 0) return;
        const float h = yb - ya;
        const float pre = std::ceil(ya) - ya;
        e.dx = (sx[ib] - sx[ia]) / h;
        e.x = sx[ia] + e.dx * pre;
        for (int k = 0; k < N; ++k) {
            e.da[k] = (attr[ib][k] - attr[ia][k]) / h;
            e.a[k] = attr[ia][k] + e.da[k] * pre;
        }
    };
    SEdge<N> L{}, R{};
    int li = top, ri = top, remaining = n;
    int row = static_cast<int>(sy[top]);
    for (;;) {
        // Edges that end on the row they start on (or run upwards on a face
        // that is not convex on screen) carry no rows; move past them.
        while (L.rows <= 0) {
            if (remaining == 0) return;
            const int nl = li + 1 == n ? 0 : li + 1;
            setup(L, li, nl);
            li = nl;
            --remaining;
        }
        while (R.rows <= 0) {
            if (remaining == 0) return;
            const int nr = ri == 0 ? n - 1 : ri - 1;
            setup(R, ri, nr);
            ri = nr;
            --remaining;
        }
        const int rows = L.rows < R.rows ? L.rows : R.rows;
        for (int r = 0; r < rows; ++r, ++row) {
            // The clipper keeps rows within the bounds; this only guards
            // against rounding at the edges.
            if (row >= 0 && row < rowLimit) span(row, L, R);
            L.x += L.dx;
            R.x += R.dx;
            for (int k = 0; k < N; ++k) {
                L.a[k] += L.da[k];
                R.a[k] += R.da[k];
            }
        }
        L.rows -= rows;
        R.rows -= rows;
    }
}

// The map is affine: its coordinates come back out of their division by depth
// at the corners and run linearly across the face.
inline void MapCorner(const qvn_cCorner& c, float* attr) {
    attr[0] = c.euz / c.iz;
    attr[1] = c.evz / c.iz;
}

int MapCorners(const qvn_cFace* poly, float* sx, float* sy, float (*attr)[2]) {
    const int n = poly->m_nVertexCount;
    for (int i = 0; i < n; ++i) {
        const qvn_cVertex* v = poly->m_pVertex[i];
        sx[i] = v->m_Screen.x;
        sy[i] = v->m_Screen.y;
        MapCorner(poly->m_Corner[i], attr[i]);
    }
    return n;
}

// A row of the map in 16.16: column x0 (the left edge truncated) holds the
// left edge's coordinates, and each column on adds the step that reaches the
// right edge's at column x1 (the right edge truncated). No step when x1 is not
// past x0.
struct SMapRow {
    int x0, x1;
    int32_t u, v, du, dv;
};

// The map's coordinates are the edges' values a[at], a[at + 1].
template <int N>
inline SMapRow MapRow(const SEdge<N>& L, const SEdge<N>& R, int at = 0) {
    SMapRow m;
    m.x0 = SafeTrunc(L.x * 65536.0f) >> 16;
    m.x1 = SafeTrunc(R.x * 65536.0f) >> 16;
    m.u = SafeTrunc(L.a[at] * kTexelScale);
    m.v = SafeTrunc(L.a[at + 1] * kTexelScale);
    m.du = m.dv = 0;
    if (m.x1 > m.x0) {
        const int64_t ur = SafeTrunc(R.a[at] * kTexelScale), vr = SafeTrunc(R.a[at + 1] * kTexelScale);
        m.du = static_cast<int32_t>((ur - m.u) / (m.x1 - m.x0));
        m.dv = static_cast<int32_t>((vr - m.v) / (m.x1 - m.x0));
    }
    return m;
}

// c + d * columns, wrapping as the coordinates do.
inline uint32_t Advance(int32_t c, int32_t d, int columns) {
    return static_cast<uint32_t>(c) + static_cast<uint32_t>(d) * static_cast<uint32_t>(columns);
}

}  // namespace

bool qvn_ForceGenericRasterRows(bool force) {
    g_bForceGenericRows = false;
    [[maybe_unused]] const bool avx2 = RowsUseAvx2();
    g_bForceGenericRows = force;
    return avx2;
}

qvn_cSoftRenderer::qvn_cSoftRenderer(qvn_cEngDisplay* display) : m_pDisplay(display) {
    qvn_cPixelFormat pf;
    pf.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
    const qvn_cEngDisplay* screen = display ? display : g_pDisplay;
    if (screen && screen->m_PixelFormat.m_nBitCount == 16) pf = screen->m_PixelFormat;
    SetPixelFormat(pf);
}

void qvn_cSoftRenderer::SetPixelFormat(const qvn_cPixelFormat& pf) {
    m_nRBMask = pf.m_nMaskR | pf.m_nMaskB;
    m_nRBCarry = ((m_nRBMask << 1) | m_nRBMask) ^ m_nRBMask;
    m_nGMask = pf.m_nMaskG;
    m_nGCarry = ((m_nGMask << 1) | m_nGMask) ^ m_nGMask;
    // The carry of a saturated channel is smeared back over the channel's own
    // width: 6 bits of green on 5-6-5, 5 on 5-5-5 (a fixed 6 would spill into
    // blue's top bit there).
    auto bits = [](uint32_t m) {
        int n = 0;
        for (; m; m &= m - 1) ++n;
        return n;
    };
    m_nGShift = bits(m_nGMask);
    m_nRBShift = bits(pf.m_nMaskB);
}

void qvn_cSoftRenderer::SetTarget(uint16_t* pixels, int width, int height, int pitchPixels,
                                  const qvn_cPixelFormat& pixelFormat) {
    m_pTargetPixels = pixels;
    // A row's set-up holds the coordinates of kSpanPixels.
    m_nWidth = width < kSpanPixels ? width : kSpanPixels;
    m_nHeight = height;
    m_nTargetPitch = pitchPixels;
    SetClipSize(m_nWidth, m_nHeight);
    SetPixelFormat(pixelFormat);
}

qvn_cEngDisplay* qvn_cSoftRenderer::Display() const {
    if (m_pDisplay) return m_pDisplay;
    return m_pTargetPixels ? nullptr : g_pDisplay;
}

void qvn_cSoftRenderer::Begin() {
    m_pPixels = nullptr;
    m_pLocked = Display();
    if (m_pLocked) {
        m_pLocked->Lock();
        m_pPixels = m_pLocked->m_pSurfacePixels;
        m_nPitchBytes = m_pLocked->m_nPitch;
        m_nPitchPixels = m_pLocked->m_nPitchPixels;
        m_nWidth = m_pLocked->m_nWidth < kSpanPixels ? m_pLocked->m_nWidth : kSpanPixels;
        m_nHeight = m_pLocked->m_nHeight;
        SetClipSize(m_nWidth, m_nHeight);
    } else {
        m_pPixels = m_pTargetPixels;
        m_nPitchPixels = m_nTargetPitch;
        m_nPitchBytes = m_nTargetPitch * 2;
    }
    // Without a surface (a failed lock) Fill draws nothing for this frame.
    if (m_nPitchPixels <= 0 || m_nWidth <= 0 || m_nHeight <= 0) m_pPixels = nullptr;
}

void qvn_cSoftRenderer::End() {
    if (m_pLocked && m_pPixels) m_pLocked->Unlock();
    m_pLocked = nullptr;
    m_pPixels = nullptr;
}

void qvn_cSoftMaterial::Select() { SelectThrough(m_pRenderer); }

qvn_cMaterial* qvn_cSoftRenderer::NewMaterial() { return new (std::nothrow) qvn_cSoftMaterial(this); }

qvn_cTexture* qvn_cSoftRenderer::NewTexture() { return new (std::nothrow) qvn_cTextureSoft(); }

void qvn_cSoftRenderer::DrawFace(qvn_cFace* face) {
    qvn_cFace* poly = Clip(face);
    if (poly) Fill(poly);
}

bool qvn_cSoftRenderer::PolygonDrawable(const qvn_cFace* poly) const {
    const int n = poly->m_nVertexCount;
    if (n < 3 || n > qvn_cFace::kMaxVertices) return false;
    // Clipped polygons lie within the bounds; unclipped faces within the
    // mesh's box on screen. Anything else (NaN, infinities from a degenerate
    // camera) is refused before it reaches an integer conversion.
    const float w = static_cast<float>(m_nWidth) + 1.0f, h = static_cast<float>(m_nHeight) + 1.0f;
    for (int i = 0; i < n; ++i) {
        const qvn_cScreenPoint& s = poly->m_pVertex[i]->m_Screen;
        if (!(s.x >= -1.0f && s.x <= w && s.y >= -1.0f && s.y <= h)) return false;
    }
    return true;
}

void qvn_cSoftRenderer::Fill(qvn_cFace* poly) {
    if (!poly || !m_pPixels || !PolygonDrawable(poly)) return;
    const uint8_t* t0 = m_pUnit[0];
    const uint8_t* t1 = m_pUnit[1];
    // A unit the cache could not fill is null: such faces are skipped.
    switch (m_nRenderMode) {
        case QVN_MODE_ADD:
            if (t0) FillAdding<kAdd>(poly);
            break;
        case QVN_MODE_MASK:
            if (t0 && t1) FillPerspective<kMask>(poly, SaturatingAdd(*this));
            break;
        case QVN_MODE_ENV:
            if (t1) FillEnvironment(poly);
            break;
        case QVN_MODE_TEX_ENV:
            // Both passes in one walk: the map is added to each texel as it
            // is copied, on the same pixels as the two passes one after the
            // other.
            if (t0 && t1)
                FillAdding<kCopyMap>(poly);
            else if (t0)
                FillPerspective<kCopy>(poly, SaturatingAdd(*this));
            else if (t1)
                FillEnvironmentOverTexture(poly);
            break;
        case QVN_MODE_FOG:
            if (t0) FillPerspective<kFog>(poly, SaturatingAdd(*this));
            break;
        default:
            if (t0) FillPerspective<kCopy>(poly, SaturatingAdd(*this));
            break;
    }
}

template <int kind>
void qvn_cSoftRenderer::FillAdding(const qvn_cFace* poly) {
    const SSaturatingAdd add = SaturatingAdd(*this);
    if (add.rbMask == 0xF81Fu && add.gMask == 0x07E0u)
        FillPerspective<kind>(poly, SSaturatingAdd565());
    else
        FillPerspective<kind>(poly, add);
}

// One instance per pixel operation, so the inner loops carry no dispatch.
// The rows of a face are set up a batch at a time and then drawn: the
// divisions of one row's set-up need not wait for the pixels of the row before.
template <int kind, class Add>
void qvn_cSoftRenderer::FillPerspective(const qvn_cFace* poly, const Add& add) {
    constexpr int N = kind == kCopyMap ? 6 : 4;
    const int n = poly->m_nVertexCount;
    float sx[qvn_cFace::kMaxVertices], sy[qvn_cFace::kMaxVertices], attr[qvn_cFace::kMaxVertices][N];
    for (int i = 0; i < n; ++i) {
        const qvn_cVertex* v = poly->m_pVertex[i];
        const qvn_cCorner& c = poly->m_Corner[i];
        sx[i] = v->m_Screen.x;
        sy[i] = v->m_Screen.y;
        attr[i][0] = c.uz;
        attr[i][1] = c.vz;
        attr[i][2] = c.iz;
        attr[i][3] = v->m_Shade.fogOverZ;
        if (kind == kCopyMap) MapCorner(c, attr[i] + 4);
    }
    const uint8_t* tex = m_pUnit[0];
    const uint8_t* mask = m_pUnit[1];
    const uint8_t* map = m_pUnit[1];
    // The shade table of a fogged texture sits in the slot after its indices,
    // a row of colours for each fog level.
    const uint16_t* shade = reinterpret_cast<const uint16_t*>(tex + qvn_cTextureCache::kSlotBytes);
    uint16_t* pixels = m_pPixels;
    const int pitch = m_nPitchPixels;
    const int right = static_cast<int>(m_fClipRight);

    // A row set up: where it goes, and the true texture coordinates at each
    // 16-pixel boundary in the batch's list. The map's coordinates (texture +
    // map) or the fog level run linearly from the left edge.
    struct SRow {
        uint16_t* dst;
        int count, firstCoord;
        uint32_t mu, mv, mdu, mdv;
        int32_t level, levelStep;
    };
    constexpr int kRows = 32;
    // Boundaries of the widest row, rounded up to a pair.
    constexpr int kRowCoords = (kSpanPixels / 16 + 2) & ~1;
    constexpr int kCoords = 8 * kRowCoords;
    SRow rows[kRows];
    alignas(16) uint32_t coords[kCoords][2];
    int rowCount = 0, coordCount = 0;

    [[maybe_unused]] const bool avx2 = RowsUseAvx2();
    // Below six pixels the lanes' set-up costs more than the plain loop.
    [[maybe_unused]] constexpr int kWideRun = 6;
    auto draw = [&](const SRow& r) {
        uint16_t* dst = r.dst;
        int count = r.count;
        const uint32_t* c = coords[r.firstCoord];
        uint32_t u = c[0], v = c[1];
        uint32_t mu = r.mu, mv = r.mv;
        int32_t level = r.level;
        while (count > 0) {
            c += 2;
            const uint32_t un = c[0], vn = c[1];
            // Unsigned: the coordinates wrap, only their low 24 bits are read.
            const uint32_t du = static_cast<uint32_t>(Step16(static_cast<int32_t>(un), static_cast<int32_t>(u)));
            const uint32_t dv = static_cast<uint32_t>(Step16(static_cast<int32_t>(vn), static_cast<int32_t>(v)));
            const int run = count < 16 ? count : 16;
            int k = 0;
#if QVN_RASTER_AVX2
            if (avx2 && run >= kWideRun) {
                // Pairs in the wide lanes, an odd last pixel below from where
                // they stopped (k steps on, as k single steps would be).
                k = run & ~1;
                const uint32_t steps = static_cast<uint32_t>(k);
                const SStretch s{u, v, du, dv, mu, mv, r.mdu, r.mdv, static_cast<uint32_t>(level),
                                 static_cast<uint32_t>(r.levelStep)};
                StretchAvx2<kind>(dst, k, tex, map, shade, s, add);
                dst += k;
                u += steps * du;
                v += steps * dv;
                mu += steps * r.mdu;
                mv += steps * r.mdv;
                level = static_cast<int32_t>(static_cast<uint32_t>(level) + steps * static_cast<uint32_t>(r.levelStep));
            }
#endif
            switch (kind) {
                case kCopy:
                    for (; k < run; ++k, u += du, v += dv) *dst++ = Texel16(tex, TexelIndex(u, v));
                    break;
                case kAdd:
                    for (; k < run; ++k, u += du, v += dv) {
                        *dst = add(*dst, Texel16(tex, TexelIndex(u, v)));
                        ++dst;
                    }
                    break;
                case kMask:
                    for (; k < run; ++k, u += du, v += dv, ++dst) {
                        const uint32_t i = TexelIndex(u, v);
                        if (Texel16(mask, i)) *dst = Texel16(tex, i);
                    }
                    break;
                case kFog:
                    for (; k < run; ++k, u += du, v += dv) {
                        int32_t l = level >> 16;
                        // Fog stays below 1.0, so the level stays below 256;
                        // the clamp only keeps a wild value inside the table.
                        l = l < 0 ? 0 : (l > 255 ? 255 : l);
                        *dst++ = shade[l * 256 + Texel8(tex, TexelIndex(u, v))];
                        level = static_cast<int32_t>(static_cast<uint32_t>(level) + static_cast<uint32_t>(r.levelStep));
                    }
                    break;
                case kCopyMap:
                    for (; k < run; ++k, u += du, v += dv, mu += r.mdu, mv += r.mdv) {
                        *dst++ = add(Texel16(tex, TexelIndex(u, v)), Texel16(map, TexelIndex(mu, mv)));
                    }
                    break;
            }
            u = un;
            v = vn;
            count -= run;
        }
    };
    auto flush = [&] {
        for (int i = 0; i < rowCount; ++i) draw(rows[i]);
        rowCount = coordCount = 0;
    };

    auto span = [&](int row, const SEdge<N>& L, const SEdge<N>& R) {
        const float lx = L.x, rx = R.x;
        int xs = CeilColumn(lx);
        int xe = CeilColumn(rx);
        // Spans end before the right bound, so column 319 is never drawn; the
        // left clamp only catches rounding of unclipped faces.
        if (xs < 0) xs = 0;
        if (xe > right) xe = right;
        if (xe <= xs) return;
        if (rowCount == kRows || coordCount + kRowCoords > kCoords) flush();
        SRow& r = rows[rowCount++];
        r.dst = pixels + static_cast<ptrdiff_t>(row) * pitch + xs;
        r.count = xe - xs;
        r.firstCoord = coordCount;
        cPerspectiveSpan values(L.a, R.a, rx - lx, static_cast<float>(xs) - lx);
        // A boundary at each 16 pixels and one at the end of the last run.
        const int boundaries = ((r.count + 15) >> 4) + 1;
        for (int b = 0; b < boundaries; b += 2) values.TwoCoords(coords[coordCount + b]);
        coordCount += (boundaries + 1) & ~1;
        if (kind == kCopyMap) {
            // The map runs on from its truncated left column, as when it is
            // a pass of its own.
            const SMapRow m = MapRow(L, R, 4);
            r.mu = Advance(m.u, m.du, xs - m.x0);
            r.mv = Advance(m.v, m.dv, xs - m.x0);
            r.mdu = static_cast<uint32_t>(m.du);
            r.mdv = static_cast<uint32_t>(m.dv);
        }
        if (kind == kFog) {
            // The fog level runs linearly across the span from the edge
            // values, in 16.16, without an x prestep.
            const float fl = kTexelScale * L.a[3] / L.a[2];
            const float fr = kTexelScale * R.a[3] / R.a[2];
            r.level = SafeTrunc(fl);
            r.levelStep = SafeTrunc((fr - fl) / static_cast<float>(r.count));
        }
    };
    Walk<N>(n, sx, sy, attr, static_cast<int>(m_fClipBottom), span);
    flush();
}

void qvn_cSoftRenderer::FillEnvironment(const qvn_cFace* poly) {
    float sx[qvn_cFace::kMaxVertices], sy[qvn_cFace::kMaxVertices], attr[qvn_cFace::kMaxVertices][2];
    const int n = MapCorners(poly, sx, sy, attr);
    const uint8_t* tex = m_pUnit[1];
    uint16_t* pixels = m_pPixels;
    const int pitch = m_nPitchPixels;
    const int right = static_cast<int>(m_fClipRight);

    // The map alone covers the truncated columns from edge to edge.
    auto span = [&](int row, const SEdge<2>& L, const SEdge<2>& R) {
        const SMapRow m = MapRow(L, R);
        int xs = m.x0, xe = m.x1;
        if (xe <= xs) return;
        uint32_t u = static_cast<uint32_t>(m.u), v = static_cast<uint32_t>(m.v);
        if (xs < 0) {
            u = Advance(m.u, m.du, -xs);
            v = Advance(m.v, m.dv, -xs);
            xs = 0;
        }
        if (xe > right) xe = right;
        if (xe <= xs) return;
        uint16_t* dst = pixels + static_cast<ptrdiff_t>(row) * pitch + xs;
        for (int x = xs; x < xe; ++x, ++dst) {
            *dst = Texel16(tex, TexelIndex(u, v));
            u += static_cast<uint32_t>(m.du);
            v += static_cast<uint32_t>(m.dv);
        }
    };
    Walk<2>(n, sx, sy, attr, static_cast<int>(m_fClipBottom), span);
}

void qvn_cSoftRenderer::FillEnvironmentOverTexture(const qvn_cFace* poly) {
    float sx[qvn_cFace::kMaxVertices], sy[qvn_cFace::kMaxVertices], attr[qvn_cFace::kMaxVertices][2];
    const int n = MapCorners(poly, sx, sy, attr);
    const uint8_t* tex = m_pUnit[1];
    uint16_t* pixels = m_pPixels;
    const int pitch = m_nPitchPixels;
    const int right = static_cast<int>(m_fClipRight);
    const SSaturatingAdd saturate = SaturatingAdd(*this);

    // Exactly the columns the texture pass filled (FillPerspective's rule),
    // so every pixel of the texture gets the map and none of a neighbour's
    // does: with the truncated columns of the map alone, a line of pixels
    // along each edge kept its plain texture wherever the neighbour was drawn
    // after. The coordinates run as for the map alone, on from the truncated
    // left column.
    auto span = [&](int row, const SEdge<2>& L, const SEdge<2>& R) {
        int xs = CeilColumn(L.x);
        int xe = CeilColumn(R.x);
        if (xs < 0) xs = 0;
        if (xe > right) xe = right;
        if (xe <= xs) return;
        const SMapRow m = MapRow(L, R);
        uint32_t u = Advance(m.u, m.du, xs - m.x0), v = Advance(m.v, m.dv, xs - m.x0);
        uint16_t* dst = pixels + static_cast<ptrdiff_t>(row) * pitch + xs;
        for (int x = xs; x < xe; ++x, ++dst) {
            *dst = saturate(*dst, Texel16(tex, TexelIndex(u, v)));
            u += static_cast<uint32_t>(m.du);
            v += static_cast<uint32_t>(m.dv);
        }
    };
    Walk<2>(n, sx, sy, attr, static_cast<int>(m_fClipBottom), span);
}
