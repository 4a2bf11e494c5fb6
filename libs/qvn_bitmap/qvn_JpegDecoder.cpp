#include "qvn_JpegDecoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "qvn_BitSource.h"
#include "qvn_ErrorLog.h"

namespace {

// Natural (row-major) index of each zigzag position.
const uint8_t kNaturalOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// cos(k pi / 16) / 2 and sqrt(2) / 2, rounded to multiples of 1/1024. The
// rounding is part of the picture this decoder produces (within about one
// level of an exact transform), so the constants stay as they are.
constexpr float kC1 = 502.0f / 1024.0f;
constexpr float kC2 = 473.0f / 1024.0f;
constexpr float kC3 = 426.0f / 1024.0f;
constexpr float kC4 = 362.0f / 1024.0f;
constexpr float kC5 = 284.0f / 1024.0f;
constexpr float kC6 = 196.0f / 1024.0f;
constexpr float kC7 = 100.0f / 1024.0f;
constexpr float kR2 = 724.0f / 1024.0f;

// Eight 8-point inverse DCTs side by side: transform `lane` takes its inputs
// x_k from in[k * 8 + lane] and leaves output n in out[n * 8 + lane]. Written
// lane-wise so the compiler can run the eight transforms as vectors; every
// lane does exactly the scalar operations below, in this order.
inline void Idct8Lanes(const float* in, float* out) {
    for (int i = 0; i < 8; ++i) {
        const float x0 = in[i], x1 = in[8 + i], x2 = in[16 + i], x3 = in[24 + i];
        const float x4 = in[32 + i], x5 = in[40 + i], x6 = in[48 + i], x7 = in[56 + i];
        const float w = (x0 + x4) * kC4;
        const float A = x2 * kC2 + x6 * kC6;
        const float B = x3 * kC3 + x5 * kC5;
        const float C = x1 * kC1 + x7 * kC7;
        const float M = x1 * kC7 - x7 * kC1;
        const float N = x5 * kC3 - x3 * kC5;
        const float V = (x0 - x4) * kC4;
        const float W = x2 * kC6 - x6 * kC2;
        const float X = (C - B - (N - M)) * kR2;
        const float Z = (C - B + (N - M)) * kR2;
        out[i] = w + A + (B + C);
        out[8 + i] = V + W + X;
        out[16 + i] = V - W + Z;
        out[24 + i] = w - A + (M + N);
        out[32 + i] = w - A - (M + N);
        out[40 + i] = V - W - Z;
        out[48 + i] = V + W - X;
        out[56 + i] = w + A - (B + C);
    }
}

// Separable inverse DCT of dequantised coefficients (natural order): the 8
// columns first, then the 8 rows; the level shift is added to every sample,
// which lands at out[y * stride + x]. A block with nothing but its DC term
// gives (x0 c4) c4 everywhere, which is what the full transform computes for
// it, bit for bit (every other term is an exact zero).
void InverseDct(const float* coef, bool dcOnly, float levelShift, float* out, int stride) {
    if (dcOnly) {
        const float v = (coef[0] * kC4) * kC4 + levelShift;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) out[y * stride + x] = v;
        return;
    }
    alignas(16) float a[64];
    alignas(16) float b[64];
    Idct8Lanes(coef, a);  // a[y * 8 + column]
    for (int y = 0; y < 8; ++y)
        for (int k = 0; k < 8; ++k) b[k * 8 + y] = a[y * 8 + k];
    Idct8Lanes(b, a);  // a[x * 8 + row]
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) out[y * stride + x] = a[x * 8 + y] + levelShift;
}

// Lookup first, then the MAXCODE walk for codes longer than the lookup.
inline int DecodeSymbolInline(SJpegBitReader& r, const SJpegHuffTable& t) {
    const uint16_t e = t.nLookup[r.Peek(SJpegHuffTable::kLookupBits)];
    if (e) {
        r.Skip(e >> 8);
        return e & 0xFF;
    }
    const uint32_t bits16 = r.Peek(16);
    for (int l = SJpegHuffTable::kLookupBits + 1; l <= 16; ++l) {
        const int32_t code = static_cast<int32_t>(bits16 >> (16 - l));
        if (code <= t.nMaxCode[l]) {
            r.Skip(l);
            return t.nHuffVal[t.nValPtr[l] + code - t.nMinCode[l]];
        }
    }
    r.Skip(16);
    return -1;
}

// Writes n pixels of 8-bit channels in the output format.
void PackRow(int32_t format, const uint8_t* r, const uint8_t* g, const uint8_t* b, int n, uint8_t* dst) {
    switch (format) {
    case QVN_JPEG_RGB332:
        for (int x = 0; x < n; ++x) dst[x] = static_cast<uint8_t>((r[x] & 0xE0) | ((g[x] >> 5) << 2) | (b[x] >> 6));
        break;
    case QVN_JPEG_555:
    case QVN_JPEG_555_32:
    case QVN_JPEG_565:
    case QVN_JPEG_565_32: {
        const bool wide = format == QVN_JPEG_555_32 || format == QVN_JPEG_565_32;
        const bool six = format == QVN_JPEG_565 || format == QVN_JPEG_565_32;
        for (int x = 0; x < n; ++x) {
            const uint32_t v = six ? ((r[x] >> 3) << 11) | ((g[x] >> 2) << 5) | (b[x] >> 3)
                                   : ((r[x] >> 3) << 10) | ((g[x] >> 3) << 5) | (b[x] >> 3);
            if (wide) {
                std::memcpy(dst + 4 * x, &v, 4);
            } else {
                const uint16_t v16 = static_cast<uint16_t>(v);
                std::memcpy(dst + 2 * x, &v16, 2);
            }
        }
        break;
    }
    case QVN_JPEG_BGR24:
        for (int x = 0; x < n; ++x) {
            dst[3 * x] = b[x];
            dst[3 * x + 1] = g[x];
            dst[3 * x + 2] = r[x];
        }
        break;
    case QVN_JPEG_777:
        for (int x = 0; x < n; ++x) {
            const uint32_t v = (static_cast<uint32_t>(r[x] >> 1) << 16) | (static_cast<uint32_t>(g[x] >> 1) << 8) |
                               (b[x] >> 1);
            std::memcpy(dst + 4 * x, &v, 4);
        }
        break;
    case QVN_JPEG_RGB32:
        for (int x = 0; x < n; ++x) {
            const uint32_t v = (static_cast<uint32_t>(r[x]) << 16) | (static_cast<uint32_t>(g[x]) << 8) | b[x];
            std::memcpy(dst + 4 * x, &v, 4);
        }
        break;
    default:  // codes below 0x1000: one grey byte
        for (int x = 0; x < n; ++x) dst[x] = static_cast<uint8_t>((r[x] + g[x] + b[x]) / 3);
        break;
    }
}

// A row with one value per pixel: src itself at full resolution (shift 0),
// else src widened by two into buf (room for n + 1).
inline const int32_t* WidenRow(const int32_t* src, int shift, int n, int32_t* buf) {
    if (!shift) return src;
    for (int i = 0; i < (n + 1) / 2; ++i) buf[2 * i] = buf[2 * i + 1] = src[i];
    return buf;
}

// A 14-bit channel sum to its 8-bit value.
inline uint8_t Channel8(int32_t v) { return static_cast<uint8_t>(std::min(std::max(v, 0), 16383) >> 6); }

struct SComponent {
    int32_t nId = 0;
    int32_t nH = 1, nV = 1;    // sampling factors
    int32_t nTq = 0;           // quantisation table
    int32_t nWidth = 0, nHeight = 0;      // samples
    int32_t nBlocksX = 0, nBlocksY = 0;   // blocks that carry data (non-interleaved scans)
    int32_t nUpX = 1, nUpY = 1;           // replication factors Hmax / H, Vmax / V
};

// One component of a scan: its tables as they stood when the scan began
// (a later DHT or DQT may redefine the same slots) and its DC predictor.
struct SScanComp {
    int32_t nIndex = 0;  // frame index
    int32_t nPredictor = 0;
    bool bOwner = false;  // the first scan that carries this component: its blocks are kept
    const float* pQuant = nullptr;
    const SJpegHuffTable* pDc = nullptr;
    const SJpegHuffTable* pAc = nullptr;
};

// A scan being decoded: where its entropy data stands and how far it got in
// its own units (blocks of its component, or MCUs when it interleaves).
struct SScan {
    int32_t nComps = 0;
    SScanComp comp[3];
    int32_t nRestartInterval = 0;
    SJpegBitReader reader;
    int64_t nNextUnit = 0;
    bool bEnded = false;
    // Private copies of the tables, for scans decoded after later segments.
    float quant[3][64];
    std::unique_ptr<SJpegHuffTable> pDcCopy[3], pAcCopy[3];
};

class cJpegDecoder {
public:
    cJpegDecoder(SBitSource& src, int32_t format, SJpegInfo& info, const SJpegOptions& options)
        : m_Src(src), m_nFormat(format), m_Info(info), m_Options(options) {
        m_pfnSymbol = options.pfnDecodeSymbol ? options.pfnDecodeSymbol : qvn_JpegDecodeSymbol;
        m_bLookup = m_pfnSymbol == qvn_JpegDecodeSymbol;
    }
    SJpegImage* Run();

private:
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int NextMarker();
    bool SkipSegment();
    bool ReadFrame();
    bool ReadQuantTables();
    bool ReadHuffmanTables();
    bool ReadRestartInterval();
    bool ReadScan();
    bool CheckEntropyRoom();
    bool AllocateOutput();
    bool KeepScan(const SScan& header);
    void DecodeScanNow(SScan& scan);
    void DecodeKeptScans();
    bool Restart(SScan& scan);
    template <bool kLookup>
    bool DecodeBlock(SJpegBitReader& r, SScanComp& c, float* out, int stride);
    bool DecodeBlockAny(SJpegBitReader& r, SScanComp& c, float* out, int stride);
    void Accumulate(int16_t* work, int compIndex, int h, int v, const float* samples);
    void McuRect(int64_t index, int* px, int* py, int* w, int* h) const;
    void FinishMcu(int64_t index, const int16_t* work);
    void BlankRect(int px, int py, int w, int h);
    void ConvertMcu(int64_t index);
    SJpegImage* MakeResult();

    SBitSource& m_Src;
    int32_t m_nFormat;
    SJpegInfo& m_Info;
    const SJpegOptions& m_Options;
    qvn_JpegSymbolDecoder m_pfnSymbol;
    bool m_bLookup;  // the built-in lookup decoder, inlined

    bool m_bFrame = false;
    int32_t m_nPrecision = 8;
    int32_t m_nX = 0, m_nY = 0, m_nNf = 0;
    SComponent m_Comp[3];
    int32_t m_nHmax = 1, m_nVmax = 1;
    int32_t m_nMcusX = 0, m_nMcusY = 0;
    int32_t m_nMcuW = 0, m_nMcuH = 0;  // pixels
    float m_fScale = 64.0f, m_fCenter = 128.0f, m_fLevelShift = 128.0f;

    std::unique_ptr<float[]> m_pQuant[4];  // natural order
    std::unique_ptr<SJpegHuffTable> m_pDc[4], m_pAc[4];
    int32_t m_nRestartInterval = 0;
    int32_t m_nScans = 0;

    std::unique_ptr<uint8_t[]> m_pOut;
    int32_t m_nOutBpp = 0;
    size_t m_nOutBytes = 0;
    // A frame whose first scan carries every component is decoded scan by
    // scan, straight into the output, and needs nothing per MCU but this count
    // of units written in order (MCUs; blocks for a grey frame). A frame split
    // over several scans is decoded once all its scans are known, one MCU row
    // at a time with every scan advancing in step, so only one row of partial
    // sums ever exists, however large the picture.
    bool m_bDeferred = false;
    int64_t m_nUnitsWritten = 0;
    std::unique_ptr<SScan> m_pKept[3];
    int32_t m_nKept = 0;
    uint8_t m_nOwned = 0;                // components some kept scan carries
    std::unique_ptr<int16_t[]> m_pRowWork;  // R, G, B planes of each MCU of one row
    std::unique_ptr<uint8_t[]> m_pRowMask;
    alignas(16) float m_Plane[3][256];  // one MCU's samples per component (direct path)
};

bool cJpegDecoder::Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_Info.szReason, sizeof m_Info.szReason, format, args);
    va_end(args);
    return false;
}

// Next marker code, or -1 at the end of the data. Bytes before a 0xFF are
// skipped; 0xFF 0x00 is stuffed data, not a marker.
int cJpegDecoder::NextMarker() {
    for (;;) {
        if (m_Src.AtEnd()) return -1;
        if (m_Src.readByte() != 0xFF) continue;
        uint32_t b;
        do {
            if (m_Src.AtEnd()) return -1;
            b = m_Src.readByte();
        } while (b == 0xFF);
        if (b != 0) return static_cast<int>(b);
    }
}

// Skips a segment by its length; false for a length below 2.
bool cJpegDecoder::SkipSegment() {
    const uint32_t length = m_Src.read16();
    if (length < 2) return Fail("segment length %u below 2", length);
    m_Src.SkipBits(static_cast<int64_t>(length - 2) * 8);
    return true;
}

bool cJpegDecoder::ReadFrame() {
    const int32_t start = m_Src.BytePos();
    const uint32_t length = m_Src.read16();
    if (length < 8) return Fail("frame header length %u below 8", length);
    if (m_bFrame) return Fail("second frame header");
    if (start + static_cast<int64_t>(length) > m_Src.nDataBytes) return Fail("frame header cut by the end of the file");
    const int P = static_cast<int>(m_Src.readByte());
    const int Y = static_cast<int>(m_Src.read16());
    const int X = static_cast<int>(m_Src.read16());
    const int Nf = static_cast<int>(m_Src.readByte());
    m_Info.nPrecision = P;
    m_Info.nWidth = X;
    m_Info.nHeight = Y;
    m_Info.nComponents = Nf;
    if (P != 8 && P != 12) return Fail("sample precision %d (only 8 and 12 bits)", P);
    if (X == 0 || Y == 0) return Fail("empty frame (%dx%d)", X, Y);
    if (static_cast<int64_t>(X) * Y > m_Options.nMaxPixels)
        return Fail("frame of %dx%d is too large", X, Y);
    if (Nf != 1 && Nf != 3) return Fail("%d components (only 1 and 3)", Nf);
    if (length < 8u + 3u * Nf) return Fail("frame header too short for %d components", Nf);
    for (int i = 0; i < Nf; ++i) {
        SComponent& c = m_Comp[i];
        c = SComponent();
        c.nId = static_cast<int>(m_Src.readByte());
        const uint32_t hv = m_Src.readByte();
        c.nH = static_cast<int>(hv >> 4);
        c.nV = static_cast<int>(hv & 15);
        c.nTq = static_cast<int>(m_Src.readByte());
        m_Info.nH[i] = c.nH;
        m_Info.nV[i] = c.nV;
    }
    // Checked once all are read, so a refusal can still show the whole frame.
    for (int i = 0; i < Nf; ++i) {
        const SComponent& c = m_Comp[i];
        for (int j = 0; j < i; ++j)
            if (m_Comp[j].nId == c.nId) return Fail("component %d defined twice", c.nId);
        if (c.nH < 1 || c.nH > 2 || c.nV < 1 || c.nV > 2)
            return Fail("sampling factors %dx%d of component %d (only 1 and 2)", c.nH, c.nV, c.nId);
        if (c.nTq > 3) return Fail("quantisation table selector %d above 3", c.nTq);
    }
    // Anything the header carries beyond its components is skipped.
    m_Src.SkipBits((static_cast<int64_t>(start) + length - m_Src.BytePos()) * 8);

    m_nPrecision = P;
    m_nX = X;
    m_nY = Y;
    m_nNf = Nf;
    m_nHmax = m_nVmax = 1;
    for (int i = 0; i < Nf; ++i) {
        m_nHmax = std::max(m_nHmax, m_Comp[i].nH);
        m_nVmax = std::max(m_nVmax, m_Comp[i].nV);
    }
    m_nMcusX = (X + 8 * m_nHmax - 1) / (8 * m_nHmax);
    m_nMcusY = (Y + 8 * m_nVmax - 1) / (8 * m_nVmax);
    m_nMcuW = 8 * m_nHmax;
    m_nMcuH = 8 * m_nVmax;
    for (int i = 0; i < Nf; ++i) {
        SComponent& c = m_Comp[i];
        c.nWidth = (c.nH * X + m_nHmax - 1) / m_nHmax;
        c.nHeight = (c.nV * Y + m_nVmax - 1) / m_nVmax;
        c.nBlocksX = (c.nWidth + 7) / 8;
        c.nBlocksY = (c.nHeight + 7) / 8;
        c.nUpX = m_nHmax / c.nH;
        c.nUpY = m_nVmax / c.nV;
        // With factors of 1 and 2 these always agree; the check guards the
        // MCU arithmetic should the accepted factors ever change.
        if ((c.nBlocksX + c.nH - 1) / c.nH != m_nMcusX || (c.nBlocksY + c.nV - 1) / c.nV != m_nMcusY)
            FatalError("inconsistent JPEG sizes");
    }
    // 12-bit samples are scaled so that full scale is 14 bits again; the
    // output is always 8 bits per channel.
    m_fScale = (P == 8) ? 64.0f : 4.0f;
    m_fCenter = (P == 8) ? 128.0f : 2048.0f;
    m_fLevelShift = m_fCenter;
    m_bFrame = true;
    return true;
}

bool cJpegDecoder::ReadQuantTables() {
    const int32_t start = m_Src.BytePos();
    const uint32_t length = m_Src.read16();
    if (length < 2) return Fail("DQT length %u below 2", length);
    if (start + static_cast<int64_t>(length) > m_Src.nDataBytes) return Fail("DQT cut by the end of the file");
    int32_t remaining = static_cast<int32_t>(length) - 2;
    while (remaining > 0) {
        const uint32_t pq = m_Src.readByte();
        if (pq == 0xFF) {
            // The length overstated the tables: leave the marker to the search.
            m_Src.SkipBits(-8);
            break;
        }
        const int id = static_cast<int>(pq & 15);
        const bool wide = (pq >> 4) != 0;
        const int32_t need = wide ? 129 : 65;
        if (id > 3) return Fail("quantisation table %d above 3", id);
        if (remaining < need) return Fail("DQT shorter than its table");
        if (!m_pQuant[id]) m_pQuant[id].reset(new (std::nothrow) float[64]);
        if (!m_pQuant[id]) return Fail("out of memory for a quantisation table");
        float* q = m_pQuant[id].get();
        uint32_t previous = 16;
        for (int k = 0; k < 64; ++k) {
            uint32_t v = wide ? m_Src.read16() : m_Src.readByte();
            // A zero step would wipe the coefficient out: the previous entry
            // (16 for the first) stands in for it.
            if (v == 0) v = previous;
            previous = v;
            q[kNaturalOrder[k]] = static_cast<float>(v);
        }
        remaining -= need;
    }
    return true;
}

bool cJpegDecoder::ReadHuffmanTables() {
    const int32_t start = m_Src.BytePos();
    const uint32_t length = m_Src.read16();
    if (length < 2) return Fail("DHT length %u below 2", length);
    if (start + static_cast<int64_t>(length) > m_Src.nDataBytes) return Fail("DHT cut by the end of the file");
    int32_t remaining = static_cast<int32_t>(length) - 2;
    while (remaining > 0) {
        const uint32_t tc = m_Src.readByte();
        if (tc == 0xFF) {
            m_Src.SkipBits(-8);
            break;
        }
        const bool dc = (tc >> 4) == 0;
        const int id = static_cast<int>(tc & 15);
        if (id > 3) return Fail("Huffman table %d above 3", id);
        if (remaining < 17) return Fail("DHT shorter than its counts");
        uint8_t bits[17] = {};
        int32_t count = 0;
        for (int l = 1; l <= 16; ++l) {
            bits[l] = static_cast<uint8_t>(m_Src.readByte());
            count += bits[l];
        }
        if (count > 256) return Fail("Huffman table with %d codes", count);
        if (remaining < 17 + count) return Fail("DHT shorter than its symbols");
        uint8_t values[256];
        for (int i = 0; i < count; ++i) {
            values[i] = static_cast<uint8_t>(m_Src.readByte());
            // A DC symbol is a magnitude category; above 15 it has no meaning.
            if (dc && values[i] > 15) return Fail("DC category %d above 15", values[i]);
        }
        std::unique_ptr<SJpegHuffTable>& slot = dc ? m_pDc[id] : m_pAc[id];
        if (!slot) slot.reset(new (std::nothrow) SJpegHuffTable);
        if (!slot) return Fail("out of memory for a Huffman table");
        if (!qvn_JpegBuildHuffTable(bits, values, slot.get())) {
            slot.reset();
            return Fail("Huffman table %d overflows its code space", id);
        }
        remaining -= 17 + count;
    }
    return true;
}

bool cJpegDecoder::ReadRestartInterval() {
    const uint32_t length = m_Src.read16();
    if (length != 4) return Fail("DRI length %u instead of 4", length);
    if (m_Src.BitsLeft() < 16) return Fail("DRI cut by the end of the file");
    m_nRestartInterval = static_cast<int32_t>(m_Src.read16());
    m_Info.nRestartInterval = m_nRestartInterval;
    return true;
}


bool cJpegDecoder::AllocateOutput() {
    if (m_pOut) return true;
    m_nOutBpp = (m_nNf == 1 || m_nFormat < 0x1000) ? 1 : (m_nFormat >> 12);
    m_nOutBytes = static_cast<size_t>(m_nOutBpp) * static_cast<size_t>(m_nX) * static_cast<size_t>(m_nY);
    // Not cleared here: every MCU is either written or blanked.
    m_pOut.reset(new (std::nothrow) uint8_t[m_nOutBytes]);
    if (!m_pOut) return Fail("out of memory for %dx%d pixels", m_nX, m_nY);
    return true;
}

// Every block takes at least two bits (a DC code and an end-of-block code of
// one bit each). A file that cannot hold that much entropy data after its
// first scan header cannot be the picture its frame declares, and is refused
// before the output is allocated: a small file cannot ask for a large one.
bool cJpegDecoder::CheckEntropyRoom() {
    int64_t blocks = 0;
    for (int i = 0; i < m_nNf; ++i) blocks += static_cast<int64_t>(m_Comp[i].nBlocksX) * m_Comp[i].nBlocksY;
    const int64_t needBytes = (blocks * 2 + 7) / 8;
    const int64_t haveBytes = static_cast<int64_t>(m_Src.nDataBytes) - m_Src.BytePos();
    if (haveBytes < needBytes)
        return Fail("%lld bytes of image data cannot hold the %lld blocks of a %dx%d frame", 
                    static_cast<long long>(haveBytes < 0 ? 0 : haveBytes), static_cast<long long>(blocks), m_nX,
                    m_nY);
    return true;
}

bool cJpegDecoder::ReadScan() {
    const int32_t start = m_Src.BytePos();
    const uint32_t length = m_Src.read16();
    if (!m_bFrame) return Fail("scan before the frame header");
    const int ns = static_cast<int>(m_Src.readByte());
    if (ns < 1 || ns > m_nNf) return Fail("scan of %d components in a frame of %d", ns, m_nNf);
    if (length < 6u + 2u * ns) return Fail("scan header length %u too short", length);
    if (start + static_cast<int64_t>(length) > m_Src.nDataBytes) return Fail("scan header cut by the end of the file");
    SScan scan;
    scan.nComps = ns;
    int lastIndex = -1;
    for (int i = 0; i < ns; ++i) {
        const int id = static_cast<int>(m_Src.readByte());
        const uint32_t t = m_Src.readByte();
        int index = -1;
        for (int j = 0; j < m_nNf; ++j)
            if (m_Comp[j].nId == id) index = j;
        // Frame order is also scan order; it rules out a component listed twice.
        if (index <= lastIndex) return Fail("scan component %d unknown or out of order", id);
        lastIndex = index;
        const int dc = static_cast<int>(t >> 4), ac = static_cast<int>(t & 15);
        if (dc > 3 || ac > 3) return Fail("Huffman table selector above 3");
        if (!m_pDc[dc] || !m_pAc[ac]) return Fail("scan uses an undefined Huffman table");
        const int tq = m_Comp[index].nTq;
        if (!m_pQuant[tq]) return Fail("component %d uses undefined quantisation table %d", id, tq);
        SScanComp& sc = scan.comp[i];
        sc.nIndex = index;
        sc.pQuant = m_pQuant[tq].get();
        sc.pDc = m_pDc[dc].get();
        sc.pAc = m_pAc[ac].get();
    }
    // Ss, Se, Ah/Al: a sequential decoder has no use for them.
    m_Src.readByte();
    m_Src.readByte();
    m_Src.readByte();
    scan.nRestartInterval = m_nRestartInterval;
    if (!m_pOut) {
        if (!CheckEntropyRoom()) return false;
        m_bDeferred = m_nNf == 3 && ns < 3;
        if (m_bDeferred) {
            const size_t n = static_cast<size_t>(3) * m_nMcuW * m_nMcuH * m_nMcusX;
            m_pRowWork.reset(new (std::nothrow) int16_t[n]);
            m_pRowMask.reset(new (std::nothrow) uint8_t[static_cast<size_t>(m_nMcusX)]);
            if (!m_pRowWork || !m_pRowMask) return Fail("out of memory for a row of %d MCUs", m_nMcusX);
        }
        if (!AllocateOutput()) return false;
        ++m_nScans;
        m_Info.nScans = m_nScans;
        if (!m_bDeferred) {
            for (int i = 0; i < ns; ++i) scan.comp[i].bOwner = true;
            DecodeScanNow(scan);
        } else if (!KeepScan(scan)) {
            return false;
        }
        return true;
    }
    ++m_nScans;
    m_Info.nScans = m_nScans;
    // A frame whose first scan carried everything has nothing left to take
    // from later ones; they are passed over by the marker search.
    if (m_bDeferred && !KeepScan(scan)) return false;
    return true;
}

// Keeps a scan of a split frame for the decode at the end of the image, with
// copies of its tables. A scan that brings no component of its own changes
// nothing in the picture and is not kept.
bool cJpegDecoder::KeepScan(const SScan& header) {
    uint8_t mine = 0;
    for (int i = 0; i < header.nComps; ++i) mine |= static_cast<uint8_t>(1u << header.comp[i].nIndex);
    if (!(mine & ~m_nOwned) || m_nKept >= 3) return true;
    std::unique_ptr<SScan> scan(new (std::nothrow) SScan);
    if (!scan) return Fail("out of memory for a scan");
    scan->nComps = header.nComps;
    scan->nRestartInterval = header.nRestartInterval;
    for (int i = 0; i < header.nComps; ++i) {
        const SScanComp& from = header.comp[i];
        SScanComp& to = scan->comp[i];
        to.nIndex = from.nIndex;
        to.bOwner = !(m_nOwned & (1u << from.nIndex));
        std::memcpy(scan->quant[i], from.pQuant, sizeof scan->quant[i]);
        to.pQuant = scan->quant[i];
        scan->pDcCopy[i].reset(new (std::nothrow) SJpegHuffTable(*from.pDc));
        scan->pAcCopy[i].reset(new (std::nothrow) SJpegHuffTable(*from.pAc));
        if (!scan->pDcCopy[i] || !scan->pAcCopy[i]) return Fail("out of memory for a scan");
        to.pDc = scan->pDcCopy[i].get();
        to.pAc = scan->pAcCopy[i].get();
    }
    m_nOwned |= mine;
    const uint8_t* base = m_Src.pBuffer;
    scan->reader.Init(base + m_Src.BytePos(), base + m_Src.nDataBytes);
    m_pKept[m_nKept++] = std::move(scan);
    return true;
}

// Decodes one block into dequantised coefficients and transforms it into
// out (row stride `stride`). False when the data is no valid code (the scan is
// then abandoned).
template <bool kLookup>
bool cJpegDecoder::DecodeBlock(SJpegBitReader& r, SScanComp& c, float* out, int stride) {
    alignas(16) float coef[64];
    std::memset(coef, 0, sizeof coef);
    const float* q = c.pQuant;
    const SJpegHuffTable& dcTable = *c.pDc;
    const SJpegHuffTable& acTable = *c.pAc;

    if (r.nBits < 32) r.Fill();
    const int s = kLookup ? DecodeSymbolInline(r, dcTable) : m_pfnSymbol(r, dcTable);
    if (s < 0) return false;
    int32_t diff = 0;
    if (s) {
        const int32_t v = static_cast<int32_t>(r.Peek(s));
        r.Skip(s);
        diff = v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
    }
    // The predictor of a hostile file may run far; wrap instead of overflowing.
    c.nPredictor = static_cast<int32_t>(static_cast<uint32_t>(c.nPredictor) + static_cast<uint32_t>(diff));
    coef[0] = static_cast<float>(c.nPredictor) * q[0];

    bool dcOnly = true;
    for (int k = 1; k < 64;) {
        if (r.nBits < 32) r.Fill();
        if (kLookup) {
            const SJpegHuffTable::SFastAc fast = acTable.nFastAc[r.Peek(SJpegHuffTable::kLookupBits)];
            if (fast.nBits) {
                r.Skip(fast.nBits);
                k += fast.nRun;
                if (k > 63) break;
                const int n = kNaturalOrder[k];
                coef[n] = static_cast<float>(fast.nValue) * q[n];
                dcOnly = false;
                ++k;
                continue;
            }
        }
        const int rs = kLookup ? DecodeSymbolInline(r, acTable) : m_pfnSymbol(r, acTable);
        if (rs < 0) return false;
        const int run = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (run != 15) break;
            k += 16;
            continue;
        }
        k += run;
        if (k > 63) break;
        const int32_t v = static_cast<int32_t>(r.Peek(size));
        r.Skip(size);
        const int32_t value = v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
        const int n = kNaturalOrder[k];
        coef[n] = static_cast<float>(value) * q[n];
        dcOnly = false;
        ++k;
    }
    InverseDct(coef, dcOnly, m_fLevelShift, out, stride);
    return true;
}

bool cJpegDecoder::DecodeBlockAny(SJpegBitReader& r, SScanComp& c, float* out, int stride) {
    return m_bLookup ? DecodeBlock<true>(r, c, out, stride) : DecodeBlock<false>(r, c, out, stride);
}

// The colour terms of one sample. Frame index 0 is luminance, 1 Cb, 2 Cr; each
// product is truncated toward zero. The transform overshoots near hard edges,
// so the sample is first clamped to the sample range, as a decoder must: an
// overshooting chroma sample would otherwise push its colour far past the
// encoder's (and a hostile block could overflow the conversions).
struct STerms {
    int32_t r, g, b;
};
inline float ClampSample(float f, float maxSample) { return std::min(std::max(f, 0.0f), maxSample); }
inline int32_t LumaTerm(float f, float scale) { return static_cast<int32_t>(f * scale); }
// Single-precision products: the terms are truncated to integers of 1/64
// level, far coarser than the float rounding.
inline STerms CbTerms(float f, float center, float scale) {
    const float cc = (f - center) * scale;
    return {0, static_cast<int32_t>(cc * -0.34414f), static_cast<int32_t>(cc * 1.772f)};
}
inline STerms CrTerms(float f, float center, float scale) {
    const float cc = (f - center) * scale;
    return {static_cast<int32_t>(cc * 1.402f), static_cast<int32_t>(cc * -0.71414f), 0};
}

// Adds one block's samples, replicated by the component's factors, into the
// MCU's three channels (the path for MCUs built over several scans). The sums
// stay within 16 bits: a clamped luma term is at most 16,383 and a chroma
// term at most 14,516 either way.
void cJpegDecoder::Accumulate(int16_t* work, int compIndex, int h, int v, const float* samples) {
    const SComponent& c = m_Comp[compIndex];
    const int planeSize = m_nMcuW * m_nMcuH;
    int16_t* R = work;
    int16_t* G = work + planeSize;
    int16_t* B = work + 2 * planeSize;
    const int upX = c.nUpX, upY = c.nUpY;
    const int x0 = h * 8 * upX, y0 = v * 8 * upY;
    const float maxSample = 2.0f * m_fCenter - 1.0f;
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) {
            const float f = ClampSample(samples[j * 8 + i], maxSample);
            STerms t;
            if (compIndex == 0) {
                t.r = t.g = t.b = LumaTerm(f, m_fScale);
            } else {
                t = compIndex == 1 ? CbTerms(f, m_fCenter, m_fScale) : CrTerms(f, m_fCenter, m_fScale);
            }
            for (int b = 0; b < upY; ++b) {
                const int row = (y0 + j * upY + b) * m_nMcuW;
                for (int a = 0; a < upX; ++a) {
                    const int p = row + x0 + i * upX + a;
                    R[p] = static_cast<int16_t>(R[p] + t.r);
                    G[p] = static_cast<int16_t>(G[p] + t.g);
                    B[p] = static_cast<int16_t>(B[p] + t.b);
                }
            }
        }
    }
}

// Pixel rectangle of an MCU, clipped at the right and bottom edges.
void cJpegDecoder::McuRect(int64_t index, int* px, int* py, int* w, int* h) const {
    *px = static_cast<int>(index % m_nMcusX) * m_nMcuW;
    *py = static_cast<int>(index / m_nMcusX) * m_nMcuH;
    *w = std::min(m_nMcuW, m_nX - *px);
    *h = std::min(m_nMcuH, m_nY - *py);
}

void cJpegDecoder::BlankRect(int px, int py, int w, int h) {
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y)
        std::memset(m_pOut.get() + (static_cast<size_t>(py + y) * m_nX + px) * m_nOutBpp, 0,
                    static_cast<size_t>(w) * m_nOutBpp);
}

void cJpegDecoder::FinishMcu(int64_t index, const int16_t* work) {
    int px, py, w, h;
    McuRect(index, &px, &py, &w, &h);
    const int planeSize = m_nMcuW * m_nMcuH;
    const int16_t* R = work;
    const int16_t* G = R + planeSize;
    const int16_t* B = G + planeSize;
    uint8_t r8[16], g8[16], b8[16];
    for (int y = 0; y < h; ++y) {
        uint8_t* dst = m_pOut.get() + (static_cast<size_t>(py + y) * m_nX + px) * m_nOutBpp;
        const int row = y * m_nMcuW;
        for (int x = 0; x < w; ++x) {
            r8[x] = Channel8(R[row + x]);
            g8[x] = Channel8(G[row + x]);
            b8[x] = Channel8(B[row + x]);
        }
        PackRow(m_nFormat, r8, g8, b8, w, dst);
    }
}

// An MCU whose every component came in this one scan: its samples sit in
// m_Plane (component i: 8 H_i x 8 V_i samples) and go straight to the output,
// with the same terms and sums as the accumulating path.
void cJpegDecoder::ConvertMcu(int64_t index) {
    int px, py, w, h;
    McuRect(index, &px, &py, &w, &h);
    const float maxSample = 2.0f * m_fCenter - 1.0f;
    const SComponent& c0 = m_Comp[0];
    const int w0 = 8 * c0.nH;
    alignas(16) int32_t luma[256];
    // In runs of 64 (a plane holds whole blocks), which the compiler vectorises.
    const float scale = m_fScale, center = m_fCenter;
    for (int b = 0; b < c0.nH * c0.nV; ++b) {
        const float* in = m_Plane[0] + 64 * b;
        int32_t* out = luma + 64 * b;
        for (int i = 0; i < 64; ++i) out[i] = LumaTerm(ClampSample(in[i], maxSample), scale);
    }
    const int sx0 = c0.nUpX - 1, sy0 = c0.nUpY - 1;
    uint8_t r8[16], g8[16], b8[16];
    if (m_nNf != 3) {
        for (int y = 0; y < h; ++y) {
            uint8_t* dst = m_pOut.get() + static_cast<size_t>(py + y) * m_nX + px;
            const int32_t* L = luma + (y >> sy0) * w0;
            for (int x = 0; x < w; ++x) dst[x] = Channel8(L[x >> sx0]);
        }
        return;
    }
    const SComponent& c1 = m_Comp[1];
    const SComponent& c2 = m_Comp[2];
    const int w1 = 8 * c1.nH, w2 = 8 * c2.nH;
    alignas(16) int32_t cbG[256], cbB[256], crR[256], crG[256];
    for (int b = 0; b < c1.nH * c1.nV; ++b) {
        for (int i = 64 * b; i < 64 * b + 64; ++i) {
            const STerms t = CbTerms(ClampSample(m_Plane[1][i], maxSample), center, scale);
            cbG[i] = t.g;
            cbB[i] = t.b;
        }
    }
    for (int b = 0; b < c2.nH * c2.nV; ++b) {
        for (int i = 64 * b; i < 64 * b + 64; ++i) {
            const STerms t = CrTerms(ClampSample(m_Plane[2][i], maxSample), center, scale);
            crR[i] = t.r;
            crG[i] = t.g;
        }
    }
    const int sx1 = c1.nUpX - 1, sy1 = c1.nUpY - 1, sx2 = c2.nUpX - 1, sy2 = c2.nUpY - 1;
    // Each row: the terms widened to one per pixel, then plain sums that the
    // compiler can run as vectors.
    // Rows are only widened when the sample row changes (every other output
    // row for vertically doubled chroma) and not at all at full resolution.
    alignas(16) int32_t bufL[17], bufRT[17], bufGT[17], bufBT[17], bufG2[17];
    const int32_t *L = nullptr, *RT = nullptr, *GT = nullptr, *BT = nullptr, *G2 = nullptr;
    int rowCb = -1, rowCr = -1;
    for (int y = 0; y < h; ++y) {
        L = WidenRow(luma + (y >> sy0) * w0, sx0, w, bufL);
        if ((y >> sy1) != rowCb) {
            rowCb = y >> sy1;
            GT = WidenRow(cbG + rowCb * w1, sx1, w, bufGT);
            BT = WidenRow(cbB + rowCb * w1, sx1, w, bufBT);
        }
        if ((y >> sy2) != rowCr) {
            rowCr = y >> sy2;
            RT = WidenRow(crR + rowCr * w2, sx2, w, bufRT);
            G2 = WidenRow(crG + rowCr * w2, sx2, w, bufG2);
        }
        uint8_t* dst = m_pOut.get() + (static_cast<size_t>(py + y) * m_nX + px) * m_nOutBpp;
        if (m_nFormat == QVN_JPEG_RGB32) {
            // The format pictures load in, packed in the same pass.
            alignas(16) uint32_t words[16];
            for (int x = 0; x < w; ++x)
                words[x] = (static_cast<uint32_t>(Channel8(L[x] + RT[x])) << 16) |
                           (static_cast<uint32_t>(Channel8(L[x] + GT[x] + G2[x])) << 8) | Channel8(L[x] + BT[x]);
            // Whole MCU rows (the usual case) copy with a fixed size, inline.
            if (w == 16)
                std::memcpy(dst, words, 16 * sizeof(uint32_t));
            else if (w == 8)
                std::memcpy(dst, words, 8 * sizeof(uint32_t));
            else
                std::memcpy(dst, words, sizeof(uint32_t) * w);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            r8[x] = Channel8(L[x] + RT[x]);
            g8[x] = Channel8(L[x] + GT[x] + G2[x]);
            b8[x] = Channel8(L[x] + BT[x]);
        }
        PackRow(m_nFormat, r8, g8, b8, w, dst);
    }
}

// At a restart boundary: the next marker must be RSTn, which is consumed; the
// reader restarts after it with fresh predictors. Anything else (another
// marker, the end of the file) ends the scan.
bool cJpegDecoder::Restart(SScan& scan) {
    SJpegBitReader& r = scan.reader;
    const uint8_t* p = r.pNext;
    const uint8_t* end = r.pEnd;
    for (;;) {
        while (p < end && *p != 0xFF) ++p;
        while (p < end && *p == 0xFF) ++p;
        if (p >= end) {
            r.Init(end, end);
            return false;
        }
        if (*p == 0) {
            ++p;
            continue;
        }
        if (*p >= 0xD0 && *p <= 0xD7) {
            r.Init(p + 1, end);
            for (int i = 0; i < scan.nComps; ++i) scan.comp[i].nPredictor = 0;
            return true;
        }
        r.Init(p - 1, end);  // at the last 0xFF before the marker code
        return false;
    }
}

// The first scan of a frame that it covers whole: every unit goes straight to
// the output, in order.
void cJpegDecoder::DecodeScanNow(SScan& scan) {
    const uint8_t* base = m_Src.pBuffer;
    SJpegBitReader& r = scan.reader;
    r.Init(base + m_Src.BytePos(), base + m_Src.nDataBytes);
    alignas(16) float samples[64];

    if (m_nNf == 1) {
        // Grey: one block per unit, in raster order over the blocks of the
        // component that carry data; nothing to combine.
        SScanComp& sc = scan.comp[0];
        const SComponent& c = m_Comp[0];
        const int64_t total = static_cast<int64_t>(c.nBlocksX) * c.nBlocksY;
        const float maxSample = 2.0f * m_fCenter - 1.0f;
        for (int64_t unit = 0; unit < total; ++unit) {
            if (scan.nRestartInterval && unit && unit % scan.nRestartInterval == 0) {
                if (r.Overrun() || !Restart(scan)) {
                    m_Info.bTruncated = true;
                    break;
                }
            }
            if (!DecodeBlockAny(r, sc, samples, 8) || r.Overrun()) {
                m_Info.bTruncated = true;
                break;
            }
            const int bx = static_cast<int>(unit % c.nBlocksX), by = static_cast<int>(unit / c.nBlocksX);
            const int px = bx * 8, py = by * 8;
            const int w = std::min(8, m_nX - px), h = std::min(8, m_nY - py);
            for (int y = 0; y < h; ++y) {
                uint8_t* dst = m_pOut.get() + static_cast<size_t>(py + y) * m_nX + px;
                for (int x = 0; x < w; ++x)
                    dst[x] = Channel8(LumaTerm(ClampSample(samples[y * 8 + x], maxSample), m_fScale));
            }
            m_nUnitsWritten = unit + 1;
        }
    } else {
        const int64_t total = static_cast<int64_t>(m_nMcusX) * m_nMcusY;
        bool broken = false;
        for (int64_t index = 0; index < total && !broken; ++index) {
            if (scan.nRestartInterval && index && index % scan.nRestartInterval == 0) {
                if (r.Overrun() || !Restart(scan)) {
                    m_Info.bTruncated = true;
                    break;
                }
            }
            for (int i = 0; i < scan.nComps && !broken; ++i) {
                SScanComp& sc = scan.comp[i];
                const SComponent& c = m_Comp[sc.nIndex];
                const int planeW = 8 * c.nH;
                for (int v = 0; v < c.nV && !broken; ++v)
                    for (int h = 0; h < c.nH && !broken; ++h)
                        broken = !DecodeBlockAny(r, sc, m_Plane[sc.nIndex] + v * 8 * planeW + h * 8, planeW);
            }
            if (broken || r.Overrun()) {
                m_Info.bTruncated = true;
                break;
            }
            ConvertMcu(index);
            m_nUnitsWritten = index + 1;
        }
    }
    // The reader never passes a marker; what it loaded beyond the last code is
    // entropy data the marker search skips.
    m_Src.SeekBit(static_cast<int64_t>(r.pNext - base) * 8);
}

// The scans of a split frame, all advanced one MCU row at a time: each scan
// decodes the units that fall in the row, the row's MCUs that received every
// component are written, the others blanked.
void cJpegDecoder::DecodeKeptScans() {
    const int planeSize = m_nMcuW * m_nMcuH;
    const uint8_t full = static_cast<uint8_t>((1u << m_nNf) - 1);
    alignas(16) float samples[64];
    int16_t* work = m_pRowWork.get();
    uint8_t* mask = m_pRowMask.get();  // components each MCU of the row received
    for (int32_t my = 0; my < m_nMcusY; ++my) {
        std::memset(work, 0, sizeof(int16_t) * 3 * planeSize * static_cast<size_t>(m_nMcusX));
        std::memset(mask, 0, static_cast<size_t>(m_nMcusX));
        for (int s = 0; s < m_nKept; ++s) {
            SScan& scan = *m_pKept[s];
            SJpegBitReader& r = scan.reader;
            if (scan.bEnded) continue;
            if (scan.nComps == 1) {
                // Non-interleaved: the component's own block grid, in raster
                // order; this row owns nV rows of it.
                SScanComp& sc = scan.comp[0];
                const SComponent& c = m_Comp[sc.nIndex];
                const int64_t rowEnd =
                    static_cast<int64_t>(std::min((my + 1) * c.nV, c.nBlocksY)) * c.nBlocksX;
                for (; scan.nNextUnit < rowEnd; ++scan.nNextUnit) {
                    const int64_t unit = scan.nNextUnit;
                    if (scan.nRestartInterval && unit && unit % scan.nRestartInterval == 0) {
                        if (r.Overrun() || !Restart(scan)) {
                            scan.bEnded = true;
                            break;
                        }
                    }
                    if (!DecodeBlockAny(r, sc, samples, 8) || r.Overrun()) {
                        scan.bEnded = true;
                        break;
                    }
                    if (!sc.bOwner) continue;
                    const int bx = static_cast<int>(unit % c.nBlocksX), by = static_cast<int>(unit / c.nBlocksX);
                    const int mx = bx / c.nH;
                    Accumulate(work + static_cast<size_t>(mx) * 3 * planeSize, sc.nIndex, bx % c.nH, by % c.nV,
                               samples);
                    const bool lastX = (bx % c.nH == c.nH - 1) || bx == c.nBlocksX - 1;
                    const bool lastY = (by % c.nV == c.nV - 1) || by == c.nBlocksY - 1;
                    if (lastX && lastY) mask[mx] = static_cast<uint8_t>(mask[mx] | (1u << sc.nIndex));
                }
            } else {
                const int64_t rowEnd = static_cast<int64_t>(my + 1) * m_nMcusX;
                for (; scan.nNextUnit < rowEnd; ++scan.nNextUnit) {
                    const int64_t index = scan.nNextUnit;
                    if (scan.nRestartInterval && index && index % scan.nRestartInterval == 0) {
                        if (r.Overrun() || !Restart(scan)) {
                            scan.bEnded = true;
                            break;
                        }
                    }
                    const int mx = static_cast<int>(index % m_nMcusX);
                    int16_t* mcuWork = work + static_cast<size_t>(mx) * 3 * planeSize;
                    uint8_t got = 0;
                    for (int i = 0; i < scan.nComps && !scan.bEnded; ++i) {
                        SScanComp& sc = scan.comp[i];
                        const SComponent& c = m_Comp[sc.nIndex];
                        for (int v = 0; v < c.nV && !scan.bEnded; ++v) {
                            for (int h = 0; h < c.nH; ++h) {
                                if (!DecodeBlockAny(r, sc, samples, 8)) {
                                    scan.bEnded = true;
                                    break;
                                }
                                if (sc.bOwner) Accumulate(mcuWork, sc.nIndex, h, v, samples);
                            }
                        }
                        if (sc.bOwner) got = static_cast<uint8_t>(got | (1u << sc.nIndex));
                    }
                    if (scan.bEnded || r.Overrun()) {
                        scan.bEnded = true;
                        break;
                    }
                    mask[mx] = static_cast<uint8_t>(mask[mx] | got);
                }
            }
            if (scan.bEnded) m_Info.bTruncated = true;
        }
        for (int32_t mx = 0; mx < m_nMcusX; ++mx) {
            const int64_t index = static_cast<int64_t>(my) * m_nMcusX + mx;
            if (mask[mx] == full) {
                FinishMcu(index, work + static_cast<size_t>(mx) * 3 * planeSize);
            } else {
                // A component that never came (or came broken) leaves its MCU black.
                int px, py, w, h;
                McuRect(index, &px, &py, &w, &h);
                BlankRect(px, py, w, h);
            }
        }
    }
}

SJpegImage* cJpegDecoder::MakeResult() {
    SJpegImage* image = new (std::nothrow) SJpegImage;
    if (!image) {
        Fail("out of memory");
        return nullptr;
    }
    if (m_bDeferred) {
        DecodeKeptScans();
    } else if (m_nNf == 1) {
        // Blocks the data never reached (a truncated or broken scan) are black.
        const SComponent& c = m_Comp[0];
        const int64_t total = static_cast<int64_t>(c.nBlocksX) * c.nBlocksY;
        for (int64_t unit = m_nUnitsWritten; unit < total; ++unit) {
            const int px = static_cast<int>(unit % c.nBlocksX) * 8, py = static_cast<int>(unit / c.nBlocksX) * 8;
            BlankRect(px, py, std::min(8, m_nX - px), std::min(8, m_nY - py));
        }
    } else {
        const int64_t total = static_cast<int64_t>(m_nMcusX) * m_nMcusY;
        for (int64_t index = m_nUnitsWritten; index < total; ++index) {
            int px, py, w, h;
            McuRect(index, &px, &py, &w, &h);
            BlankRect(px, py, w, h);
        }
    }
    image->nWidth = m_nX;
    image->nHeight = m_nY;
    image->nFormat = m_nFormat;
    image->nBytesPerPixel = m_nOutBpp;
    image->nBytes = static_cast<int32_t>(m_nOutBytes);
    image->nComponents = m_nNf;
    image->pPixels = m_pOut.release();
    return image;
}


SJpegImage* cJpegDecoder::Run() {
    if (m_nFormat >= 0x1000 && m_nFormat != QVN_JPEG_RGB332 && m_nFormat != QVN_JPEG_555 &&
        m_nFormat != QVN_JPEG_565 && m_nFormat != QVN_JPEG_BGR24 && m_nFormat != QVN_JPEG_555_32 &&
        m_nFormat != QVN_JPEG_565_32 && m_nFormat != QVN_JPEG_777 && m_nFormat != QVN_JPEG_RGB32) {
        Fail("unknown output format 0x%x", static_cast<unsigned>(m_nFormat));
        return nullptr;
    }
    for (;;) {
        const int marker = NextMarker();
        if (marker < 0) {
            if (m_nScans == 0) {
                Fail(m_bFrame ? "the file ends before any image data" : "no JPEG frame in the file");
                return nullptr;
            }
            m_Info.bMissingEoi = true;
            return MakeResult();
        }
        bool ok = true;
        switch (marker) {
        case 0xD8:  // SOI
            break;
        case 0xC0:
        case 0xC1:
            ok = ReadFrame();  // baseline and extended sequential decode alike
            break;
        case 0xC3:
            // Lossless data is not DCT data; decoding it as such gives noise.
            Fail("lossless (SOF3) frames are not supported");
            return nullptr;
        case 0xC2:
        case 0xC5:
        case 0xC6:
        case 0xC7:
            FatalError("-JPEG- Frame type 0x%x unsupported", marker & 15);
        case 0xC4:
            ok = ReadHuffmanTables();
            break;
        case 0xC8:
        case 0xC9:
        case 0xCA:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            FatalError("-JPEG- Arithmetic coding unsupported");
        case 0xCC:
            FatalError("-M_DAC- Arithmetic coding unsupported");
        case 0xD9:  // EOI
            if (m_nScans == 0) {
                Fail("end of image before any scan");
                return nullptr;
            }
            return MakeResult();
        case 0xDA:
            ok = ReadScan();
            break;
        case 0xDB:
            ok = ReadQuantTables();
            break;
        case 0xDC:
            FatalError("-M_DNL- dynamic resizing unsupported");
        case 0xDD:
            ok = ReadRestartInterval();
            break;
        case 0x01:
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7:
            // Stand-alone markers: no length follows them.
            break;
        default:
            if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) {
                ok = SkipSegment();
                break;
            }
            // Unknown marker: whatever follows is not for this decoder.
            SkipSegment();
            if (m_nScans == 0) {
                Fail("unknown marker 0x%02X before any image data", marker);
                return nullptr;
            }
            return MakeResult();
        }
        if (!ok) return nullptr;
    }
}

}  // namespace

bool qvn_JpegBuildHuffTable(const uint8_t bits[17], const uint8_t* huffVal, SJpegHuffTable* t) {
    int32_t count = 0;
    for (int l = 1; l <= 16; ++l) count += bits[l];
    if (count > 256) return false;
    *t = SJpegHuffTable();
    std::memcpy(t->nBits, bits, 17);
    t->nBits[0] = 0;
    if (count) std::memcpy(t->nHuffVal, huffVal, count);
    t->nCount = count;
    // Canonical codes (T.81 Annex C): consecutive within a length, doubled
    // from one length to the next. A code that reaches 2^length would not fit
    // its length: the counts are impossible.
    int32_t code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
        if (bits[l]) {
            t->nValPtr[l] = k;
            t->nMinCode[l] = code;
            code += bits[l];
            k += bits[l];
            if (code > (1 << l)) return false;
            t->nMaxCode[l] = code - 1;
        } else {
            t->nMaxCode[l] = -1;
        }
        code <<= 1;
    }
    t->nMaxCode[17] = 0x7FFFFFFF;
    // Every code of up to kLookupBits bits fills the entries it prefixes.
    constexpr int kL = SJpegHuffTable::kLookupBits;
    for (int l = 1; l <= kL; ++l) {
        for (int i = 0; i < t->nBits[l]; ++i) {
            const int32_t c = t->nMinCode[l] + i;
            const uint16_t entry = static_cast<uint16_t>((l << 8) | t->nHuffVal[t->nValPtr[l] + i]);
            const int shift = kL - l;
            for (int32_t j = 0; j < (1 << shift); ++j) t->nLookup[(c << shift) | j] = entry;
        }
    }
    // AC codes whose magnitude bits fit as well: decoded in one step.
    for (int32_t index = 0; index < (1 << kL); ++index) {
        const uint16_t e = t->nLookup[index];
        if (!e) continue;
        const int l = e >> 8, rs = e & 0xFF, size = rs & 15;
        if (size == 0 || l + size > kL) continue;
        const int32_t v = (index >> (kL - l - size)) & ((1 << size) - 1);
        const int32_t value = v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
        t->nFastAc[index] = {static_cast<int16_t>(value), static_cast<uint8_t>(rs >> 4),
                             static_cast<uint8_t>(l + size)};
    }
    return true;
}

int qvn_JpegDecodeSymbol(SJpegBitReader& r, const SJpegHuffTable& t) { return DecodeSymbolInline(r, t); }

namespace {

// Decodes from a loaded source. The decoder borrows the shared active-source
// slot for its run and gives it back, so a music stream is never left
// pointing at a freed source.
SJpegImage* DecodeSource(SBitSource* src, int32_t format, SJpegInfo& inf, const SJpegOptions* options) {
    SBitSource* previous = g_pActiveBitSource;
    src->Activate();
    struct SRelease {
        SBitSource* src;
        SBitSource* previous;
        ~SRelease() {
            SBitSource::Free(src);
            g_pActiveBitSource = previous;
        }
    } release{src, previous};
    const SJpegOptions defaults;
    cJpegDecoder decoder(*src, format, inf, options ? *options : defaults);
    return decoder.Run();
}

}  // namespace

SJpegImage* qvn_JpegDecodeMemory(const void* data, size_t size, int32_t format, SJpegInfo* info,
                                 const SJpegOptions* options) {
    SJpegInfo localInfo;
    SJpegInfo& inf = info ? *info : localInfo;
    inf = SJpegInfo();
    SBitSource* src = SBitSource::OpenMemory(size ? data : nullptr, size);
    if (!src) {
        std::snprintf(inf.szReason, sizeof inf.szReason, "cannot hold %lu bytes",
                      static_cast<unsigned long>(size));
        return nullptr;
    }
    return DecodeSource(src, format, inf, options);
}

SJpegImage* qvn_JpegDecode(const char* fileName, int32_t format, SJpegInfo* info, const SJpegOptions* options) {
    SJpegInfo localInfo;
    SJpegInfo& inf = info ? *info : localInfo;
    inf = SJpegInfo();
    SBitSource* src = fileName ? SBitSource::OpenAndLoad(fileName) : nullptr;
    if (!src) {
        std::snprintf(inf.szReason, sizeof inf.szReason, "cannot read the file");
        return nullptr;
    }
    const qvn_cFatalFile fatalFile(fileName);
    return DecodeSource(src, format, inf, options);
}

void qvn_JpegFree(SJpegImage* image) {
    if (!image) return;
    delete[] image->pPixels;
    delete image;
}
