// The oracle matrix: every sampling frequency x block kind x channel layout x
// rate control, each cell a couple of seconds of audio decoded by us and by
// libmpg123 (PSNR >= 96 dB). LAME encodes what it can produce (long blocks
// only, short blocks from transients); mixed blocks and start/stop blocks
// with the mixed flag set, which it never writes, come from streams built
// here bit by bit. Each cell also checks that its stream holds what the cell
// claims, so a cell cannot pass by testing something easier.
#include <gtest/gtest.h>
#include <lame/lame.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qvn_MP3Internal.h"
#include "test_mp3_reference.h"
#include "test_mp3_support.h"

using namespace mp3test;

namespace {

const double kPi = 3.14159265358979323846;

enum class EBlocks { Long, Short, Mixed, StartStopMixed };
enum class ELayout { Mono, Stereo, JointMs };

struct SCell {
    int rate;
    EBlocks blocks;
    ELayout layout;
    bool vbr;
};

std::string CellName(const SCell& c) {
    static const char* const kBlocks[] = {"long", "short", "mixed", "startstop_mixed"};
    static const char* const kLayouts[] = {"mono", "stereo", "joint_ms"};
    return std::to_string(c.rate) + "_" + kBlocks[static_cast<int>(c.blocks)] + "_" +
           kLayouts[static_cast<int>(c.layout)] + (c.vbr ? "_vbr" : "_cbr");
}

void PrintTo(const SCell& c, std::ostream* os) { *os << CellName(c); }

// Deterministic noise (the test must not depend on a platform generator).
struct SNoise {
    uint32_t state;
    explicit SNoise(uint32_t seed) : state(seed) {}
    // -1 .. 1
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<int32_t>(state) / 2147483648.0;
    }
    // 0 .. n - 1
    int Below(int n) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<uint32_t>(n));
    }
};

int SamplingIndex(int rate) { return rate == 44100 ? 0 : rate == 48000 ? 1 : 2; }

// ---------------------------------------------------------------------------
// LAME cells

// A tonal bed (chords and a slow sweep, different per channel so stereo
// carries two signals) plus, for the short-block cells, 10 ms clicks every
// 250 ms: sharp attacks out of near silence.
std::vector<float> MusicSignal(int rate, int channels, int samples, bool clicks) {
    std::vector<float> pcm(static_cast<size_t>(samples) * channels);
    SNoise noise(777);
    const int period = rate / 4, clickLen = rate / 100;
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double sweep = 200.0 * std::pow(40.0, t / (static_cast<double>(samples) / rate));
        const bool inClick = clicks && (i % period) < clickLen;
        const double env = inClick ? std::exp(-6.0 * (i % period) / clickLen) : 0.0;
        const double n = noise.Next();
        for (int ch = 0; ch < channels; ++ch) {
            const double bed = 0.18 * std::sin(2 * kPi * (220.0 + 55.0 * ch) * t) +
                               0.1 * std::sin(2 * kPi * (1320.0 - 110.0 * ch) * t) +
                               0.06 * std::sin(2 * kPi * sweep * t + ch) + 0.01 * n;
            const double v = (clicks ? 0.15 : 1.0) * bed + 0.8 * env * n;
            pcm[static_cast<size_t>(i) * channels + ch] = static_cast<float>(v);
        }
    }
    return pcm;
}

std::vector<uint8_t> LameEncode(const SCell& c, const std::vector<float>& pcm) {
    const int channels = c.layout == ELayout::Mono ? 1 : 2;
    lame_global_flags* gf = lame_init();
    lame_set_in_samplerate(gf, c.rate);
    lame_set_out_samplerate(gf, c.rate);
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, c.layout == ELayout::Mono ? MONO : c.layout == ELayout::Stereo ? STEREO : JOINT_STEREO);
    if (c.layout == ELayout::JointMs) lame_set_force_ms(gf, 1);
    if (c.vbr) {
        lame_set_VBR(gf, vbr_default);
        lame_set_VBR_q(gf, 2);
    } else {
        lame_set_brate(gf, channels == 1 ? 96 : 192);
    }
    lame_set_quality(gf, 5);
    if (c.blocks == EBlocks::Long) lame_set_no_short_blocks(gf, 1);
    // No tag frame: both decoders then see the same audio frames.
    lame_set_bWriteVbrTag(gf, 0);
    EXPECT_GE(lame_init_params(gf), 0);
    const int samples = static_cast<int>(pcm.size() / channels);
    std::vector<float> left(samples), right(samples);
    for (int i = 0; i < samples; ++i) {
        // LAME's float interface takes full scale 32768.
        left[i] = pcm[static_cast<size_t>(i) * channels] * 32767.0f;
        right[i] = pcm[static_cast<size_t>(i) * channels + channels - 1] * 32767.0f;
    }
    std::vector<uint8_t> out(samples * 5 / 4 + 7200 + 16384);
    const int n =
        lame_encode_buffer_float(gf, left.data(), right.data(), samples, out.data(), static_cast<int>(out.size()));
    EXPECT_GE(n, 0);
    const int m = lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
    EXPECT_GE(m, 0);
    out.resize(static_cast<size_t>(n + m));
    lame_close(gf);
    return out;
}

// ---------------------------------------------------------------------------
// Streams built bit by bit

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_nBits % 8 == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_nBits % 8));
            ++m_nBits;
        }
    }
    void Append(const BitWriter& w) {
        for (int b = 0; b < w.m_nBits; ++b) Put((w.m_bytes[b / 8] >> (7 - b % 8)) & 1, 1);
    }
    int Bits() const { return m_nBits; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    int m_nBits = 0;
};

// Code words by value, read from the decoder's tables. Using them to write is
// not circular: the tables are checked on their own, and libmpg123 decodes
// what we write with its own.
struct SCodeBook {
    std::map<int, std::pair<uint32_t, int>> codes;  // value -> (code, length)
    int nLinbits = 0;
};

const SCodeBook& CodeBook(int table) {
    static std::map<int, SCodeBook> books;
    auto it = books.find(table);
    if (it != books.end()) return it->second;
    SCodeBook& b = books[table];
    const qvn_mp3::SHuffTableView v = qvn_mp3::HuffTable(table);
    b.nLinbits = v.nLinbits;
    for (int i = 0; i < v.nEntries; ++i) {
        const uint32_t e = v.pEntries[i];
        const int len = (e >> 8) & 31;
        b.codes[static_cast<int>(e & 0xFF)] = {e >> (32 - len), len};
    }
    return b;
}

// The smallest-range table that holds values up to maxAbs (tables with escape
// bits above 15).
int TableFor(int maxAbs) {
    if (maxAbs <= 1) return 1;
    if (maxAbs <= 2) return 2;
    if (maxAbs <= 3) return 5;
    if (maxAbs <= 5) return 7;
    if (maxAbs <= 7) return 10;
    if (maxAbs <= 15) return 13;
    if (maxAbs <= 16) return 16;
    return 24;  // 4 escape bits: up to 30
}

void PutPair(BitWriter& w, int table, int x, int y) {
    const SCodeBook& b = CodeBook(table);
    const int ax = std::abs(x), ay = std::abs(y);
    const int cx = b.nLinbits && ax >= 15 ? 15 : ax, cy = b.nLinbits && ay >= 15 ? 15 : ay;
    const auto& code = b.codes.at(cx * 16 + cy);
    w.Put(code.first, code.second);
    if (cx == 15 && b.nLinbits) w.Put(static_cast<uint32_t>(ax - 15), b.nLinbits);
    if (ax) w.Put(x < 0, 1);
    if (cy == 15 && b.nLinbits) w.Put(static_cast<uint32_t>(ay - 15), b.nLinbits);
    if (ay) w.Put(y < 0, 1);
}

struct SBlockStep {
    int type;
    bool mixed;
};

// Granule block sequences, cycled. Mixed: short blocks with a long low part
// between start and stop blocks. Start/stop mixed: types 1 and 3 with the
// mixed flag set (the two lowest subbands then take the normal window).
const SBlockStep kMixedSequence[] = {{0, false}, {1, false}, {2, true}, {2, true},
                                     {3, false}, {0, false}, {1, false}, {2, false},
                                     {2, true},  {3, false}};
const SBlockStep kStartStopMixedSequence[] = {{0, false}, {1, true}, {2, true},  {3, true},
                                              {0, false}, {1, true}, {2, false}, {3, true},
                                              {1, true},  {3, true}};

struct SGranuleInfo {
    SBlockStep block{0, false};
    int bigValues = 0;
    int globalGain = 0;
    int scalefacCompress = 0;
    int tables[3] = {};
    int subblockGain[3] = {};
    int region0 = 0, region1 = 0;
    int preflag = 0, scalefacScale = 0, count1Table = 0;
    BitWriter data;  // scale factors and Huffman data: part2_3_length bits
};

const uint8_t kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                              {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};

// One granule of one channel with about `lines` non-trivial lines: a
// spectrum that falls off with frequency, random signs and holes, a count1
// tail, random scale factors and gains.
SGranuleInfo MakeGranule(SNoise& rnd, SBlockStep block, int lines, int rate) {
    SGranuleInfo g;
    g.block = block;
    const bool shortPart = block.type == 2;
    g.scalefacCompress = 4 + rnd.Below(12);
    g.scalefacScale = rnd.Below(2);
    g.preflag = rnd.Below(2);
    g.count1Table = rnd.Below(2);
    g.globalGain = 150 + rnd.Below(14);
    if (shortPart)
        for (int& sg : g.subblockGain) sg = rnd.Below(3);

    // Scale factors in bitstream order, widths as the block kind reads them.
    const int slen1 = kSlen[0][g.scalefacCompress], slen2 = kSlen[1][g.scalefacCompress];
    auto sf = [&](int bits) {
        const int max = std::min((1 << bits) - 1, 5);
        g.data.Put(static_cast<uint32_t>(bits ? rnd.Below(max + 1) : 0), bits);
    };
    if (!shortPart) {
        for (int b = 0; b < 11; ++b) sf(slen1);
        for (int b = 11; b < 21; ++b) sf(slen2);
    } else {
        if (block.mixed)
            for (int b = 0; b < 8; ++b) sf(slen1);
        for (int b = block.mixed ? 3 : 0; b < 6; ++b)
            for (int w = 0; w < 3; ++w) sf(slen1);
        for (int b = 6; b < 12; ++b)
            for (int w = 0; w < 3; ++w) sf(slen2);
    }

    // Spectrum: big values, then count1 quadruples.
    lines = std::min(lines & ~1, 520);
    std::vector<int> q(static_cast<size_t>(lines));
    for (int i = 0; i < lines; ++i) {
        const double a = 28.0 * std::exp(-i / 90.0) + 1.5;
        const int v = rnd.Below(5) == 0 ? 0 : static_cast<int>(a * (0.2 + 0.8 * (rnd.Next() * 0.5 + 0.5)));
        q[static_cast<size_t>(i)] = std::min(v, 30) * (rnd.Below(2) ? -1 : 1);
    }
    g.bigValues = lines / 2;
    const int quads = std::min(10 + rnd.Below(20), (576 - lines) / 4);

    const int16_t* longBands = qvn_mp3::BandTables(SamplingIndex(rate)).pLong;
    int regionEnd[3];
    if (block.type != 0) {
        regionEnd[0] = std::min(36, lines);
        regionEnd[1] = lines;
        regionEnd[2] = lines;
    } else {
        g.region0 = 3 + rnd.Below(6);
        g.region1 = 1 + rnd.Below(5);
        regionEnd[0] = std::min<int>(longBands[g.region0 + 1], lines);
        regionEnd[1] = std::min<int>(longBands[g.region0 + g.region1 + 2], lines);
        regionEnd[2] = lines;
    }
    int start = 0;
    for (int r = 0; r < 3; ++r) {
        int maxAbs = 0;
        for (int i = start; i < regionEnd[r]; ++i) maxAbs = std::max(maxAbs, std::abs(q[static_cast<size_t>(i)]));
        g.tables[r] = TableFor(maxAbs);
        for (int i = start; i < regionEnd[r]; i += 2)
            PutPair(g.data, g.tables[r], q[static_cast<size_t>(i)], q[static_cast<size_t>(i) + 1]);
        start = regionEnd[r];
    }
    const SCodeBook& c1 = CodeBook(32 + g.count1Table);
    for (int k = 0; k < quads; ++k) {
        int vals[4];
        int value = 0;
        for (int& v : vals) {
            v = rnd.Below(3) == 0 ? (rnd.Below(2) ? 1 : -1) : 0;
            value = value * 2 + (v != 0);
        }
        const auto& code = c1.codes.at(value);
        g.data.Put(code.first, code.second);
        for (int v : vals)
            if (v) g.data.Put(v < 0, 1);
    }
    return g;
}

void PutGranuleSideInfo(BitWriter& w, const SGranuleInfo& g) {
    w.Put(static_cast<uint32_t>(g.data.Bits()), 12);
    w.Put(static_cast<uint32_t>(g.bigValues), 9);
    w.Put(static_cast<uint32_t>(g.globalGain), 8);
    w.Put(static_cast<uint32_t>(g.scalefacCompress), 4);
    if (g.block.type != 0) {
        w.Put(1, 1);
        w.Put(static_cast<uint32_t>(g.block.type), 2);
        w.Put(g.block.mixed ? 1 : 0, 1);
        w.Put(static_cast<uint32_t>(g.tables[0]), 5);
        w.Put(static_cast<uint32_t>(g.tables[1]), 5);
        for (int sg : g.subblockGain) w.Put(static_cast<uint32_t>(sg), 3);
    } else {
        w.Put(0, 1);
        for (int t : g.tables) w.Put(static_cast<uint32_t>(t), 5);
        w.Put(static_cast<uint32_t>(g.region0), 4);
        w.Put(static_cast<uint32_t>(g.region1), 3);
    }
    w.Put(static_cast<uint32_t>(g.preflag), 1);
    w.Put(static_cast<uint32_t>(g.scalefacScale), 1);
    w.Put(static_cast<uint32_t>(g.count1Table), 1);
}

const int kLayer3Kbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

// Frames of the cell's block sequence; CBR at 320 kbit/s, or VBR with each
// frame at the smallest bitrate that holds it. main_data_begin is 0 (every
// frame stands alone); the LAME cells cover the bit reservoir.
std::vector<uint8_t> BuildStream(const SCell& c, int frames) {
    const int channels = c.layout == ELayout::Mono ? 1 : 2;
    const int mode = c.layout == ELayout::Mono ? 3 : c.layout == ELayout::Stereo ? 0 : 1;
    const int modeExtension = c.layout == ELayout::JointMs ? 2 : 0;
    const int sideBytes = channels == 1 ? 17 : 32;
    const SBlockStep* seq = c.blocks == EBlocks::Mixed ? kMixedSequence : kStartStopMixedSequence;
    const int seqLen = 10;
    SNoise rnd(static_cast<uint32_t>(c.rate + 31 * static_cast<int>(c.layout) + 7 * static_cast<int>(c.blocks)));
    std::vector<uint8_t> out;
    int granule = 0;
    for (int f = 0; f < frames; ++f, granule += 2) {
        // VBR frames ask for more or less room; CBR ones fill theirs.
        int lines = c.vbr ? 60 + rnd.Below(400) : 420;
        for (;;) {
            SGranuleInfo g[2][2];
            int bits = 0;
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < channels; ++ch) {
                    // In plain stereo the right channel runs one step behind,
                    // so the channels' block types differ.
                    const int step = (granule + gr + (mode == 0 ? ch : 0)) % seqLen;
                    g[gr][ch] = MakeGranule(rnd, seq[step], lines + rnd.Below(40), c.rate);
                    bits += g[gr][ch].data.Bits();
                }
            int index = 14;
            if (c.vbr)
                for (index = 1; index < 14; ++index)
                    if ((144000 * kLayer3Kbps[index] / c.rate - 4 - sideBytes) * 8 >= bits) break;
            const int frameBytes = 144000 * kLayer3Kbps[index] / c.rate;
            if ((frameBytes - 4 - sideBytes) * 8 < bits) {
                lines = lines * 4 / 5;
                continue;
            }
            BitWriter w;
            w.Put(0xFFF, 12);
            w.Put(1, 1);  // MPEG-1
            w.Put(1, 2);  // Layer III
            w.Put(1, 1);  // no CRC
            w.Put(static_cast<uint32_t>(index), 4);
            w.Put(static_cast<uint32_t>(SamplingIndex(c.rate)), 2);
            w.Put(0, 2);  // padding, private
            w.Put(static_cast<uint32_t>(mode), 2);
            w.Put(static_cast<uint32_t>(modeExtension), 2);
            w.Put(0, 4);  // copyright, original, emphasis
            w.Put(0, 9);  // main_data_begin
            w.Put(0, channels == 1 ? 5 : 3);
            w.Put(0, 4 * channels);  // scfsi
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < channels; ++ch) PutGranuleSideInfo(w, g[gr][ch]);
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < channels; ++ch) w.Append(g[gr][ch].data);
            while (w.Bits() < frameBytes * 8) w.Put(0, 1);
            out.insert(out.end(), w.Bytes().begin(), w.Bytes().end());
            break;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// What a stream holds, from the side information our decoder parsed.

struct SStreamFacts {
    std::vector<float> pcm;
    int nChannels = 0;
    int nSampleRate = 0;
    int nLongGranules = 0;       // window switching off
    int nShortGranules = 0;      // block type 2, not mixed
    int nMixedShortGranules = 0; // block type 2, mixed
    int nMixedStartStopGranules = 0;
    int nMsFrames = 0;
    std::set<int> bitrates;
};

SStreamFacts DecodeAndSurvey(const std::vector<uint8_t>& bytes) {
    SStreamFacts f;
    mp3InitTables();
    SMP3Stream* s = mp3OpenMemory(bytes.data(), bytes.size());
    if (!s) return f;
    f.nChannels = mp3GetChannels(s);
    f.nSampleRate = mp3GetSampleRate(s);
    StartCapture(&f.pcm, f.nChannels);
    while (mp3DecodeFrame(s) > 0) {
        f.bitrates.insert(s->bitrate_index);
        if (s->mode == 1 && (s->mode_extension & 2)) ++f.nMsFrames;
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < s->nChannels; ++ch) {
                const qvn_mp3::SGranuleInfo& g = s->side.gr[gr][ch];
                if (!g.window_switching_flag)
                    ++f.nLongGranules;
                else if (g.block_type == 2)
                    ++(g.mixed_block_flag ? f.nMixedShortGranules : f.nShortGranules);
                else if (g.mixed_block_flag)
                    ++f.nMixedStartStopGranules;
            }
    }
    StopCapture();
    mp3Close(s);
    return f;
}

class Mp3Matrix : public ::testing::TestWithParam<SCell> {};

TEST_P(Mp3Matrix, MatchesLibmpg123) {
    const SCell& c = GetParam();
    const int channels = c.layout == ELayout::Mono ? 1 : 2;
    std::vector<uint8_t> mp3;
    if (c.blocks == EBlocks::Long || c.blocks == EBlocks::Short)
        mp3 = LameEncode(c, MusicSignal(c.rate, channels, c.rate * 2, c.blocks == EBlocks::Short));
    else
        mp3 = BuildStream(c, c.rate * 2 / 1152);
    ASSERT_GT(mp3.size(), 1000u);

    const SStreamFacts ours = DecodeAndSurvey(mp3);
    ASSERT_EQ(ours.nChannels, channels);
    ASSERT_EQ(ours.nSampleRate, c.rate);
    // The cell holds what it says.
    switch (c.blocks) {
    case EBlocks::Long:
        EXPECT_EQ(ours.nShortGranules + ours.nMixedShortGranules, 0);
        break;
    case EBlocks::Short: EXPECT_GE(ours.nShortGranules, 8); break;
    case EBlocks::Mixed: EXPECT_GE(ours.nMixedShortGranules, 20); break;
    case EBlocks::StartStopMixed: EXPECT_GE(ours.nMixedStartStopGranules, 40); break;
    }
    if (c.layout == ELayout::JointMs) {
        EXPECT_GT(ours.nMsFrames, 0);
    }
    if (c.vbr) {
        EXPECT_GE(ours.bitrates.size(), 3u);
    } else {
        EXPECT_EQ(ours.bitrates.size(), 1u);
    }

    int refChannels = 0, refRate = 0;
    const std::vector<float> ref = DecodeWithMpg123(mp3, &refChannels, &refRate);
    ASSERT_EQ(refChannels, channels);
    ASSERT_EQ(refRate, c.rate);
    ASSERT_EQ(ours.pcm.size(), ref.size());
    double peak = 0.0;
    for (float v : ref) peak = std::max(peak, static_cast<double>(std::fabs(v)));
    EXPECT_GT(peak, 0.05) << "the cell's signal is too quiet to mean anything";
    double maxLsb = 0.0;
    const double psnr = PsnrAgainstReference(ours.pcm, ref, &maxLsb);
    // One line per cell for the summary in the log.
    std::printf("cell %-36s PSNR %6.1f dB  max %7.2f LSB  peak %.2f\n", CellName(c).c_str(), psnr, maxLsb, peak);
    EXPECT_GE(psnr, 96.0) << CellName(c) << " max " << maxLsb << " LSB";
}

std::vector<SCell> AllCells() {
    std::vector<SCell> cells;
    for (int rate : {32000, 44100, 48000})
        for (EBlocks b : {EBlocks::Long, EBlocks::Short, EBlocks::Mixed, EBlocks::StartStopMixed})
            for (ELayout l : {ELayout::Mono, ELayout::Stereo, ELayout::JointMs})
                for (bool vbr : {false, true}) cells.push_back({rate, b, l, vbr});
    return cells;
}

INSTANTIATE_TEST_SUITE_P(Cells, Mp3Matrix, ::testing::ValuesIn(AllCells()),
                         [](const ::testing::TestParamInfo<SCell>& info) { return CellName(info.param); });

}  // namespace
