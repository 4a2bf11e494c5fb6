#include "qvn_BitmapLayers.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "qvn_Bitmap.h"
#include "qvn_BitmapFilters.h"
#include "qvn_BitmapKernels.h"
#include "qvn_MessageLog.h"

#define LAYERS_LOG(...) qvn_MessageLogPrintf(g_pMessageLog, __VA_ARGS__)

namespace {

// Ping-pong layers all turn with one direction value, set by the first step
// the program ever gives.

// Field layout of the two 16-bit formats.
struct Fmt565 {
    static constexpr int rPos = 11, rBits = 5, gPos = 5, gBits = 6, bPos = 0, bBits = 5;
};
struct Fmt555 {
    static constexpr int rPos = 10, rBits = 5, gPos = 5, gBits = 5, bPos = 0, bBits = 5;
};

// Saturating addition of one field; the sum of two fields fits 16 bits, so
// eight pixels share a vector register.
template <int Pos, int Bits>
inline uint16_t AddSatField(uint16_t d, uint16_t s) {
    constexpr uint16_t kMax = (1u << Bits) - 1;
    const uint16_t sum = uint16_t(((d >> Pos) & kMax) + ((s >> Pos) & kMax));
    return uint16_t((sum < kMax ? sum : kMax) << Pos);
}

template <class F>
inline uint16_t AddSat(uint16_t d, uint16_t s) {
    return uint16_t(AddSatField<F::rPos, F::rBits>(d, s) | AddSatField<F::gPos, F::gBits>(d, s) |
                    AddSatField<F::bPos, F::bBits>(d, s));
}

enum TableKind : uint32_t { kNormal = 1, kAdditive = 2, kDodgeFull = 3, kDodgePartial = 4 };

// Key of one channel table: kind, the blue-on-5-bits flag of the full-strength
// dodge, field bits, field position and the strength parameter.
uint32_t TableKey(uint32_t kind, bool fiveBitBlue, int bits, int pos, uint32_t param) {
    return kind | (fiveBitBlue ? 8u : 0u) | (uint32_t(bits) << 4) | (uint32_t(pos) << 8) | (param << 16);
}

float ClampScale(float s) { return s > 0.0f ? (s < 1.0f ? s : 1.0f) : 0.0f; }  // NaN gives 0

struct SMergeJob {
    const uint16_t* src;
    int32_t srcStride;  // pixels
    uint16_t* dst;
    int32_t dstStride;  // pixels
    int32_t w, h;
    int32_t eBpp;
    float sR, sG, sB;
};

// One pixel of a table merge: each channel's entry for its source and
// destination fields.
template <class F>
inline uint16_t TablePixel(uint32_t sp, uint32_t dp, const uint16_t* tr, const uint16_t* tg, const uint16_t* tb) {
    constexpr uint32_t rMask = (1u << F::rBits) - 1, gMask = (1u << F::gBits) - 1, bMask = (1u << F::bBits) - 1;
    return static_cast<uint16_t>(tr[(((sp >> F::rPos) & rMask) << F::rBits) | ((dp >> F::rPos) & rMask)] |
                                 tg[(((sp >> F::gPos) & gMask) << F::gBits) | ((dp >> F::gPos) & gMask)] |
                                 tb[(((sp >> F::bPos) & bMask) << F::bBits) | ((dp >> F::bPos) & bMask)]);
}

// Rows right to left, the destination read before it is written.
template <class F, bool kKey>
void TableRowsBackwards(const SMergeJob& j, const uint16_t* tr, const uint16_t* tg, const uint16_t* tb) {
    for (int32_t y = 0; y < j.h; ++y) {
        const uint16_t* s = j.src + size_t(y) * j.srcStride;
        uint16_t* d = j.dst + size_t(y) * j.dstStride;
        for (int32_t x = j.w - 1; x >= 0; --x) {
            const uint32_t sp = s[x];
            if (kKey && sp == 0) continue;
            const uint32_t dp = d[x];
            d[x] = TablePixel<F>(sp, dp, tr, tg, tb);
        }
    }
}

void CopyRows(const SMergeJob& j) {
    for (int32_t y = 0; y < j.h; ++y)
        std::memmove(j.dst + size_t(y) * j.dstStride, j.src + size_t(y) * j.srcStride, size_t(j.w) * 2);
}

// True when the layer's pixels share memory with the destination (a bitmap
// merged into its own display copy); then rows must go right to left one
// pixel at a time, as the merges have always done, for the result to hold.
bool Overlaps(const SMergeJob& j) {
    // As addresses: the two buffers are usually unrelated arrays.
    const uintptr_t src = reinterpret_cast<uintptr_t>(j.src), dst = reinterpret_cast<uintptr_t>(j.dst);
    const uintptr_t srcEnd = src + (size_t(j.h - 1) * size_t(j.srcStride) + size_t(j.w)) * 2;
    const uintptr_t dstEnd = dst + (size_t(j.h - 1) * size_t(j.dstStride) + size_t(j.w)) * 2;
    return src < dstEnd && dst < srcEnd;
}

#if QVN_AVX2_KERNELS
// The table merge eight pixels at a time, each channel's entries fetched by
// one gather (32 bits at each entry: the tables have room for the last one's
// neighbour; only the low 16 bits are kept). Rows that do not overlap the
// destination only: the order of the pixels is free.
// The table index (source field << bits | destination field) of eight pixels.
QVN_AVX2 inline __m256i TableIndex(__m256i sp, __m256i dp, __m256i mask, int pos, int bits) {
    const __m256i sf = _mm256_and_si256(_mm256_srli_epi32(sp, pos), mask);
    const __m256i df = _mm256_and_si256(_mm256_srli_epi32(dp, pos), mask);
    return _mm256_or_si256(_mm256_slli_epi32(sf, bits), df);
}

template <class F, bool kKey>
QVN_AVX2 void TableRowsAvx2(const SMergeJob& j, const uint16_t* tr, const uint16_t* tg, const uint16_t* tb) {
    constexpr uint32_t rMask = (1u << F::rBits) - 1, gMask = (1u << F::gBits) - 1, bMask = (1u << F::bBits) - 1;
    const __m256i rm = _mm256_set1_epi32(int(rMask)), gm = _mm256_set1_epi32(int(gMask)),
                  bm = _mm256_set1_epi32(int(bMask)), low = _mm256_set1_epi32(0xFFFF);
    for (int32_t y = 0; y < j.h; ++y) {
        const uint16_t* s = j.src + size_t(y) * j.srcStride;
        uint16_t* d = j.dst + size_t(y) * j.dstStride;
        int32_t x = 0;
        for (; x + 8 <= j.w; x += 8) {
            const __m128i s16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
            const __m128i d16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
            const __m256i sp = _mm256_cvtepu16_epi32(s16), dp = _mm256_cvtepu16_epi32(d16);
            const __m256i r = _mm256_i32gather_epi32(reinterpret_cast<const int*>(tr),
                                                     TableIndex(sp, dp, rm, F::rPos, F::rBits), 2);
            const __m256i g = _mm256_i32gather_epi32(reinterpret_cast<const int*>(tg),
                                                     TableIndex(sp, dp, gm, F::gPos, F::gBits), 2);
            const __m256i b = _mm256_i32gather_epi32(reinterpret_cast<const int*>(tb),
                                                     TableIndex(sp, dp, bm, F::bPos, F::bBits), 2);
            const __m256i out = _mm256_and_si256(_mm256_or_si256(_mm256_or_si256(r, g), b), low);
            __m128i out16 = _mm_packus_epi32(_mm256_castsi256_si128(out), _mm256_extracti128_si256(out, 1));
            if (kKey) out16 = _mm_blendv_epi8(out16, d16, _mm_cmpeq_epi16(s16, _mm_setzero_si128()));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), out16);
        }
        for (; x < j.w; ++x) {
            const uint32_t sp = s[x];
            if (kKey && sp == 0) continue;
            const uint32_t dp = d[x];
            d[x] = TablePixel<F>(sp, dp, tr, tg, tb);
        }
    }
}
#endif

template <class F, bool kKey>
void TableRows(const SMergeJob& j, const uint16_t* tr, const uint16_t* tg, const uint16_t* tb) {
#if QVN_AVX2_KERNELS
    if (qvn_BitmapKernelsUseAvx2() && !Overlaps(j)) {
        TableRowsAvx2<F, kKey>(j, tr, tg, tb);
        return;
    }
#endif
    TableRowsBackwards<F, kKey>(j, tr, tg, tb);
}

// Without overlap the row kernels below are free to go in any order, which
// lets the compiler work on several pixels at once.
QVN_KERNEL void KeyedCopyRowKernel(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w) {
    for (int32_t x = 0; x < w; ++x) d[x] = s[x] ? s[x] : d[x];
}

QVN_AVX2 void KeyedCopyRowAvx2(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w) {
    KeyedCopyRowKernel(s, d, w);
}
void KeyedCopyRow(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w) {
    if (qvn_BitmapKernelsUseAvx2())
        KeyedCopyRowAvx2(s, d, w);
    else
        KeyedCopyRowKernel(s, d, w);
}

void KeyedCopyRows(const SMergeJob& j) {
    const bool overlap = Overlaps(j);
    for (int32_t y = 0; y < j.h; ++y) {
        const uint16_t* s = j.src + size_t(y) * j.srcStride;
        uint16_t* d = j.dst + size_t(y) * j.dstStride;
        if (!overlap) {
            KeyedCopyRow(s, d, j.w);
            continue;
        }
        for (int32_t x = j.w - 1; x >= 0; --x)
            if (s[x]) d[x] = s[x];
    }
}

template <class F>
QVN_KERNEL void AddSatRowKernel(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w) {
    for (int32_t x = 0; x < w; ++x) d[x] = AddSat<F>(d[x], s[x]);
}

template <class F>
QVN_AVX2 void AddSatRowAvx2(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w) {
    AddSatRowKernel<F>(s, d, w);
}
template <class F>
void AddSatRow(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w) {
    if (qvn_BitmapKernelsUseAvx2())
        AddSatRowAvx2<F>(s, d, w);
    else
        AddSatRowKernel<F>(s, d, w);
}

template <class F>
void AddSatRows(const SMergeJob& j) {
    const bool overlap = Overlaps(j);
    for (int32_t y = 0; y < j.h; ++y) {
        const uint16_t* s = j.src + size_t(y) * j.srcStride;
        uint16_t* d = j.dst + size_t(y) * j.dstStride;
        if (!overlap) {
            AddSatRow<F>(s, d, j.w);
            continue;
        }
        for (int32_t x = j.w - 1; x >= 0; --x) d[x] = AddSat<F>(d[x], s[x]);
    }
}

// One channel of a normal merge: src8 + F1[src8 >> 2][dst8 >> 2][k]. Every
// intermediate stays a 16-bit value, so the vectoriser keeps eight pixels per
// register instead of widening.
template <int Pos, int Bits>
inline uint16_t NormalChannel(uint16_t sp, uint16_t dp, qvn_SFadeMul m) {
    constexpr int kDrop = 8 - Bits;
    constexpr uint16_t kMask = (1u << Bits) - 1;
    const uint16_t s8 = uint16_t(((sp >> Pos) & kMask) << kDrop);
    const uint16_t d8 = uint16_t(((dp >> Pos) & kMask) << kDrop);
    return uint16_t((qvn_FadeTowards(s8, d8, m) >> kDrop) << Pos);
}

// One channel of an additive merge: F2[dst8 >> 2][src8 >> 2][k].
template <int Pos, int Bits>
inline uint16_t AdditiveChannel(uint16_t sp, uint16_t dp, qvn_SFadeMul m) {
    constexpr int kDrop = 8 - Bits;
    constexpr uint16_t kMask = (1u << Bits) - 1;
    const uint16_t s6 = uint16_t((((sp >> Pos) & kMask) << kDrop) >> 2);
    const uint16_t d8 = uint16_t((((dp >> Pos) & kMask) << kDrop) & 0xFC);
    uint16_t out8 = uint16_t(d8 + qvn_FadeQuotient(s6, m));
    out8 = out8 < 255 ? out8 : uint16_t(255);
    return uint16_t((out8 >> kDrop) << Pos);
}

template <class F, bool kKey>
QVN_KERNEL void NormalRowKernel(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w, qvn_SFadeMul mr,
                                    qvn_SFadeMul mg, qvn_SFadeMul mb) {
    for (int32_t x = 0; x < w; ++x) {
        const uint16_t sp = s[x], dp = d[x];
        const uint16_t out = uint16_t(NormalChannel<F::rPos, F::rBits>(sp, dp, mr) |
                                      NormalChannel<F::gPos, F::gBits>(sp, dp, mg) |
                                      NormalChannel<F::bPos, F::bBits>(sp, dp, mb));
        d[x] = kKey ? (sp ? out : dp) : out;
    }
}

template <class F>
QVN_KERNEL void AdditiveRowKernel(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w,
                                      qvn_SFadeMul mr, qvn_SFadeMul mg, qvn_SFadeMul mb) {
    for (int32_t x = 0; x < w; ++x) {
        const uint16_t sp = s[x], dp = d[x];
        d[x] = uint16_t(AdditiveChannel<F::rPos, F::rBits>(sp, dp, mr) |
                        AdditiveChannel<F::gPos, F::gBits>(sp, dp, mg) |
                        AdditiveChannel<F::bPos, F::bBits>(sp, dp, mb));
    }
}

template <class F, bool kKey>
QVN_AVX2 void NormalRowAvx2(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w, qvn_SFadeMul mr,
                            qvn_SFadeMul mg, qvn_SFadeMul mb) {
    NormalRowKernel<F, kKey>(s, d, w, mr, mg, mb);
}
template <class F, bool kKey>
void NormalRow(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w, qvn_SFadeMul mr, qvn_SFadeMul mg,
               qvn_SFadeMul mb) {
    if (qvn_BitmapKernelsUseAvx2())
        NormalRowAvx2<F, kKey>(s, d, w, mr, mg, mb);
    else
        NormalRowKernel<F, kKey>(s, d, w, mr, mg, mb);
}

template <class F>
QVN_AVX2 void AdditiveRowAvx2(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w, qvn_SFadeMul mr,
                              qvn_SFadeMul mg, qvn_SFadeMul mb) {
    AdditiveRowKernel<F>(s, d, w, mr, mg, mb);
}
template <class F>
void AdditiveRow(const uint16_t* __restrict s, uint16_t* __restrict d, int32_t w, qvn_SFadeMul mr, qvn_SFadeMul mg,
                 qvn_SFadeMul mb) {
    if (qvn_BitmapKernelsUseAvx2())
        AdditiveRowAvx2<F>(s, d, w, mr, mg, mb);
    else
        AdditiveRowKernel<F>(s, d, w, mr, mg, mb);
}

// Partial-strength normal (kKey: chromakey) or additive merge of rows that do
// not overlap the destination; k per channel.
template <class F, bool kAdditive, bool kKey>
void FadeRows(const SMergeJob& j, uint32_t kR, uint32_t kG, uint32_t kB) {
    const qvn_SFadeMul* muls = qvn_FadeMuls();
    const qvn_SFadeMul mr = muls[kR], mg = muls[kG], mb = muls[kB];
    for (int32_t y = 0; y < j.h; ++y) {
        const uint16_t* s = j.src + size_t(y) * j.srcStride;
        uint16_t* d = j.dst + size_t(y) * j.dstStride;
        if (kAdditive)
            AdditiveRow<F>(s, d, j.w, mr, mg, mb);
        else
            NormalRow<F, kKey>(s, d, j.w, mr, mg, mb);
    }
}

}  // namespace

qvn_cBitmapLayers::qvn_cBitmapLayers()
    : m_pBitmapLayersInfosList(nullptr), m_nNbLayers(0), m_pBitmapList(nullptr), m_pChannelTables(nullptr),
      m_nNextChannelTable(0) {
    // 65536 * 256 / (256 - i), linear between powers of two: segment k starts
    // at 256 - 256 / 2^k with the value 2^k * 65536 and has max(1, 128 / 2^k)
    // entries that together double it.
    for (int k = 0; k <= 8; ++k) {
        const int start = 256 - (256 >> k);
        const int count = (128 >> k) > 0 ? (128 >> k) : 1;
        const int32_t value = int32_t(65536) << k;
        const int32_t step = value / count;
        for (int e = 0; e < count && start + e < 256; ++e) m_pColorDodgeTable[start + e] = value + e * step;
    }
}

qvn_cBitmapLayers::~qvn_cBitmapLayers() {
    delete m_pBitmapList;  // its destructor frees the entries, never the bitmaps
    for (int32_t i = 0; i < m_nNbLayers; ++i) delete m_pBitmapLayersInfosList[i];
    std::free(m_pBitmapLayersInfosList);
    delete[] m_pChannelTables;
}

int32_t qvn_cBitmapLayers::add(qvn_cBitmap* pBitmap, int32_t eFX, float fScaleR, float fScaleG, float fScaleB,
                               int32_t nPosition) {
    if (!m_pBitmapList) {
        m_pBitmapList = new (std::nothrow) qvn_cBitmapList;
        if (!m_pBitmapList) {
            LAYERS_LOG("qvn_cBitmapLayers::add() : Not enough memory for m_pBitmapList.\n");
            return -1;
        }
    }
    // The blend tables are made with the first layer, not by the first merge
    // that needs one: a compositor allocates nothing once frames play.
    if (!allocChannelTables()) {
        LAYERS_LOG("qvn_cBitmapLayers::add() : Not enough memory for the blend tables.\n");
        return -1;
    }
    SBitmapLayer* layer = new (std::nothrow) SBitmapLayer;
    if (!layer) {
        LAYERS_LOG("qvn_cBitmapLayers::add() : Not enough memory for BitmapLayer Infos.\n");
        return -1;
    }
    *layer = SBitmapLayer{0, nullptr, 0.0f, 1, QVN_ANIM_ONCE, nullptr, QVN_FX_NORMAL, 1.0f, 1.0f, 1.0f, 1, 0.0f, 0.0f};
    SBitmapLayer** grown = static_cast<SBitmapLayer**>(
        std::realloc(m_pBitmapLayersInfosList, sizeof(SBitmapLayer*) * size_t(m_nNbLayers + 1)));
    if (!grown) {
        delete layer;
        LAYERS_LOG("qvn_cBitmapLayers::add() : Not enough memory for BitmapLayerInfos List.\n");
        return -1;
    }
    m_pBitmapLayersInfosList = grown;
    const int32_t id = m_pBitmapList->add(pBitmap, layer, nPosition);
    if (id == -1) {
        // A layer the list refused would be drawn without ever being reachable.
        delete layer;
        return -1;
    }
    m_pBitmapLayersInfosList[m_nNbLayers++] = layer;
    layer->m_nID = id;
    layer->m_pBitmap = m_pBitmapList->find(id);
    setFX(id, eFX);
    setScaleR(id, fScaleR);
    setScaleG(id, fScaleG);
    setScaleB(id, fScaleB);
    setVisible(id, 1);
    setPosX(id, 0.0f);
    setPosY(id, 0.0f);
    return id;
}

int32_t qvn_cBitmapLayers::add(qvn_cBitmapList* pBitmapList, int32_t eAnimType, int32_t eFX, float fScaleR,
                               float fScaleG, float fScaleB, int32_t nPosition) {
    if (!pBitmapList) {
        LAYERS_LOG("qvn_cBitmapLayers::add() : pBitmapList in NULL Ptr.\n");
        return -1;
    }
    qvn_cBitmap* first = pBitmapList->getFirst();
    if (!first) {
        LAYERS_LOG("qvn_cBitmapLayers::add() : Can't get first bitmap in bitmapList.\n");
        return -1;
    }
    const int32_t id = add(first, eFX, fScaleR, fScaleG, fScaleB, nPosition);
    if (id == -1) return -1;
    SBitmapLayer* layer = getBitmapLayer(id);
    if (!layer) {
        LAYERS_LOG("qvn_cBitmapLayers::add() : Can't get BitmapLayer associated with layer ID <%d>.\n", id);
        return 0;
    }
    layer->m_pAnimList = pBitmapList;
    layer->m_fAnimPos = 0.0f;
    layer->m_nAnimDir = 1;
    layer->m_eAnimType = eAnimType;
    return id;
}

void qvn_cBitmapLayers::remove(int32_t nID) {
    if (!m_pBitmapList) return;
    SBitmapList* entry = m_pBitmapList->findEntry(nID);
    if (!entry) return;
    SBitmapLayer* layer = static_cast<SBitmapLayer*>(entry->m_pUserData);
    m_pBitmapList->remove(nID);
    // A removed layer is gone for drawing too: a layer nobody can reach any
    // more would otherwise stay on screen for good.
    for (int32_t i = 0; layer && i < m_nNbLayers; ++i) {
        if (m_pBitmapLayersInfosList[i] != layer) continue;
        std::memmove(m_pBitmapLayersInfosList + i, m_pBitmapLayersInfosList + i + 1,
                     sizeof(SBitmapLayer*) * size_t(m_nNbLayers - i - 1));
        --m_nNbLayers;
        delete layer;
        break;
    }
}

bool qvn_cBitmapLayers::moveTo(int32_t nID, int32_t nIndex) {
    if (!m_pBitmapList) {
        LAYERS_LOG("qvn_cBitmapLayers::moveTo() : No Layer.\n");
        return false;
    }
    return m_pBitmapList->moveTo(nID, nIndex);
}

bool qvn_cBitmapLayers::drawLast(int32_t nID) {
    SBitmapLayer* layer = getBitmapLayer(nID);
    if (!layer) return false;
    for (int32_t i = 0; i < m_nNbLayers; ++i) {
        if (m_pBitmapLayersInfosList[i] != layer) continue;
        std::memmove(m_pBitmapLayersInfosList + i, m_pBitmapLayersInfosList + i + 1,
                     sizeof(SBitmapLayer*) * size_t(m_nNbLayers - 1 - i));
        m_pBitmapLayersInfosList[m_nNbLayers - 1] = layer;
        return true;
    }
    return false;
}

SBitmapLayer* qvn_cBitmapLayers::getBitmapLayer(int32_t nID) {
    if (!m_pBitmapList) {
        LAYERS_LOG("qvn_cBitmapLayers::getBitmapLayer() : No Layer.\n");
        return nullptr;
    }
    SBitmapList* entry = m_pBitmapList->findEntry(nID);
    if (!entry) {
        LAYERS_LOG("qvn_cBitmapLayers::getBitmapLayer() : Can't get BitmapList with ID <%d>.\n", nID);
        return nullptr;
    }
    if (!entry->m_pUserData) {
        LAYERS_LOG("qvn_cBitmapLayers::getBitmapLayer() : No user data associated with layer ID <%d>.\n", nID);
        return nullptr;
    }
    return static_cast<SBitmapLayer*>(entry->m_pUserData);
}

namespace {
// Frame index of an animation position; -1 for a position no frame has
// (negative, undefined or beyond any int).
int32_t FrameIndex(float pos) { return (pos >= 0.0f && pos < 2147483520.0f) ? int32_t(pos) : -1; }
}  // namespace

qvn_cBitmap* qvn_cBitmapLayers::getBitmap(int32_t nID) {
    if (!m_pBitmapList) {
        LAYERS_LOG("qvn_cBitmapLayers::getBitmap() : No Layer.\n");
        return nullptr;
    }
    SBitmapLayer* layer = getBitmapLayer(nID);
    if (!layer) {
        LAYERS_LOG("qvn_cBitmapLayers::getBitmap() : Can't get bitmapLayer associated with layer ID <%d>.\n", nID);
        return nullptr;
    }
    if (layer->m_pAnimList) return layer->m_pAnimList->getAt(FrameIndex(layer->m_fAnimPos));
    return layer->m_pBitmap;
}

#define LAYER_OR_FAIL(name, failValue)                                                                      \
    SBitmapLayer* layer = getBitmapLayer(nID);                                                              \
    if (!layer) {                                                                                           \
        LAYERS_LOG("qvn_cBitmapLayers::" name "() : Can't get UserData associated with layer ID <%d>.\n", nID); \
        return failValue;                                                                                   \
    }

float qvn_cBitmapLayers::getScaleR(int32_t nID) {
    LAYER_OR_FAIL("getScaleR", -1.0f)
    return layer->m_fScaleR;
}
uint8_t qvn_cBitmapLayers::getVisible(int32_t nID) {
    LAYER_OR_FAIL("getVisible", 0)
    return layer->m_bVisible;
}
float qvn_cBitmapLayers::getPosX(int32_t nID) {
    LAYER_OR_FAIL("getPosX", -1.0f)
    return layer->m_fPosX;
}
float qvn_cBitmapLayers::getPosY(int32_t nID) {
    LAYER_OR_FAIL("getPosY", -1.0f)
    return layer->m_fPosY;
}
bool qvn_cBitmapLayers::setFX(int32_t nID, int32_t eFX) {
    LAYER_OR_FAIL("setFX", false)
    layer->m_eFX = eFX;
    // A colour-dodge layer merges through the channel tables: they are made
    // now, while the part builds its layers, and not by the first frame that
    // shows the layer (a part must not allocate once its frames play).
    if (eFX == QVN_FX_COLORDODGE) allocChannelTables();
    return true;
}
// Strengths are never negative; NaN counts as none.
static float NonNegative(float s) { return s > 0.0f ? s : 0.0f; }
bool qvn_cBitmapLayers::setScaleR(int32_t nID, float fScale) {
    LAYER_OR_FAIL("setScaleR", false)
    layer->m_fScaleR = NonNegative(fScale);
    return true;
}
bool qvn_cBitmapLayers::setScaleG(int32_t nID, float fScale) {
    LAYER_OR_FAIL("setScaleG", false)
    layer->m_fScaleG = NonNegative(fScale);
    return true;
}
bool qvn_cBitmapLayers::setScaleB(int32_t nID, float fScale) {
    LAYER_OR_FAIL("setScaleB", false)
    layer->m_fScaleB = NonNegative(fScale);
    return true;
}
bool qvn_cBitmapLayers::setScaleRGB(int32_t nID, float fScaleR, float fScaleG, float fScaleB) {
    LAYER_OR_FAIL("setScaleRGB", false)
    layer->m_fScaleR = NonNegative(fScaleR);
    layer->m_fScaleG = NonNegative(fScaleG);
    layer->m_fScaleB = NonNegative(fScaleB);
    return true;
}
bool qvn_cBitmapLayers::setVisible(int32_t nID, uint8_t bVisible) {
    LAYER_OR_FAIL("setVisible", false)
    layer->m_bVisible = bVisible;
    return true;
}
bool qvn_cBitmapLayers::setPosX(int32_t nID, float fPosX) {
    LAYER_OR_FAIL("setPosX", false)
    layer->m_fPosX = fPosX;
    return true;
}
bool qvn_cBitmapLayers::setPosY(int32_t nID, float fPosY) {
    LAYER_OR_FAIL("setPosY", false)
    layer->m_fPosY = fPosY;
    return true;
}
bool qvn_cBitmapLayers::setPosXY(int32_t nID, float fPosX, float fPosY) {
    LAYER_OR_FAIL("setPosXY", false)
    layer->m_fPosX = fPosX;
    layer->m_fPosY = fPosY;
    return true;
}
#undef LAYER_OR_FAIL

bool qvn_cBitmapLayers::updateLayersAnims(float fStep) {
    if (!m_pBitmapLayersInfosList) {
        LAYERS_LOG("qvn_cBitmapLayers::updateLayersAnims() : m_pBitmapLayersInfosList is NULL Ptr.\n");
        return false;
    }
    for (int32_t i = 0; i < m_nNbLayers; ++i) {
        SBitmapLayer* layer = m_pBitmapLayersInfosList[i];
        if (!layer) {
            LAYERS_LOG("qvn_cBitmapLayers::updateLayersAnims() : Can't get SBitmapLayer[%d].\n", i);
            continue;
        }
        if (!layer->m_pAnimList) continue;
        const float frames = float(layer->m_pAnimList->getCount());
        switch (layer->m_eAnimType) {
        case QVN_ANIM_ONCE:
            layer->m_fAnimPos += fStep;
            layer->m_pBitmap = layer->m_fAnimPos >= frames
                                   ? nullptr
                                   : layer->m_pAnimList->getAt(FrameIndex(layer->m_fAnimPos));
            break;
        case QVN_ANIM_LOOP:
            layer->m_fAnimPos += fStep;
            if (layer->m_fAnimPos >= frames) layer->m_fAnimPos = 0.0f;
            layer->m_pBitmap = layer->m_pAnimList->getAt(FrameIndex(layer->m_fAnimPos));
            break;
        case QVN_ANIM_PINGPONG:
            // Each layer keeps its own direction: one part's animation must
            // not start backwards because another part's turned last.
            layer->m_fAnimPos += layer->m_nAnimDir < 0 ? -fStep : fStep;
            if (layer->m_fAnimPos >= frames) {
                layer->m_nAnimDir = -1;
                layer->m_fAnimPos -= fStep;
            } else if (layer->m_fAnimPos < 0.0f) {
                layer->m_nAnimDir = 1;
                layer->m_fAnimPos += fStep;
            }
            layer->m_pBitmap = layer->m_pAnimList->getAt(FrameIndex(layer->m_fAnimPos));
            break;
        default:
            LAYERS_LOG("qvn_cBitmapLayers::updateLayersAnims() : Unknown animType<%d>\n", layer->m_eAnimType);
            break;
        }
    }
    return true;
}

bool qvn_cBitmapLayers::getMerged(uint16_t* p16bitsPixels, int32_t nSizeX, int32_t nSizeY) {
    if (!p16bitsPixels) {
        LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Parameter1 is a NULL ptr.\n");
        return false;
    }
    if (!m_pBitmapList) {
        LAYERS_LOG("qvn_cBitmapLayers::getMerged() : No Layer.\n");
        return false;
    }
    if (m_pBitmapList->getCount() == 0) {
        LAYERS_LOG("qvn_cBitmapLayers::getMerged() : No bitmap have been added to layers.\n");
        return false;
    }
    qvn_cBitmap* background = m_pBitmapList->getFirst();
    if (!background) {
        LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Can't get background bitmap.\n");
        return false;
    }
    if (background->m_eBpp != QVN_BPP_555 && background->m_eBpp != QVN_BPP_565) {
        LAYERS_LOG("qvn_cBitmapLayers::getMerged() : pSrcBitmapLayer is in <%d> bpp.\n", background->m_eBpp);
        return false;
    }
    if (nSizeX <= 0 || nSizeY <= 0) {
        LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Bad destination size (%dx%d).\n", nSizeX, nSizeY);
        return false;
    }
    for (int32_t i = 0; i < m_nNbLayers; ++i) {
        SBitmapLayer* layer = m_pBitmapLayersInfosList[i];
        if (!layer) {
            LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Can't get bitmap layer %d / %d.\n", i, m_nNbLayers);
            return false;
        }
        if (layer->m_bVisible != 1) continue;
        switch (layer->m_eFX) {
        case QVN_FX_NORMAL:
            if (!normal_merge(layer, p16bitsPixels, nSizeX, nSizeY))
                LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Layer with ID <%d> hasn't been added to background "
                           "(normal mode).\n", layer->m_nID);
            break;
        case QVN_FX_ADDITIVE:
            if (!additive_merge(layer, p16bitsPixels, nSizeX, nSizeY))
                LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Layer with ID <%d> hasn't been added to background "
                           "(additive mode).\n", layer->m_nID);
            break;
        case QVN_FX_COLORDODGE:
            if (!colorDodge_merge(layer, p16bitsPixels, nSizeX, nSizeY))
                LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Layer with ID <%d> hasn't been added to background "
                           "(colorDodge mode).\n", layer->m_nID);
            break;
        case QVN_FX_CHROMAKEY:
            if (!chromakey_merge(layer, p16bitsPixels, nSizeX, nSizeY))
                LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Layer with ID <%d> hasn't been added to background "
                           "(chromakey mode).\n", layer->m_nID);
            break;
        default:
            LAYERS_LOG("qvn_cBitmapLayers::getMerged() : Layer with ID <%d> uses unknown FX <%d>.\n", layer->m_nID,
                       layer->m_eFX);
            break;
        }
    }
    return true;
}

bool qvn_cBitmapLayers::allocChannelTables() {
    if (m_pChannelTables) return true;
    m_pChannelTables = new (std::nothrow) SChannelTable[kChannelTables];
    if (!m_pChannelTables) return false;
    for (int i = 0; i < kChannelTables; ++i) m_pChannelTables[i].m_nKey = 0;
    return true;
}

const uint16_t* qvn_cBitmapLayers::channelTable(uint32_t nKey) {
    if (!allocChannelTables()) return nullptr;
    for (int i = 0; i < kChannelTables; ++i)
        if (m_pChannelTables[i].m_nKey == nKey) return m_pChannelTables[i].m_Entries;
    SChannelTable& t = m_pChannelTables[m_nNextChannelTable];
    m_nNextChannelTable = (m_nNextChannelTable + 1) % kChannelTables;
    const uint32_t kind = nKey & 7;
    const bool fiveBitBlue = (nKey & 8) != 0;
    const int bits = int((nKey >> 4) & 15);
    const int pos = int((nKey >> 8) & 15);
    const uint32_t param = nKey >> 16;
    const int drop = 8 - bits;
    const int fieldMax = (1 << bits) - 1;
    qvn_cBitmap::buildFadingTables();  // normally done by the first bitmap already
    int16_t (*const fading)[64][64] = qvn_cBitmap::m_pppArrayFadingValues;
    int16_t (*const additive)[64][64] = qvn_cBitmap::m_pppArrayAdditiveValues;
    // One loop per kind, with what depends on the source field worked out
    // once per row of the table: a partial dodge's table is made again
    // whenever its strength changes, which can be every frame.
    auto store = [&](int sf, int df, int out) {
        out = out < 0 ? 0 : (out > fieldMax ? fieldMax : out);
        t.m_Entries[(sf << bits) | df] = static_cast<uint16_t>(out << pos);
    };
    for (int sf = 0; sf <= fieldMax; ++sf) {
        const int s8 = sf << drop;
        switch (kind) {
        case kNormal:
            for (int df = 0; df <= fieldMax; ++df)
                store(sf, df, (s8 + fading[s8 >> 2][(df << drop) >> 2][param]) >> drop);
            break;
        case kAdditive:
            for (int df = 0; df <= fieldMax; ++df) store(sf, df, additive[(df << drop) >> 2][s8 >> 2][param] >> drop);
            break;
        case kDodgeFull: {
            const uint64_t factor = uint32_t(m_pColorDodgeTable[s8]);
            for (int df = 0; df <= fieldMax; ++df) {
                if (fiveBitBlue) {
                    const uint64_t v = (factor * uint32_t(df)) >> 16;
                    store(sf, df, int(v < 31 ? v : 31));
                } else {
                    const uint64_t v = (factor * uint32_t(df << drop)) >> 16;
                    store(sf, df, int(v < 255 ? v : 255) >> drop);
                }
            }
            break;
        }
        case kDodgePartial: {
            const uint32_t index = (uint32_t(s8) * param) >> 16;
            const uint64_t factor = uint32_t(m_pColorDodgeTable[index]);
            for (int df = 0; df <= fieldMax; ++df) {
                const uint64_t v = (factor * uint32_t(df << drop)) >> 16;
                store(sf, df, int(v < 255 ? v : 255) >> drop);
            }
            break;
        }
        default:
            for (int df = 0; df <= fieldMax; ++df) store(sf, df, 0);
            break;
        }
    }
    t.m_nKey = nKey;
    return t.m_Entries;
}

namespace {

enum class Prep { kDraw, kNothing, kFailed };

// The checks and the clipping the four merges share. Chromakey leaves out the
// leftmost column and the bottom row of the clipped rectangle.
Prep PrepareMerge(const char* name, SBitmapLayer* layer, uint16_t* dst, int32_t nSizeX, int32_t nSizeY,
                  bool chromakey, SMergeJob& job) {
    if (!dst) {
        LAYERS_LOG("qvn_cBitmapLayers::%s() : p16bitsPixels is NULL.\n", name);
        return Prep::kFailed;
    }
    if (!layer) {
        LAYERS_LOG("qvn_cBitmapLayers::%s() : pBitmapLayer is NULL.\n", name);
        return Prep::kFailed;
    }
    qvn_cBitmap* bitmap = layer->m_pBitmap;
    if (!bitmap) {
        if (layer->m_pAnimList) return Prep::kNothing;  // a play-once animation that has ended
        LAYERS_LOG("qvn_cBitmapLayers::%s() : Can't get pSrcBitmap.\n", name);
        return Prep::kFailed;
    }
    if (bitmap->m_eBpp != QVN_BPP_555 && bitmap->m_eBpp != QVN_BPP_565) {
        LAYERS_LOG("qvn_cBitmapLayers::%s() : pSrcBitmapLayer is in <%d> bpp.\n", name, bitmap->m_eBpp);
        return Prep::kFailed;
    }
    // A bitmap emptied by a failed load, or one whose fields disagree, has no
    // pixels to read safely.
    if (!bitmap->m_pBitmapPixels || bitmap->m_nSizeX <= 0 || bitmap->m_nSizeY <= 0 ||
        bitmap->m_nBytesPerLine < bitmap->m_nSizeX * 2) {
        LAYERS_LOG("qvn_cBitmapLayers::%s() : Can't get pSrcBitmap.\n", name);
        return Prep::kFailed;
    }
    // Positions far outside any screen (or undefined) draw nothing.
    const float kFar = 1073741824.0f;
    if (!(layer->m_fPosX > -kFar && layer->m_fPosX < kFar && layer->m_fPosY > -kFar && layer->m_fPosY < kFar))
        return Prep::kNothing;
    const int64_t x = int64_t(layer->m_fPosX), y = int64_t(layer->m_fPosY);
    const int64_t width = bitmap->m_nSizeX, height = bitmap->m_nSizeY;
    if (x >= nSizeX || y >= nSizeY || x + width < 1 || y + height < 1) return Prep::kNothing;
    int64_t x0 = x > 0 ? x : 0, y0 = y > 0 ? y : 0;
    const int64_t x1 = x + width < nSizeX ? x + width : nSizeX;
    int64_t y1 = y + height < nSizeY ? y + height : nSizeY;
    if (chromakey) {
        ++x0;
        --y1;
    }
    if (x1 <= x0 || y1 <= y0) return Prep::kNothing;
    const int32_t srcStride = bitmap->m_nBytesPerLine / 2;
    job.src = bitmap->pixels16() + size_t(y0 - y) * size_t(srcStride) + size_t(x0 - x);
    job.srcStride = srcStride;
    job.dst = dst + size_t(y0) * size_t(nSizeX) + size_t(x0);
    job.dstStride = nSizeX;
    job.w = int32_t(x1 - x0);
    job.h = int32_t(y1 - y0);
    job.eBpp = bitmap->m_eBpp;
    job.sR = ClampScale(layer->m_fScaleR);
    job.sG = ClampScale(layer->m_fScaleG);
    job.sB = ClampScale(layer->m_fScaleB);
    return Prep::kDraw;
}

}  // namespace

// Table merges of one format: per channel param and table kind.
#define QVN_TABLE_MERGE(F, kind, pR, pG, pB, keyed)                                                      \
    do {                                                                                                 \
        const uint16_t* tr = channelTable(TableKey(kind, false, F::rBits, F::rPos, pR));                 \
        const uint16_t* tg = channelTable(TableKey(kind, false, F::gBits, F::gPos, pG));                 \
        const uint16_t* tb = channelTable(TableKey(kind, (kind) == kDodgeFull, F::bBits, F::bPos, pB)); \
        if (!tr || !tg || !tb) return false;                                                             \
        TableRows<F, keyed>(job, tr, tg, tb);                                                            \
    } while (0)

bool qvn_cBitmapLayers::normal_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX,
                                     int32_t nSizeY) {
    SMergeJob job;
    const Prep prep = PrepareMerge("normal_merge", pBitmapLayer, p16bitsPixels, nSizeX, nSizeY, false, job);
    if (prep != Prep::kDraw) return prep == Prep::kNothing;
    if (job.sR == 0.0f && job.sG == 0.0f && job.sB == 0.0f) return true;
    if (job.sR == 1.0f && job.sG == 1.0f && job.sB == 1.0f) {
        CopyRows(job);
        return true;
    }
    const uint32_t kR = uint32_t((1.0f - job.sR) * 63.0f), kG = uint32_t((1.0f - job.sG) * 63.0f),
                   kB = uint32_t((1.0f - job.sB) * 63.0f);
    if (!Overlaps(job)) {
        if (job.eBpp == QVN_BPP_565)
            FadeRows<Fmt565, false, false>(job, kR, kG, kB);
        else
            FadeRows<Fmt555, false, false>(job, kR, kG, kB);
    } else if (job.eBpp == QVN_BPP_565) {
        QVN_TABLE_MERGE(Fmt565, kNormal, kR, kG, kB, false);
    } else {
        QVN_TABLE_MERGE(Fmt555, kNormal, kR, kG, kB, false);
    }
    return true;
}

bool qvn_cBitmapLayers::chromakey_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX,
                                        int32_t nSizeY) {
    SMergeJob job;
    const Prep prep = PrepareMerge("chromakey_merge", pBitmapLayer, p16bitsPixels, nSizeX, nSizeY, true, job);
    if (prep != Prep::kDraw) return prep == Prep::kNothing;
    if (job.sR == 0.0f && job.sG == 0.0f && job.sB == 0.0f) return true;
    if (job.sR == 1.0f && job.sG == 1.0f && job.sB == 1.0f) {
        KeyedCopyRows(job);
        return true;
    }
    const uint32_t kR = uint32_t((1.0f - job.sR) * 63.0f), kG = uint32_t((1.0f - job.sG) * 63.0f),
                   kB = uint32_t((1.0f - job.sB) * 63.0f);
    if (!Overlaps(job)) {
        if (job.eBpp == QVN_BPP_565)
            FadeRows<Fmt565, false, true>(job, kR, kG, kB);
        else
            FadeRows<Fmt555, false, true>(job, kR, kG, kB);
    } else if (job.eBpp == QVN_BPP_565) {
        QVN_TABLE_MERGE(Fmt565, kNormal, kR, kG, kB, true);
    } else {
        QVN_TABLE_MERGE(Fmt555, kNormal, kR, kG, kB, true);
    }
    return true;
}

bool qvn_cBitmapLayers::additive_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX,
                                       int32_t nSizeY) {
    SMergeJob job;
    const Prep prep = PrepareMerge("additive_merge", pBitmapLayer, p16bitsPixels, nSizeX, nSizeY, false, job);
    if (prep != Prep::kDraw) return prep == Prep::kNothing;
    if (job.sR == 0.0f && job.sG == 0.0f && job.sB == 0.0f) return true;
    if (job.sR == 1.0f && job.sG == 1.0f && job.sB == 1.0f) {
        if (job.eBpp == QVN_BPP_565)
            AddSatRows<Fmt565>(job);
        else
            AddSatRows<Fmt555>(job);
        return true;
    }
    const uint32_t kR = uint32_t(job.sR * 63.0f), kG = uint32_t(job.sG * 63.0f), kB = uint32_t(job.sB * 63.0f);
    if (!Overlaps(job)) {
        if (job.eBpp == QVN_BPP_565)
            FadeRows<Fmt565, true, false>(job, kR, kG, kB);
        else
            FadeRows<Fmt555, true, false>(job, kR, kG, kB);
    } else if (job.eBpp == QVN_BPP_565) {
        QVN_TABLE_MERGE(Fmt565, kAdditive, kR, kG, kB, false);
    } else {
        QVN_TABLE_MERGE(Fmt555, kAdditive, kR, kG, kB, false);
    }
    return true;
}

bool qvn_cBitmapLayers::colorDodge_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX,
                                         int32_t nSizeY) {
    SMergeJob job;
    const Prep prep = PrepareMerge("colorDodge_merge", pBitmapLayer, p16bitsPixels, nSizeX, nSizeY, false, job);
    if (prep != Prep::kDraw) return prep == Prep::kNothing;
    if (job.sR == 0.0f && job.sG == 0.0f && job.sB == 0.0f) return true;
    // The dodge stays table-driven: its factor depends on the source value in
    // a way that costs more to compute in vector lanes than to look up.
    if (job.sR == 1.0f && job.sG == 1.0f && job.sB == 1.0f) {
        if (job.eBpp == QVN_BPP_565)
            QVN_TABLE_MERGE(Fmt565, kDodgeFull, 0u, 0u, 0u, false);
        else
            QVN_TABLE_MERGE(Fmt555, kDodgeFull, 0u, 0u, 0u, false);
        return true;
    }
    const uint32_t uR = uint32_t(job.sR * 65535.0f), uG = uint32_t(job.sG * 65535.0f),
                   uB = uint32_t(job.sB * 65535.0f);
    if (job.eBpp == QVN_BPP_565)
        QVN_TABLE_MERGE(Fmt565, kDodgePartial, uR, uG, uB, false);
    else
        QVN_TABLE_MERGE(Fmt555, kDodgePartial, uR, uG, uB, false);
    return true;
}
#undef QVN_TABLE_MERGE

