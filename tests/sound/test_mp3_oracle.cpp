// Oracle tests: streams encoded here with libmp3lame from generated signals,
// decoded by our decoder and by libmpg123 (float output); the two must agree
// to PSNR >= 96 dB.
#include <gtest/gtest.h>
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "test_mp3_reference.h"
#include "test_mp3_support.h"

using namespace mp3test;

namespace {

const double kPi = 3.14159265358979323846;

enum class ESignal { Sweep, NoiseBursts, Silence, Clipping, Mixed };

struct SCase {
    const char* name;
    int rate;
    MPEG_mode mode;
    int kbps;
    ESignal signal;
    bool crc;
};

// Deterministic noise (the test must not depend on a platform generator).
struct SNoise {
    uint32_t state = 12345;
    float Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state) / 2147483648.0);
    }
};

std::vector<float> Generate(const SCase& c, int channels, int samples) {
    std::vector<float> pcm(static_cast<size_t>(samples) * channels);
    SNoise noise;
    double phase = 0.0;
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / c.rate;
        // Sweep 40 Hz .. 16 kHz over the signal.
        const double f = 40.0 * std::pow(400.0, static_cast<double>(i) / samples);
        phase += 2 * kPi * f / c.rate;
        for (int ch = 0; ch < channels; ++ch) {
            double v = 0.0;
            switch (c.signal) {
            case ESignal::Sweep: v = 0.5 * std::sin(phase + ch * 0.7); break;
            case ESignal::NoiseBursts:
                // Sharp attacks out of silence make the encoder switch to short blocks.
                v = ((i / 1500) % 3 == 2) ? 0.7 * noise.Next() : 0.02 * std::sin(2 * kPi * 220 * t);
                break;
            case ESignal::Silence: v = 0.0; break;
            case ESignal::Clipping: v = std::clamp(1.6 * std::sin(2 * kPi * (110 + 40 * ch) * t), -1.0, 1.0); break;
            case ESignal::Mixed:
                v = 0.3 * std::sin(phase) + ((i / 2000) % 4 == 3 ? 0.5 * noise.Next() : 0.0) +
                    (ch ? 0.2 * std::sin(2 * kPi * 3000 * t) : 0.0);
                break;
            }
            pcm[static_cast<size_t>(i) * channels + ch] = static_cast<float>(v);
        }
    }
    return pcm;
}

std::vector<uint8_t> Encode(const SCase& c, int channels, const std::vector<float>& pcm) {
    lame_global_flags* gf = lame_init();
    lame_set_in_samplerate(gf, c.rate);
    lame_set_out_samplerate(gf, c.rate);
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, c.mode);
    lame_set_brate(gf, c.kbps);
    lame_set_quality(gf, 7);
    lame_set_error_protection(gf, c.crc ? 1 : 0);
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
    int n = lame_encode_buffer_float(gf, left.data(), right.data(), samples, out.data(), static_cast<int>(out.size()));
    EXPECT_GE(n, 0);
    const int m = lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
    EXPECT_GE(m, 0);
    out.resize(static_cast<size_t>(n + m));
    lame_close(gf);
    return out;
}

void PrintTo(const SCase& c, std::ostream* os) { *os << c.name; }

class Mp3Oracle : public ::testing::TestWithParam<SCase> {};

TEST_P(Mp3Oracle, MatchesLibmpg123) {
    const SCase& c = GetParam();
    const int channels = c.mode == MONO ? 1 : 2;
    const std::vector<float> signal = Generate(c, channels, c.rate * 6 / 10);
    const std::vector<uint8_t> mp3 = Encode(c, channels, signal);
    ASSERT_GT(mp3.size(), 1000u);
    const SDecoded ours = DecodeMemory(mp3);
    ASSERT_TRUE(ours.bOpened);
    EXPECT_EQ(ours.nChannels, channels);
    EXPECT_EQ(ours.nSampleRate, c.rate);
    int refChannels = 0;
    const std::vector<float> ref = DecodeWithMpg123(mp3, &refChannels);
    ASSERT_EQ(refChannels, channels);
    ASSERT_EQ(ours.pcm.size(), ref.size());
    double maxLsb = 0.0;
    const double psnr = PsnrAgainstReference(ours.pcm, ref, &maxLsb);
    EXPECT_GE(psnr, 96.0) << c.name << " max " << maxLsb << " LSB";
    if (c.signal == ESignal::Silence) {
        for (float v : ours.pcm) ASSERT_EQ(v, 0.0f);
    }
}

const SCase kCases[] = {
    {"mono32k_32kbps_sweep", 32000, MONO, 32, ESignal::Sweep, false},
    {"mono48k_64kbps_bursts", 48000, MONO, 64, ESignal::NoiseBursts, false},
    {"mono44k_320kbps_clipping", 44100, MONO, 320, ESignal::Clipping, false},
    {"stereo44k_128kbps_mixed", 44100, STEREO, 128, ESignal::Mixed, false},
    {"stereo32k_256kbps_silence", 32000, STEREO, 256, ESignal::Silence, false},
    {"joint44k_192kbps_bursts", 44100, JOINT_STEREO, 192, ESignal::NoiseBursts, false},
    {"joint48k_320kbps_clipping", 48000, JOINT_STEREO, 320, ESignal::Clipping, false},
    {"joint32k_48kbps_sweep", 32000, JOINT_STEREO, 48, ESignal::Sweep, false},
    {"joint48k_96kbps_mixed_crc", 48000, JOINT_STEREO, 96, ESignal::Mixed, true},
    {"dual44k_160kbps_mixed", 44100, DUAL_CHANNEL, 160, ESignal::Mixed, false},
};

INSTANTIATE_TEST_SUITE_P(Lame, Mp3Oracle, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Streams written bit by bit here, for what no encoder at hand produces:
// intensity stereo, mixed blocks, short blocks in joint stereo.

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_nBits % 8 == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_nBits % 8));
            ++m_nBits;
        }
    }
    int Bits() const { return m_nBits; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    int m_nBits = 0;
};

enum class EBlock { Long, Short, Mixed };

struct SCrafted {
    const char* name;
    int modeExtension;  // 1 intensity, 2 mid/side, 3 both
    EBlock block;
};

// One granule of one channel: scale factors (scalefac_compress 15: 4 and 3
// bits) and big_values pairs of table 1 (values 0 and 1 with signs).
struct SGranule {
    int bigValues = 0;
    int globalGain = 0;
    std::vector<int> scalefactors;  // in bitstream order
    std::vector<int> lines;         // 2 * bigValues values in -1..1
    BitWriter data;
};

void WriteGranuleData(SGranule& g, EBlock block) {
    size_t k = 0;
    auto sf = [&](int bits) { g.data.Put(static_cast<uint32_t>(g.scalefactors[k++]), bits); };
    if (block == EBlock::Long) {
        for (int b = 0; b < 11; ++b) sf(4);
        for (int b = 11; b < 21; ++b) sf(3);
    } else {
        if (block == EBlock::Mixed)
            for (int b = 0; b < 8; ++b) sf(4);
        for (int b = block == EBlock::Mixed ? 3 : 0; b < 6; ++b)
            for (int w = 0; w < 3; ++w) sf(4);
        for (int b = 6; b < 12; ++b)
            for (int w = 0; w < 3; ++w) sf(3);
    }
    for (int i = 0; i < 2 * g.bigValues; i += 2) {
        const int x = g.lines[i], y = g.lines[i + 1];
        // Table 1: (0,0) 1, (1,0) 01, (0,1) 001, (1,1) 000.
        if (!x && !y)
            g.data.Put(1, 1);
        else if (x && !y)
            g.data.Put(1, 2);
        else if (!x && y)
            g.data.Put(1, 3);
        else
            g.data.Put(0, 3);
        if (x) g.data.Put(x < 0, 1);
        if (y) g.data.Put(y < 0, 1);
    }
}

std::vector<uint8_t> CraftStream(const SCrafted& c, int frames) {
    SNoise noise;
    auto rnd = [&](int n) { return static_cast<int>((noise.Next() * 0.5f + 0.5f) * n) % n; };
    std::vector<uint8_t> out;
    const int scaleCount = c.block == EBlock::Long ? 21 : c.block == EBlock::Short ? 36 : 8 + 27;
    for (int f = 0; f < frames; ++f) {
        SGranule g[2][2];
        for (int gr = 0; gr < 2; ++gr) {
            for (int ch = 0; ch < 2; ++ch) {
                SGranule& q = g[gr][ch];
                // The right channel stops early: above it lies the intensity region.
                q.bigValues = ch == 0 ? 90 + rnd(60) : 10 + rnd(50);
                q.globalGain = 180 + rnd(16);
                for (int i = 0; i < scaleCount; ++i) q.scalefactors.push_back(ch == 1 ? rnd(8) : rnd(4));
                for (int i = 0; i < 2 * q.bigValues; ++i) {
                    const int r = rnd(4);
                    q.lines.push_back(r == 0 ? 0 : r == 1 ? 1 : r == 2 ? -1 : 0);
                }
                WriteGranuleData(q, c.block);
            }
        }
        // 44.1 kHz, 128 kbit/s, no padding: 417 bytes; no CRC; joint stereo.
        BitWriter w;
        w.Put(0xFFFB, 16);
        w.Put(0x90, 8);
        w.Put((1u << 6) | (static_cast<uint32_t>(c.modeExtension) << 4), 8);
        w.Put(0, 9);  // main_data_begin: every frame stands alone
        w.Put(0, 3);  // private bits
        w.Put(0, 8);  // scfsi
        for (int gr = 0; gr < 2; ++gr) {
            for (int ch = 0; ch < 2; ++ch) {
                const SGranule& q = g[gr][ch];
                w.Put(static_cast<uint32_t>(q.data.Bits()), 12);
                w.Put(static_cast<uint32_t>(q.bigValues), 9);
                w.Put(static_cast<uint32_t>(q.globalGain), 8);
                w.Put(15, 4);
                if (c.block == EBlock::Long) {
                    w.Put(0, 1);
                    w.Put(1, 5);
                    w.Put(1, 5);
                    w.Put(1, 5);
                    w.Put(7, 4);
                    w.Put(7, 3);
                } else {
                    w.Put(1, 1);
                    w.Put(2, 2);
                    w.Put(c.block == EBlock::Mixed ? 1 : 0, 1);
                    w.Put(1, 5);
                    w.Put(1, 5);
                    w.Put(0, 9);  // subblock gains
                }
                w.Put(0, 3);  // preflag, scalefac_scale, count1table_select
            }
        }
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < 2; ++ch) {
                const SGranule& q = g[gr][ch];
                for (int b = 0; b < q.data.Bits(); ++b)
                    w.Put((q.data.Bytes()[b / 8] >> (7 - b % 8)) & 1, 1);
            }
        EXPECT_LE(w.Bits(), 417 * 8);
        while (w.Bits() < 417 * 8) w.Put(0, 1);
        out.insert(out.end(), w.Bytes().begin(), w.Bytes().end());
    }
    return out;
}

void PrintTo(const SCrafted& c, std::ostream* os) { *os << c.name; }

class Mp3Crafted : public ::testing::TestWithParam<SCrafted> {};

TEST_P(Mp3Crafted, MatchesLibmpg123) {
    const SCrafted& c = GetParam();
    const std::vector<uint8_t> mp3 = CraftStream(c, 12);
    const SDecoded ours = DecodeMemory(mp3);
    ASSERT_TRUE(ours.bOpened);
    ASSERT_EQ(ours.nFrames, 12);
    int refChannels = 0;
    const std::vector<float> ref = DecodeWithMpg123(mp3, &refChannels);
    ASSERT_EQ(refChannels, 2);
    ASSERT_EQ(ours.pcm.size(), ref.size());
    double maxLsb = 0.0;
    const double psnr = PsnrAgainstReference(ours.pcm, ref, &maxLsb);
    EXPECT_GE(psnr, 96.0) << c.name << " max " << maxLsb << " LSB";
    // The right channel must carry the intensity-coded part: not silent.
    double right = 0.0;
    for (size_t i = 1; i < ours.pcm.size(); i += 2) right = std::max(right, std::fabs(static_cast<double>(ours.pcm[i])));
    EXPECT_GT(right, 0.001);
}

const SCrafted kCrafted[] = {
    {"intensity_long", 1, EBlock::Long},   {"intensity_ms_long", 3, EBlock::Long},
    {"intensity_short", 1, EBlock::Short}, {"intensity_ms_short", 3, EBlock::Short},
    {"intensity_mixed", 1, EBlock::Mixed}, {"intensity_ms_mixed", 3, EBlock::Mixed},
    {"ms_mixed", 2, EBlock::Mixed},        {"ms_short", 2, EBlock::Short},
};

INSTANTIATE_TEST_SUITE_P(Bitstreams, Mp3Crafted, ::testing::ValuesIn(kCrafted),
                         [](const ::testing::TestParamInfo<SCrafted>& info) { return std::string(info.param.name); });

}  // namespace
