// Layer III spectral decoding of one granule: scale factors, Huffman decoding,
// requantisation, joint stereo, short-block reordering and alias reduction.
#include <cmath>
#include <cstring>

#include "qvn_MP3HuffTables.h"
#include "qvn_MP3Internal.h"

namespace qvn_mp3 {
namespace {

// Scale-factor band boundaries by sampling_frequency (44.1, 48, 32 kHz).
const int16_t kLongBands[3][23] = {
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576}};
const int16_t kShortBands[3][14] = {{0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192},
                                    {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192},
                                    {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}};
const SBandTables kBandTables[3] = {{kLongBands[0], kShortBands[0]},
                                    {kLongBands[1], kShortBands[1]},
                                    {kLongBands[2], kShortBands[2]}};

const uint8_t kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                              {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};
const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

// Alias-reduction butterflies: ci of the standard; cs = 1/sqrt(1+ci^2),
// ca = ci/sqrt(1+ci^2) are computed from them at start-up.
const double kAliasCi[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

struct SHuffTable {
    const uint32_t* pEntries;
    const uint8_t* pIndex;
    int nEntries;
    int nLinbits;
};

// Tables 4 and 14 are not used by the standard; a stream that selects them
// gets the codes of 5 and 15 instead of a missing table.
#define QVN_HT(n, lin) {kHuff##n, kHuff##n##Index, static_cast<int>(sizeof(kHuff##n) / 4), lin}
const SHuffTable kHuffTables[32] = {
    {nullptr, nullptr, 0, 0}, QVN_HT(1, 0),  QVN_HT(2, 0),  QVN_HT(3, 0),  QVN_HT(5, 0),  QVN_HT(5, 0),
    QVN_HT(6, 0),             QVN_HT(7, 0),  QVN_HT(8, 0),  QVN_HT(9, 0),  QVN_HT(10, 0), QVN_HT(11, 0),
    QVN_HT(12, 0),            QVN_HT(13, 0), QVN_HT(15, 0), QVN_HT(15, 0), QVN_HT(16, 1), QVN_HT(16, 2),
    QVN_HT(16, 3),            QVN_HT(16, 4), QVN_HT(16, 6), QVN_HT(16, 8), QVN_HT(16, 10), QVN_HT(16, 13),
    QVN_HT(24, 4),            QVN_HT(24, 5), QVN_HT(24, 6), QVN_HT(24, 7), QVN_HT(24, 8), QVN_HT(24, 9),
    QVN_HT(24, 11),           QVN_HT(24, 13)};
const SHuffTable kCount1Tables[2] = {QVN_HT(Count1A, 0), QVN_HT(Count1B, 0)};
#undef QVN_HT

// The largest value the bitstream can carry: 15 plus 13 escape bits. The
// standard caps values at 8191, but encoders exceed it and other decoders
// play what they wrote, so the table covers the whole range.
constexpr int kMaxQuant = 15 + 8191;
constexpr int kGainMin = -127;
constexpr int kGainMax = 45;

// |x|^1.33333333333 for -kMaxQuant..kMaxQuant, indexed by x + kMaxQuant.
float pow43[2 * kMaxQuant + 1];
// 2^(k/4) for k = -127..45, indexed by k + 127.
float gainTable[kGainMax - kGainMin + 1];
float g_aAliasCs[8], g_aAliasCa[8];
// Intensity stereo: left and right factors by is_pos 0..6.
float g_aIsLeft[7], g_aIsRight[7];
// Short-block reordering per sampling frequency: line index in transmission
// order (band, window, frequency) to its place in (band, frequency, window)
// order, the order the short transforms read.
uint16_t g_aReorder[3][kGranuleLines];

// Fast path for the Huffman decoder, built from the stored tables: for each
// 10-bit prefix, the decoded value and code length when a code of at most 10
// bits matches (length 0 otherwise, then the stored tables are searched).
constexpr int kFastBits = 10;
uint16_t g_aFast[34][1 << kFastBits];

bool g_bTablesReady = false;

// Bit reading straight from the main data; the reservoir's zero slack keeps
// the eight bytes loaded inside the buffer.
// The bits from pos on, left-aligned; the top 57 are valid.
inline uint64_t PeekAt64(const uint8_t* data, int32_t pos) {
    uint64_t w;
    std::memcpy(&w, data + (pos >> 3), 8);
    return __builtin_bswap64(w) << (pos & 7);
}

void BuildFast(uint16_t* fast, const SHuffTable& t) {
    std::memset(fast, 0, sizeof(uint16_t) << kFastBits);
    for (int i = 0; i < t.nEntries; ++i) {
        const uint32_t e = t.pEntries[i];
        const int len = (e >> 8) & 31;
        if (len == 0 || len > kFastBits) continue;
        const uint32_t first = e >> (32 - kFastBits);
        const uint32_t count = 1u << (kFastBits - len);
        for (uint32_t p = first & ~(count - 1); p < (first & ~(count - 1)) + count; ++p)
            fast[p] = static_cast<uint16_t>((len << 8) | (e & 0xFF));
    }
}

// One code of table t at the reader: peek 19 bits (the longest code), try the
// fast table, else the bucket of the first four bits: its first entry, then a
// binary search for the last entry not above the peeked bits.
inline int DecodeCode(SMainDataReader& r, const SHuffTable& t, const uint16_t* fast) {
    const uint32_t peek = r.Peek(19);
    const uint16_t f = fast[peek >> (19 - kFastBits)];
    if (f) {
        r.nBitPos += f >> 8;
        return f & 0xFF;
    }
    const uint32_t key = peek << 13;
    const int bucket = static_cast<int>(peek >> 15);
    int lo = t.pIndex[bucket];
    uint32_t e = t.pEntries[lo];
    int len = (e >> 8) & 31;
    if (((e ^ key) >> (32 - len)) != 0) {
        int hi = (bucket == 15 ? t.nEntries : t.pIndex[bucket + 1]) - 1;
        if (hi < lo) hi = lo;
        const uint32_t k = key | 0x1FFFu;
        while (lo < hi) {
            const int mid = (lo + hi + 1) >> 1;
            if (t.pEntries[mid] <= k)
                lo = mid;
            else
                hi = mid - 1;
        }
        e = t.pEntries[lo];
        len = (e >> 8) & 31;
    }
    r.nBitPos += len;
    return e & 0xFF;
}

void ReadScaleFactors(SMP3Stream* s, SMainDataReader& r, int gr, int ch) {
    const SGranuleInfo& g = s->side.gr[gr][ch];
    SScaleFactors& sf = s->sf[ch];
    const int slen1 = kSlen[0][g.scalefac_compress];
    const int slen2 = kSlen[1][g.scalefac_compress];
    if (g.nBlockCode == 2) {
        for (int b = 0; b < 6; ++b)
            for (int w = 0; w < 3; ++w) sf.s[b][w] = static_cast<uint8_t>(r.Read(slen1));
        for (int b = 6; b < 12; ++b)
            for (int w = 0; w < 3; ++w) sf.s[b][w] = static_cast<uint8_t>(r.Read(slen2));
        sf.s[12][0] = sf.s[12][1] = sf.s[12][2] = 0;
    } else if (g.nBlockCode == 3) {
        for (int b = 0; b < 8; ++b) sf.l[b] = static_cast<uint8_t>(r.Read(slen1));
        for (int b = 3; b < 6; ++b)
            for (int w = 0; w < 3; ++w) sf.s[b][w] = static_cast<uint8_t>(r.Read(slen1));
        for (int b = 6; b < 12; ++b)
            for (int w = 0; w < 3; ++w) sf.s[b][w] = static_cast<uint8_t>(r.Read(slen2));
        sf.s[12][0] = sf.s[12][1] = sf.s[12][2] = 0;
    } else {
        static const int kGroupStart[5] = {0, 6, 11, 16, 21};
        for (int grp = 0; grp < 4; ++grp) {
            if (gr == 1 && s->side.scfsi[ch][grp]) continue;  // granule 0's values stay
            const int bits = grp < 2 ? slen1 : slen2;
            for (int b = kGroupStart[grp]; b < kGroupStart[grp + 1]; ++b) sf.l[b] = static_cast<uint8_t>(r.Read(bits));
        }
        sf.l[21] = 0;
    }
}

// Huffman decoding of one channel's granule up to endBit; returns the number
// of lines decoded (the rest of the 576 are zero).
int DecodeHuffman(SMP3Stream* s, SMainDataReader& r, int gr, int ch, int32_t endBit) {
    const SGranuleInfo& g = s->side.gr[gr][ch];
    int32_t* q = s->aQuant[ch];
    const int16_t* lb = BandTables(s->sampling_frequency).pLong;
    const int bigEnd = g.big_values * 2;
    int region1, region2;
    if (g.window_switching_flag) {
        region1 = 36;
        region2 = kGranuleLines;
    } else {
        // Counts from the bitstream can point past the last band.
        int i1 = g.region0_count + 1, i2 = g.region0_count + g.region1_count + 2;
        if (i1 > 22) i1 = 22;
        if (i2 > 22) i2 = 22;
        region1 = lb[i1];
        region2 = lb[i2];
    }
    if (region1 > bigEnd) region1 = bigEnd;
    if (region2 > bigEnd) region2 = bigEnd;
    if (region2 < region1) region2 = region1;

    int i = 0;
    const int regionEnd[3] = {region1, region2, bigEnd};
    for (int reg = 0; reg < 3; ++reg) {
        const int ts = g.table_select[reg];
        const SHuffTable& t = kHuffTables[ts];
        const uint16_t* fast = g_aFast[ts];
        const int end = regionEnd[reg];
        if (!t.pEntries) {
            // Table 0: every pair is zero and takes no bits.
            for (; i < end; ++i) q[i] = 0;
            continue;
        }
        const int lin = t.nLinbits;
        // The reader's state lives in locals here: this loop is the decoder's
        // hottest, and a position kept in memory would serialise it.
        const uint8_t* data = r.pData;
        int32_t pos = r.nBitPos;
        for (; i < end; i += 2) {
            if (pos >= endBit) {
                // Out of bits before the region ends: a damaged granule.
                q[i] = q[i + 1] = 0;
                continue;
            }
            // One load serves the whole pair: code (at most 19 bits), two
            // escapes (at most 13 each) and two signs are at most 47 bits,
            // and the shifted load holds at least 57.
            uint64_t bits = PeekAt64(data, pos);
            int len;
            int v;
            const uint16_t f = fast[bits >> (64 - kFastBits)];
            if (f) {
                len = f >> 8;
                v = f & 0xFF;
            } else {
                SMainDataReader slow{data, pos, r.nEndBits};
                v = DecodeCode(slow, t, fast);
                len = slow.nBitPos - pos;
            }
            bits <<= len;
            int used = len;
            int x = v >> 4, y = v & 15;
            if (x) {
                if (x == 15 && lin) {
                    x += static_cast<int>(bits >> (64 - lin));
                    bits <<= lin;
                    used += lin;
                }
                if (bits >> 63) x = -x;
                bits <<= 1;
                ++used;
            }
            if (y) {
                if (y == 15 && lin) {
                    y += static_cast<int>(bits >> (64 - lin));
                    bits <<= lin;
                    used += lin;
                }
                if (bits >> 63) y = -y;
                ++used;
            }
            pos += used;
            q[i] = x;
            q[i + 1] = y;
        }
        r.nBitPos = pos;
    }
    // Count1 quadruples while bits remain.
    const SHuffTable& t1 = kCount1Tables[g.count1table_select];
    const uint16_t* fast1 = g_aFast[32 + g.count1table_select];
    while (i + 4 <= kGranuleLines && r.nBitPos < endBit) {
        const int v = DecodeCode(r, t1, fast1);
        int vals[4] = {(v >> 3) & 1, (v >> 2) & 1, (v >> 1) & 1, v & 1};
        for (int k = 0; k < 4; ++k)
            if (vals[k] && r.Read(1)) vals[k] = -1;
        if (r.nBitPos > endBit) {
            // The quadruple ran past the granule's bits: it is not part of
            // the data (the standard discards it).
            break;
        }
        q[i] = vals[0];
        q[i + 1] = vals[1];
        q[i + 2] = vals[2];
        q[i + 3] = vals[3];
        i += 4;
    }
    for (int k = i; k < kGranuleLines; ++k) q[k] = 0;
    return i;
}

inline float Gain(int k) { return k < kGainMin ? 0.0f : gainTable[(k > kGainMax ? kGainMax : k) - kGainMin]; }
inline float Pow43(int32_t v) { return pow43[v + kMaxQuant]; }

// Requantises lines [0, count) of channel ch into xr in transmission order.
void Requantize(SMP3Stream* s, int gr, int ch, int count) {
    const SGranuleInfo& g = s->side.gr[gr][ch];
    const SScaleFactors& sf = s->sf[ch];
    const SBandTables& bt = BandTables(s->sampling_frequency);
    const int32_t* q = s->aQuant[ch];
    float* xr = s->xr[ch];
    const int m = g.scalefac_scale ? 4 : 2;
    const int base = g.global_gain - 210;
    int i = 0;
    if (g.nBlockCode != 2) {
        const int longEnd = g.nBlockCode == 3 ? 36 : kGranuleLines;
        for (int b = 0; b < 22 && i < count && i < longEnd; ++b) {
            const int end = bt.pLong[b + 1] < count ? bt.pLong[b + 1] : count;
            const float gain = Gain(base - m * (sf.l[b] + (g.preflag ? kPretab[b] : 0)));
            for (; i < end; ++i) xr[i] = Pow43(q[i]) * gain;
        }
    }
    if (g.nBlockCode >= 2) {
        for (int b = g.nBlockCode == 3 ? 3 : 0; b < 13 && i < count; ++b) {
            const int width = bt.pShort[b + 1] - bt.pShort[b];
            for (int w = 0; w < 3 && i < count; ++w) {
                const float gain = Gain(base - 8 * g.subblock_gain[w] - m * sf.s[b][w]);
                const int end = i + width < count ? i + width : count;
                for (; i < end; ++i) xr[i] = Pow43(q[i]) * gain;
            }
        }
    }
    for (; i < kGranuleLines; ++i) xr[i] = 0.0f;
}

constexpr float kInvSqrt2 = static_cast<float>(0.7071067811879999665);

inline void MidSide(float* l, float* r, int from, int to) {
    for (int i = from; i < to; ++i) {
        const float m = l[i], d = r[i];
        l[i] = (m + d) * kInvSqrt2;
        r[i] = (m - d) * kInvSqrt2;
    }
}

// Lines [from, to) by intensity position pos (7 and above: not intensity
// coded, then mid/side when it is on).
inline void Intensity(float* l, float* r, int from, int to, int pos, bool ms) {
    if (pos >= 7) {
        if (ms) MidSide(l, r, from, to);
        return;
    }
    const float kl = g_aIsLeft[pos], kr = g_aIsRight[pos];
    for (int i = from; i < to; ++i) {
        const float v = l[i];
        l[i] = v * kl;
        r[i] = v * kr;
    }
}

// Joint stereo on xr in transmission order. Intensity coding starts above the
// right channel's last non-zero line (per window for short blocks); the bands
// below it, and bands whose position is 7, are mid/side when that is on.
void JointStereo(SMP3Stream* s, int gr) {
    const bool ms = (s->mode_extension & 2) != 0;
    const bool is = (s->mode_extension & 1) != 0;
    float* l = s->xr[0];
    float* r = s->xr[1];
    if (!is) {
        if (ms) MidSide(l, r, 0, kGranuleLines);
        return;
    }
    const SGranuleInfo& g = s->side.gr[gr][1];
    const SScaleFactors& sf = s->sf[1];
    const SBandTables& bt = BandTables(s->sampling_frequency);
    const int32_t* q = s->aQuant[1];
    if (g.nBlockCode < 2) {
        int last = kGranuleLines - 1;
        while (last >= 0 && q[last] == 0) --last;
        int b = 0;
        while (b < 22 && bt.pLong[b + 1] <= last) ++b;
        if (last >= 0) ++b;  // the first band wholly above the last value
        if (ms) MidSide(l, r, 0, bt.pLong[b < 22 ? b : 22]);
        for (; b < 22; ++b) {
            const int pos = sf.l[b < 21 ? b : 20];
            Intensity(l, r, bt.pLong[b], bt.pLong[b + 1], pos, ms);
        }
        return;
    }
    // Short and mixed: transmission order is band, window, frequency.
    const int firstShort = g.nBlockCode == 3 ? 3 : 0;
    bool shortHasData = false;
    for (int w = 0; w < 3; ++w) {
        int lastBand = firstShort - 1;
        for (int b = 12; b >= firstShort; --b) {
            const int width = bt.pShort[b + 1] - bt.pShort[b];
            const int start = 3 * bt.pShort[b] + w * width;
            bool nz = false;
            for (int k = 0; k < width; ++k)
                if (q[start + k]) {
                    nz = true;
                    break;
                }
            if (nz) {
                lastBand = b;
                break;
            }
        }
        if (lastBand >= firstShort) shortHasData = true;
        for (int b = firstShort; b < 13; ++b) {
            const int width = bt.pShort[b + 1] - bt.pShort[b];
            const int start = 3 * bt.pShort[b] + w * width;
            if (b <= lastBand) {
                if (ms) MidSide(l, r, start, start + width);
            } else {
                Intensity(l, r, start, start + width, sf.s[b < 12 ? b : 11][w], ms);
            }
        }
    }
    if (g.nBlockCode == 3) {
        // The long part of a mixed block: intensity only when the short part
        // of the right channel is empty.
        int last = 35;
        while (last >= 0 && q[last] == 0) --last;
        int b = 0;
        if (shortHasData) {
            b = 8;
        } else {
            while (b < 8 && bt.pLong[b + 1] <= last) ++b;
            if (last >= 0) ++b;
        }
        if (ms) MidSide(l, r, 0, bt.pLong[b < 8 ? b : 8]);
        for (; b < 8; ++b) Intensity(l, r, bt.pLong[b], bt.pLong[b + 1], sf.l[b], ms);
    }
}

void Reorder(SMP3Stream* s, int ch, int blockCode) {
    alignas(16) float tmp[kGranuleLines];
    const uint16_t* order = g_aReorder[s->sampling_frequency];
    float* xr = s->xr[ch];
    const int from = blockCode == 3 ? 36 : 0;
    for (int i = from; i < kGranuleLines; ++i) tmp[order[i]] = xr[i];
    std::memcpy(xr + from, tmp + from, sizeof(float) * (kGranuleLines - from));
}

void AliasReduce(float* xr, int boundaries) {
    for (int sb = 1; sb <= boundaries; ++sb) {
        float* lo = xr + 18 * sb - 1;
        float* up = xr + 18 * sb;
        for (int i = 0; i < 8; ++i) {
            const float a = lo[-i], b = up[i];
            lo[-i] = a * g_aAliasCs[i] - b * g_aAliasCa[i];
            up[i] = b * g_aAliasCs[i] + a * g_aAliasCa[i];
        }
    }
}

// Subbands that hold a non-zero line.
int ActiveSubbands(const float* xr) {
    int last = kGranuleLines - 1;
    while (last >= 0 && xr[last] == 0.0f) --last;
    return last < 0 ? 0 : last / 18 + 1;
}

}  // namespace

const SBandTables& BandTables(int samplingFrequency) {
    return kBandTables[samplingFrequency >= 0 && samplingFrequency < 3 ? samplingFrequency : 0];
}

bool TablesReady() { return g_bTablesReady; }

SHuffTableView HuffTable(int table) {
    const SHuffTable& t = table >= 32 ? kCount1Tables[table & 1] : kHuffTables[table & 31];
    return {t.pEntries, t.pIndex, t.nEntries, t.nLinbits};
}

int DecodeHuffmanCode(SMainDataReader& reader, int table) {
    if (table < 0 || table > 33) return -1;
    const SHuffTable& t = table >= 32 ? kCount1Tables[table & 1] : kHuffTables[table];
    if (!t.pEntries) return 0;
    return DecodeCode(reader, t, g_aFast[table]);
}

void InitLayer3Tables() {
    // The exponent is the decimal constant, not exactly 4/3.
    for (int v = 0; v <= kMaxQuant; ++v) {
        const float p = static_cast<float>(std::pow(static_cast<double>(v), 1.33333333333));
        pow43[kMaxQuant + v] = p;
        pow43[kMaxQuant - v] = -p;
    }
    for (int k = kGainMin; k <= kGainMax; ++k)
        gainTable[k - kGainMin] = static_cast<float>(std::pow(2.0, k / 4.0));
    for (int i = 0; i < 8; ++i) {
        const double d = std::sqrt(1.0 + kAliasCi[i] * kAliasCi[i]);
        g_aAliasCs[i] = static_cast<float>(1.0 / d);
        g_aAliasCa[i] = static_cast<float>(kAliasCi[i] / d);
    }
    const double pi = 3.14159265358979323846;
    for (int p = 0; p < 7; ++p) {
        if (p == 6) {
            g_aIsLeft[p] = 1.0f;
            g_aIsRight[p] = 0.0f;
            continue;
        }
        const double t = std::tan(p * pi / 12.0);
        g_aIsLeft[p] = static_cast<float>(t / (1.0 + t));
        g_aIsRight[p] = static_cast<float>(1.0 / (1.0 + t));
    }
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < kGranuleLines; ++i) g_aReorder[f][i] = static_cast<uint16_t>(i);
        for (int b = 0; b < 13; ++b) {
            const int start = kShortBands[f][b], width = kShortBands[f][b + 1] - start;
            for (int w = 0; w < 3; ++w)
                for (int k = 0; k < width; ++k)
                    g_aReorder[f][3 * start + w * width + k] = static_cast<uint16_t>(3 * (start + k) + w);
        }
    }
    for (int t = 0; t < 32; ++t) {
        if (kHuffTables[t].pEntries)
            BuildFast(g_aFast[t], kHuffTables[t]);
        else
            std::memset(g_aFast[t], 0, sizeof(g_aFast[t]));
    }
    BuildFast(g_aFast[32], kCount1Tables[0]);
    BuildFast(g_aFast[33], kCount1Tables[1]);
    g_bTablesReady = true;
}

void DecodeGranule(SMP3Stream* s, SMainDataReader& r, int gr) {
    const int nch = s->nChannels;
    for (int ch = 0; ch < nch; ++ch) {
        const SGranuleInfo& g = s->side.gr[gr][ch];
        const int32_t start = r.nBitPos < r.nEndBits ? r.nBitPos : r.nEndBits;
        int32_t end = start + g.part2_3_length;
        // A granule cannot use bits the frame does not have.
        if (end > r.nEndBits) end = r.nEndBits;
        r.nBitPos = start;
        ReadScaleFactors(s, r, gr, ch);
        const int count = r.nBitPos < end ? DecodeHuffman(s, r, gr, ch, end) : 0;
        if (count == 0) std::memset(s->aQuant[ch], 0, sizeof(s->aQuant[ch]));
        s->nDecodedLines[ch] = count;
        // The next channel starts where this one's bits end, wherever the
        // Huffman data stopped.
        r.nBitPos = end;
    }
    const bool joint = nch == 2 && s->mode == 1 && s->mode_extension != 0;
    if (joint) {
        // Both channels up to the larger count: intensity-coded lines of the
        // right channel take their values from the left.
        const int count = s->nDecodedLines[0] > s->nDecodedLines[1] ? s->nDecodedLines[0] : s->nDecodedLines[1];
        Requantize(s, gr, 0, count);
        Requantize(s, gr, 1, count);
        JointStereo(s, gr);
    } else {
        for (int ch = 0; ch < nch; ++ch) Requantize(s, gr, ch, s->nDecodedLines[ch]);
    }
    mp3GranuleHookFn hook = GranuleHook();
    for (int ch = 0; ch < nch; ++ch) {
        const SGranuleInfo& g = s->side.gr[gr][ch];
        if (g.nBlockCode >= 2) Reorder(s, ch, g.nBlockCode);
        int active = ActiveSubbands(s->xr[ch]);
        if (g.nBlockCode < 2) {
            const int boundaries = active < 31 ? active : 31;
            AliasReduce(s->xr[ch], boundaries);
            // The butterflies spread the top subband's edge into the next.
            if (active > 0 && active < 32) ++active;
        } else if (g.nBlockCode == 3) {
            AliasReduce(s->xr[ch], 1);
            if (active > 0 && active < 2) active = 2;
        }
        if (hook) hook(ch, s->xr[ch]);
        mp3Synthesize(s, ch, g.nBlockCode, g.block_type, g.mixed_block_flag != 0, active);
    }
}

void DecodeSilentGranule(SMP3Stream* s) {
    for (int ch = 0; ch < s->nChannels; ++ch) {
        std::memset(s->xr[ch], 0, sizeof(s->xr[ch]));
        mp3Synthesize(s, ch, 0, 0, false, 0);
    }
}

}  // namespace qvn_mp3
