// Decoder behaviour: the stream interface (frames, skipping, the end),
// damaged and unsupported streams, and the transforms against slow
// references.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Internal.h"
#include "test_mp3_support.h"

using namespace mp3test;

namespace {

const double kPi = 3.14159265358979323846;

// A small stream of our own (LAME-encoded sine, mono 32 kHz, 32 kbit/s) from
// the fuzz seed corpus, so these tests need no third-party files.
std::vector<uint8_t> SeedStream(const char* name) {
    return ReadFile(std::string(QVN_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_mp3/" + name);
}

struct StreamDeleter {
    void operator()(SMP3Stream* s) const { mp3Close(s); }
};
using StreamPtr = std::unique_ptr<SMP3Stream, StreamDeleter>;

StreamPtr Open(const std::vector<uint8_t>& bytes) {
    mp3InitTables();
    return StreamPtr(mp3OpenMemory(bytes.data(), bytes.size()));
}

// ---------------------------------------------------------------------------
// Stream interface

TEST(Mp3Stream, ReportsFormatAndDecodesToTheEnd) {
    const auto bytes = SeedStream("mono32k_32kbps.mp3");
    ASSERT_FALSE(bytes.empty());
    auto s = Open(bytes);
    ASSERT_TRUE(s);
    EXPECT_EQ(mp3GetChannels(s.get()), 1);
    EXPECT_EQ(mp3GetSampleRate(s.get()), 32000);
    EXPECT_EQ(mp3GetFrameIndex(s.get()), 0);
    // A mono stream: 17 bytes of side information, the right channel null.
    EXPECT_EQ(s->nHeaderBytes, 4 + 17);
    std::vector<float> pcm;
    StartCapture(&pcm, 1);
    int frames = 0;
    while (mp3DecodeFrame(s.get()) == 1152) ++frames;
    EXPECT_GT(frames, 3);
    EXPECT_EQ(pcm.size(), 1152u * frames);
    EXPECT_EQ(mp3GetFrameIndex(s.get()), frames);
    // After the end: -1, again and again, and nothing moves.
    EXPECT_EQ(mp3DecodeFrame(s.get()), -1);
    EXPECT_EQ(mp3DecodeFrame(s.get()), -1);
    EXPECT_EQ(mp3GetFrameIndex(s.get()), frames);
    EXPECT_EQ(pcm.size(), 1152u * frames);
    EXPECT_EQ(mp3SkipFrames(s.get(), 5), 0);
    StopCapture();
}

TEST(Mp3Stream, MonoGranulesComeWithANullRightChannel) {
    const SDecoded d = DecodeMemory(SeedStream("mono32k_32kbps.mp3"));
    ASSERT_TRUE(d.bOpened);
    EXPECT_EQ(d.nGranulesWithNullRight, 2 * d.nFrames);
    const SDecoded st = DecodeMemory(SeedStream("joint44k_128kbps.mp3"));
    EXPECT_EQ(st.nChannels, 2);
    EXPECT_EQ(st.nGranulesWithNullRight, 0);
}

TEST(Mp3Stream, JunkBeforeTheFirstFrameIsSkipped) {
    const auto clean = SeedStream("joint44k_128kbps.mp3");
    std::vector<uint8_t> junk;
    // Includes false sync patterns that a bare 12-bit search would take.
    for (int i = 0; i < 700; ++i) junk.push_back(static_cast<uint8_t>((i * 37 + 11) & 0xFF));
    junk.insert(junk.end(), {0xFF, 0xFB, 0x90, 0x00, 0xFF, 0xE3, 0x18, 0xC4, 0x00});
    junk.insert(junk.end(), clean.begin(), clean.end());
    const SDecoded a = DecodeMemory(clean);
    const SDecoded b = DecodeMemory(junk);
    ASSERT_TRUE(b.bOpened);
    EXPECT_EQ(a.nFrames, b.nFrames);
    EXPECT_EQ(a.pcm, b.pcm);
}

TEST(Mp3Stream, LeadingId3TagWithSyncLikeBytesIsSkipped) {
    const auto clean = SeedStream("joint44k_128kbps.mp3");
    // An ID3v2 tag whose payload looks like the start of a JPEG (FF D8 FF E0):
    // without skipping the tag, FF E0 could pass for a low-rate sync.
    std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 40};
    for (int i = 0; i < 40; ++i) tagged.push_back(i < 4 ? std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0}[i] : 0x42);
    tagged.insert(tagged.end(), clean.begin(), clean.end());
    const SDecoded a = DecodeMemory(clean);
    const SDecoded b = DecodeMemory(tagged);
    EXPECT_EQ(a.pcm, b.pcm);
}

TEST(Mp3Stream, SkipCountsAndResumesOnTheRightFrame) {
    const auto bytes = SeedStream("joint44k_128kbps.mp3");
    const SDecoded full = DecodeMemory(bytes);
    ASSERT_GT(full.nFrames, 6);
    auto s = Open(bytes);
    EXPECT_EQ(mp3SkipFrames(s.get(), 0), 0);
    EXPECT_EQ(mp3SkipFrames(s.get(), -3), 0);
    EXPECT_EQ(mp3GetFrameIndex(s.get()), 0);
    EXPECT_EQ(mp3SkipFrames(s.get(), 3), 3);
    EXPECT_EQ(mp3GetFrameIndex(s.get()), 3);
    std::vector<float> pcm;
    StartCapture(&pcm, 2);
    while (mp3DecodeFrame(s.get()) > 0) {
    }
    StopCapture();
    ASSERT_EQ(pcm.size(), full.pcm.size() - 3u * 2304);
    // The first frame after a skip starts from stale overlap and filterbank
    // history; from the second one on the output is exactly the full decode's.
    for (size_t i = 2304; i < pcm.size(); ++i) ASSERT_EQ(pcm[i], full.pcm[i + 3 * 2304]) << i;
    // Skipping past the end stops there and counts only what was there.
    auto t = Open(bytes);
    EXPECT_EQ(mp3SkipFrames(t.get(), 100000), full.nFrames);
    EXPECT_EQ(mp3DecodeFrame(t.get()), -1);
}

TEST(Mp3Stream, MainDataBeforeTheReservoirDecodesAsSilence) {
    // Cut the stream at a later frame: its main_data_begin points into bytes
    // that were never read. The frame still yields 1152 samples, all zero.
    const auto bytes = SeedStream("stereo48k_crc.mp3");
    auto probe = Open(bytes);
    ASSERT_TRUE(probe);
    int32_t cut = -1;
    // Walk the frames to find one that reaches back into the reservoir.
    for (int f = 0; f < 10 && cut < 0; ++f) {
        const int32_t pos = probe->pSource->BytePos();
        mp3SkipFrames(probe.get(), 1);
        if (probe->side.main_data_begin > 0 && f > 0) cut = pos;
    }
    // The seed is a committed file chosen for this: it must reach back.
    ASSERT_GE(cut, 0) << "the seed stream has no frame that uses the reservoir";
    // Find the sync at or after the recorded position.
    while (cut + 1 < static_cast<int32_t>(bytes.size()) && !(bytes[cut] == 0xFF && (bytes[cut + 1] & 0xE0) == 0xE0)) ++cut;
    std::vector<uint8_t> tail(bytes.begin() + cut, bytes.end());
    auto s = Open(tail);
    ASSERT_TRUE(s);
    std::vector<float> pcm;
    StartCapture(&pcm, 2);
    EXPECT_EQ(mp3DecodeFrame(s.get()), 1152);
    StopCapture();
    ASSERT_EQ(pcm.size(), 2304u);
    for (float v : pcm) ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(mp3GetBadFrames(s.get()), 1);
}

TEST(Mp3Stream, FileWithoutFramesIsRefusedWithALogLine) {
    const auto log = std::filesystem::temp_directory_path() / "qvn_mp3_refuse.log";
    {
        qvn_cErrorLog errorLog(log.string().c_str());
        std::vector<uint8_t> noise(5000);
        for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 7919) >> 3);
        mp3InitTables();
        EXPECT_EQ(mp3OpenMemory(noise.data(), noise.size()), nullptr);
        EXPECT_EQ(mp3OpenMemory(nullptr, 0), nullptr);
        EXPECT_EQ(mp3Open("/nonexistent/qvn/track.mp3"), nullptr);
    }
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("mp3Open() : No MPEG audio frame"), std::string::npos) << text.str();
    std::filesystem::remove(log);
}

// Tools ask for the reason instead of a log line or the fatal end; a stream
// it accepts decodes as mp3Open's does.
TEST(Mp3Stream, CheckedOpenSaysWhyItRefusesAndLogsNothing) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto log = dir / "qvn_mp3_checked.log";
    const std::string noisePath = (dir / "qvn_mp3_noise.bin").string();
    {
        std::ofstream noise(noisePath, std::ios::binary);
        for (int i = 0; i < 5000; ++i) noise.put(static_cast<char>((i * 7919) >> 3));
    }
    const std::string seeds = std::string(QVN_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_mp3/";
    {
        qvn_cErrorLog errorLog(log.string().c_str());
        mp3InitTables();
        EMp3Refusal why = kMp3Accepted;
        EXPECT_EQ(mp3OpenChecked("/nonexistent/qvn/track.mp3", &why), nullptr);
        EXPECT_EQ(why, kMp3CannotRead);
        EXPECT_EQ(mp3OpenChecked(noisePath.c_str(), &why), nullptr);
        EXPECT_EQ(why, kMp3NoAudioFrame);
        EXPECT_EQ(mp3OpenChecked((seeds + "mpeg2_mono.mp3").c_str(), &why), nullptr);
        EXPECT_EQ(why, kMp3Mpeg2);
        if (HaveVectors()) {
            EXPECT_EQ(mp3OpenChecked((VectorsDir() + "/mp3/reject/l1-fl1.bit").c_str(), &why), nullptr);
            EXPECT_EQ(why, kMp3LayerI);
            EXPECT_EQ(mp3OpenChecked((VectorsDir() + "/mp3/reject/l2-fl10.bit").c_str(), &why), nullptr);
            EXPECT_EQ(why, kMp3LayerII);
        }
        StreamPtr s(mp3OpenChecked((seeds + "stereo48k_crc.mp3").c_str(), &why));
        ASSERT_TRUE(s);
        EXPECT_EQ(why, kMp3Accepted);
        std::vector<float> pcm;
        StartCapture(&pcm, 2);
        while (mp3DecodeFrame(s.get()) > 0) {
        }
        StopCapture();
        const SDecoded plain = DecodeMemory(ReadFile(seeds + "stereo48k_crc.mp3"));
        EXPECT_EQ(pcm, plain.pcm);
    }
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("mp3Open()"), std::string::npos) << text.str();
    std::filesystem::remove(log);
    std::filesystem::remove(noisePath);
}

TEST(Mp3Stream, EveryTruncationDecodesSafely) {
    const auto bytes = SeedStream("mono32k_32kbps.mp3");
    ASSERT_FALSE(bytes.empty());
    int opened = 0;
    for (size_t n = 0; n <= bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
        const SDecoded d = DecodeMemory(cut);
        if (!d.bOpened) continue;
        ++opened;
        EXPECT_EQ(d.pcm.size(), 1152u * d.nFrames);
        for (float v : d.pcm) ASSERT_TRUE(std::isfinite(v));
    }
    EXPECT_GT(opened, 0);
}

TEST(Mp3Stream, OpenFromFileMatchesOpenFromMemory) {
    const std::string path = std::string(QVN_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_mp3/freeformat.mp3";
    mp3InitTables();
    StreamPtr s(mp3Open(path.c_str()));
    ASSERT_TRUE(s);
    EXPECT_EQ(mp3GetBitrate(s.get()), 0);  // free format
    std::vector<float> pcm;
    StartCapture(&pcm, mp3GetChannels(s.get()));
    while (mp3DecodeFrame(s.get()) > 0) {
    }
    StopCapture();
    const SDecoded d = DecodeMemory(ReadFile(path));
    EXPECT_GT(d.nFrames, 2);
    EXPECT_EQ(pcm, d.pcm);
}

// ---------------------------------------------------------------------------
// Third-party damaged and unsupported streams

class Mp3Robustness : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveVectors()) GTEST_SKIP() << "test vectors not found at " << VectorsDir();
        InstallThrowingFatalHook();
    }
    void TearDown() override { qvn_SetFatalHook(nullptr); }

    // Decodes a file to its end; returns the fatal message, "" when it ran
    // through, "refused" when it did not open.
    static std::string Run(const std::string& path, SDecoded* out = nullptr) {
        const auto bytes = ReadFile(path);
        mp3InitTables();
        SMP3Stream* s = nullptr;
        std::string result;
        std::vector<float> pcm;
        try {
            s = mp3OpenMemory(bytes.data(), bytes.size());
            if (!s) return "refused";
            StartCapture(&pcm, mp3GetChannels(s));
            int frames = 0;
            while (mp3DecodeFrame(s) > 0) ++frames;
            for (float v : pcm)
                if (!std::isfinite(v)) result = "non-finite output";
            if (out) {
                out->nFrames = frames;
                out->nChannels = mp3GetChannels(s);
            }
        } catch (const SFatal& f) {
            result = f.message;
        }
        StopCapture();
        mp3Close(s);
        if (out) out->pcm = pcm;
        return result;
    }
};

TEST_F(Mp3Robustness, NonstandardStreamsDecodeWithoutFault) {
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(VectorsDir() + "/mp3/nonstandard")) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() == ".pcm") continue;
        ++files;
        const std::string r = Run(e.path().string());
        EXPECT_TRUE(r.empty() || r == "refused") << name << ": " << r;
    }
    EXPECT_GT(files, 10);
}

TEST_F(Mp3Robustness, TaggedStreamsDecodeTheirAudio) {
    // One frame of audio with ID3v1, ID3v2 or APE tags around it: the tags
    // are neither decoded as audio nor do they hide the frame.
    const std::string dir = VectorsDir() + "/mp3/nonstandard/";
    for (const char* name : {"l3-nonstandard-id3v1", "l3-nonstandard-id3v2", "l3-nonstandard-apetag",
                             "l3-nonstandard-id3v1-apetag"}) {
        SDecoded d;
        ASSERT_EQ(Run(dir + name + ".bit", &d), "") << name;
        EXPECT_EQ(d.nFrames, 1) << name;
        const auto raw = ReadFile(dir + name + ".pcm");
        std::vector<float> ref(raw.size() / 2);
        for (size_t i = 0; i < ref.size(); ++i)
            ref[i] = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8)) / 32768.0f;
        ASSERT_EQ(d.pcm.size(), ref.size()) << name;
        double maxLsb = 0.0;
        Psnr(d.pcm.data(), ref.data(), ref.size(), &maxLsb);
        EXPECT_LE(maxLsb, 2.0) << name;
    }
    SDecoded only;
    EXPECT_EQ(Run(dir + "l3-nonstandard-id3v2-only.bit", &only), "refused");
}

TEST_F(Mp3Robustness, UnsupportedStreamsEndWithTheirMessageOrAreRefused) {
    const std::string dir = VectorsDir() + "/mp3/reject/";
    // MPEG-2 / 2.5 and Layer I / II: the two documented endings.
    EXPECT_EQ(Run(dir + "M2L3_compl24.bit"), "MPEG2.0 unsupported");
    EXPECT_EQ(Run(dir + "M2L3_noise.bit"), "MPEG2.0 unsupported");
    EXPECT_EQ(Run(dir + "l1-fl1.bit"), "layer2 unsupported");
    EXPECT_EQ(Run(dir + "l2-fl10.bit"), "layer2 unsupported");
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string r = Run(e.path().string());
        EXPECT_TRUE(r.empty() || r == "refused" || r == "MPEG2.0 unsupported" || r == "layer2 unsupported")
            << e.path().filename() << ": " << r;
    }
}

// A Layer I/II track opens and ends the program at its first decoded frame,
// long after the open: the file is still named, on its own line first. A
// stream on a buffer names no file.
TEST_F(Mp3Robustness, AFatalStreamNamesItsFileEvenWhilePlaying) {
    qvn_SetFatalHook(nullptr);
    for (const char* name : {"l2-fl10.bit", "l1-fl1.bit"}) {
        const std::string path = VectorsDir() + "/mp3/reject/" + name;
        EXPECT_EXIT(
            {
                SMP3Stream* s = mp3Open(path.c_str());
                if (!s) std::exit(3);
                while (mp3DecodeFrame(s) > 0) {
                }
                std::exit(4);
            },
            ::testing::ExitedWithCode(1), "^In the file \".*/mp3/reject/" + std::string(name) +
                                              "\":\nError:layer2 unsupported\n$");
    }
    const auto bytes = ReadFile(VectorsDir() + "/mp3/reject/l2-fl10.bit");
    EXPECT_EXIT(
        {
            SMP3Stream* s = mp3OpenMemory(bytes.data(), bytes.size());
            while (s && mp3DecodeFrame(s) > 0) {
            }
            std::exit(4);
        },
        ::testing::ExitedWithCode(1), "^Error:layer2 unsupported\n$");
}

// ---------------------------------------------------------------------------
// Tables and transforms

TEST(Mp3Tables, HuffmanTablesAreCompletePrefixCodesThatDecodeEveryEntry) {
    mp3InitTables();
    for (int t = 1; t < 34; ++t) {
        const qvn_mp3::SHuffTableView v = qvn_mp3::HuffTable(t);
        if (t == 4 || t == 14) continue;  // stand-ins for 5 and 15
        ASSERT_TRUE(v.pEntries) << t;
        double kraft = 0.0;
        for (int i = 0; i < v.nEntries; ++i) {
            const uint32_t e = v.pEntries[i];
            const int len = (e >> 8) & 31;
            ASSERT_GE(len, 1);
            ASSERT_LE(len, 19);
            kraft += std::ldexp(1.0, -len);
            if (i) {
                ASSERT_LT(v.pEntries[i - 1], e) << "table " << t << " not sorted at " << i;
            }
            // The index's bucket for the code's first four bits holds it.
            const int bucket = e >> 28;
            ASSERT_LE(v.pIndex[bucket], i) << t;
            // Decode the code followed by alternating filler bits.
            uint8_t buf[16] = {};
            uint32_t code = e & ~((1u << (32 - len)) - 1);
            code |= 0xAAAAAAAAu & ((1u << (32 - len)) - 1);
            for (int b = 0; b < 4; ++b) buf[b] = static_cast<uint8_t>(code >> (24 - 8 * b));
            qvn_mp3::SMainDataReader r;
            r.pData = buf;
            r.nEndBits = 32;
            EXPECT_EQ(qvn_mp3::DecodeHuffmanCode(r, t), static_cast<int>(e & 0xFF)) << "table " << t;
            EXPECT_EQ(r.nBitPos, len) << "table " << t;
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << "table " << t;
    }
    // Shared code lists, different escape widths.
    EXPECT_EQ(qvn_mp3::HuffTable(16).pEntries, qvn_mp3::HuffTable(23).pEntries);
    EXPECT_EQ(qvn_mp3::HuffTable(23).nLinbits, 13);
    EXPECT_EQ(qvn_mp3::HuffTable(24).nLinbits, 4);
    EXPECT_EQ(qvn_mp3::HuffTable(31).nLinbits, 13);
}

// The standard gives each band's width; the decoder stores boundaries. Summing
// the widths catches a typo in any entry, and every row must end at 576 lines
// (long) or 192 lines per window (short).
TEST(Mp3Tables, BandBoundariesAreTheRunningSumsOfTheBandWidths) {
    // By sampling_frequency: 44.1, 48, 32 kHz.
    const int kLongWidths[3][22] = {
        {4, 4, 4, 4, 4, 4, 6, 6, 8, 8, 10, 12, 16, 20, 24, 28, 34, 42, 50, 54, 76, 158},
        {4, 4, 4, 4, 4, 4, 6, 6, 6, 8, 10, 12, 16, 18, 22, 28, 34, 40, 46, 54, 54, 192},
        {4, 4, 4, 4, 4, 4, 6, 6, 8, 10, 12, 16, 20, 24, 30, 38, 46, 56, 68, 84, 102, 26}};
    const int kShortWidths[3][13] = {{4, 4, 4, 4, 6, 8, 10, 12, 14, 18, 22, 30, 56},
                                     {4, 4, 4, 4, 6, 6, 10, 12, 14, 16, 20, 26, 66},
                                     {4, 4, 4, 4, 6, 8, 12, 16, 20, 26, 34, 42, 12}};
    for (int f = 0; f < 3; ++f) {
        const qvn_mp3::SBandTables& t = qvn_mp3::BandTables(f);
        int sum = 0;
        for (int b = 0; b < 22; ++b) {
            EXPECT_EQ(t.pLong[b], sum) << "long boundary " << b << " of sampling_frequency " << f;
            sum += kLongWidths[f][b];
        }
        EXPECT_EQ(sum, 576);
        EXPECT_EQ(t.pLong[22], sum) << "sampling_frequency " << f;
        sum = 0;
        for (int b = 0; b < 13; ++b) {
            EXPECT_EQ(t.pShort[b], sum) << "short boundary " << b << " of sampling_frequency " << f;
            sum += kShortWidths[f][b];
        }
        EXPECT_EQ(sum, 192);
        EXPECT_EQ(t.pShort[13], sum) << "sampling_frequency " << f;
    }
}

TEST(Mp3Synthesis, Dct32MatchesItsDefinition) {
    mp3InitTables();
    float in[32], out[32];
    for (int k = 0; k < 32; ++k) in[k] = static_cast<float>(std::sin(k * 1.7 + 0.3));
    qvn_mp3::Dct32(in, out);
    for (int i = 0; i < 32; ++i) {
        double ref = 0.0;
        for (int k = 0; k < 32; ++k) ref += in[k] * std::cos(i * (2 * k + 1) * kPi / 64);
        EXPECT_NEAR(out[i], ref, 1e-5) << i;
    }
}

// The filterbank against the standard's analysis filterbank (window D / 32):
// analysis followed by our synthesis gives the input back, delayed by 481
// samples. A wrong window coefficient, sign or fold breaks this at once.
TEST(Mp3Synthesis, FilterbankReconstructsWhatTheAnalysisFilterbankSplit) {
    mp3InitTables();
    const float* D = qvn_mp3::SynthWindow();
    const int slots = 120, n = 32 * slots;
    std::vector<double> x(n), y;
    for (int i = 0; i < n; ++i) x[i] = 0.5 * std::sin(i * 0.05) + 0.3 * std::sin(i * 1.1) + 0.1 * std::sin(i * 2.9);
    double X[512] = {};
    float ring[16][64] = {};
    int32_t pos = 0;
    for (int t = 0; t < slots; ++t) {
        for (int i = 511; i >= 32; --i) X[i] = X[i - 32];
        for (int i = 31; i >= 0; --i) X[i] = x[t * 32 + 31 - i];
        double Y[64];
        for (int i = 0; i < 64; ++i) {
            Y[i] = 0.0;
            for (int j = 0; j < 8; ++j) Y[i] += X[i + 64 * j] * D[i + 64 * j] / 32.0;
        }
        float S[32], pcm[32];
        for (int k = 0; k < 32; ++k) {
            double s = 0.0;
            for (int i = 0; i < 64; ++i) s += std::cos((2 * k + 1) * (i - 16) * kPi / 64) * Y[i];
            S[k] = static_cast<float>(s);
        }
        qvn_mp3::SynthesizeSlot(ring, pos, S, pcm);
        y.insert(y.end(), pcm, pcm + 32);
    }
    double se = 0.0, ss = 0.0;
    for (int i = 600; i < n - 600; ++i) {
        se += (y[i + 481] - x[i]) * (y[i + 481] - x[i]);
        ss += x[i] * x[i];
    }
    EXPECT_GT(10.0 * std::log10(ss / se), 70.0);
}

TEST(Mp3Synthesis, GranuleFilterbankMatchesSlotBySlot) {
    mp3InitTables();
    float ringA[16][64] = {}, ringB[16][64] = {};
    int32_t posA = 0, posB = 0;
    for (int g = 0; g < 3; ++g) {
        float sub[576 + 4] = {};
        for (int i = 0; i < 576; ++i) sub[i] = static_cast<float>(std::sin(i * 0.37 + g) * (i % 7) / 7.0);
        float pcmA[576], pcmB[576];
        qvn_mp3::SynthesizeGranule(ringA, posA, sub, pcmA);
        for (int t = 0; t < 18; ++t) {
            float slot[32];
            for (int sb = 0; sb < 32; ++sb) slot[sb] = sub[18 * sb + t];
            qvn_mp3::SynthesizeSlot(ringB, posB, slot, pcmB + 32 * t);
        }
        for (int i = 0; i < 576; ++i) ASSERT_NEAR(pcmA[i], pcmB[i], 1e-6) << g << ":" << i;
        EXPECT_EQ(posA, posB);
    }
}

TEST(Mp3Synthesis, WideAndPlainKernelsGiveTheSameBits) {
    // Captures must not depend on the processor: the AVX2 synthesis has to
    // match the SSE2 one exactly, mixed and short blocks included.
    for (const char* seed : {"stereo48k_crc.mp3", "joint44k_128kbps.mp3", "mono32k_32kbps.mp3"}) {
        const std::vector<uint8_t> stream = SeedStream(seed);
        qvn_mp3::ForceGenericKernels(true);
        const SDecoded plain = DecodeMemory(stream);
        const bool hasAvx2 = qvn_mp3::ForceGenericKernels(false);
        const SDecoded wide = DecodeMemory(stream);
        ASSERT_TRUE(plain.bOpened && wide.bOpened) << seed;
        ASSERT_EQ(plain.pcm.size(), wide.pcm.size()) << seed;
        EXPECT_EQ(0, std::memcmp(plain.pcm.data(), wide.pcm.data(), plain.pcm.size() * sizeof(float)))
            << seed << (hasAvx2 ? "" : " (no AVX2 here: both runs were plain)");
    }
}

TEST(Mp3Synthesis, SilentGranulesLetTheOverlapDecayThenStaySilent) {
    // A loud stream followed by a digital-silence tail: once the tail's
    // frames are through the overlap and filterbank, the output is exactly 0.
    const SDecoded d = DecodeMemory(SeedStream("stereo48k_crc.mp3"));
    ASSERT_TRUE(d.bOpened);
    // The seed starts with 2000 samples of silence (plus encoder delay).
    for (int i = 0; i < 2 * 500; ++i) EXPECT_EQ(d.pcm[i], 0.0f) << i;
}

}  // namespace
