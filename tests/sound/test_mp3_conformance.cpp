// Conformance against the ISO Layer III streams and their reference PCM.
// The references are rounded to 16 bits, so the bar is PSNR >= 96 dB and a
// maximum difference of 2 LSB on our float output clipped to 16-bit range.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_mp3_support.h"

using namespace mp3test;

namespace {

const char* const kIsoStreams[] = {"l3-compl",    "l3-he_32khz", "l3-he_44khz",
                                   "l3-he_48khz", "l3-he_free",  "l3-hecommon"};

std::vector<float> ReferencePcm(const std::string& name) {
    const std::vector<uint8_t> raw = ReadFile(VectorsDir() + "/mp3/iso/" + name + ".pcm");
    std::vector<float> ref(raw.size() / 2);
    for (size_t i = 0; i < ref.size(); ++i) {
        const int16_t v = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
        ref[i] = static_cast<float>(v) / 32768.0f;
    }
    return ref;
}

// The references stop one frame short of a full decode (the last frame of
// l3-compl is truncated in the stream itself).
void ExpectMatches(const std::string& name, const std::vector<float>& ours, int channels) {
    const std::vector<float> ref = ReferencePcm(name);
    ASSERT_FALSE(ref.empty()) << name;
    ASSERT_EQ(ours.size(), ref.size() + 1152u * channels) << name;
    double maxLsb = 0.0;
    const double psnr = Psnr(ours.data(), ref.data(), ref.size(), &maxLsb);
    EXPECT_GE(psnr, 96.0) << name;
    EXPECT_LE(maxLsb, 2.0) << name;
}

class Mp3Iso : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (!HaveVectors()) GTEST_SKIP() << "test vectors not found at " << VectorsDir();
    }
};

TEST_P(Mp3Iso, DecoderMatchesReference) {
    const std::string name = GetParam();
    const SDecoded d = DecodeMemory(ReadFile(VectorsDir() + "/mp3/iso/" + name + ".bit"));
    ASSERT_TRUE(d.bOpened);
    ExpectMatches(name, d.pcm, d.nChannels);
}

// The tool is what reviewers compare with other decoders: its float output
// must meet the same bar.
TEST_P(Mp3Iso, ToolMatchesReference) {
    const std::string tool = std::string(QVN_BINARY_DIR) + "/tools/mp3dec/mp3dec";
    ASSERT_TRUE(std::filesystem::exists(tool)) << "mp3dec not built (the test depends on it)";
    const std::string name = GetParam();
    const std::string wav = (std::filesystem::temp_directory_path() / ("qvn_mp3dec_" + name + ".wav")).string();
    const std::string cmd =
        tool + " " + VectorsDir() + "/mp3/iso/" + name + ".bit " + wav + " --float > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::vector<uint8_t> bytes = ReadFile(wav);
    std::remove(wav.c_str());
    ASSERT_GT(bytes.size(), 44u);
    ASSERT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    const int channels = bytes[22];
    EXPECT_EQ(bytes[20], 3);  // IEEE float
    std::vector<float> pcm((bytes.size() - 44) / 4);
    std::memcpy(pcm.data(), bytes.data() + 44, pcm.size() * 4);
    ExpectMatches(name, pcm, channels);
}

INSTANTIATE_TEST_SUITE_P(Streams, Mp3Iso, ::testing::ValuesIn(kIsoStreams),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

}  // namespace
