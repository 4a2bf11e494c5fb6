// The mp3dec tool as a user meets it: help and version, usage errors, what it
// says about files it cannot decode, and the WAV file it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_mp3_support.h"

using namespace mp3test;

namespace {

namespace fs = std::filesystem;

// CTest runs the cases of this file in parallel processes: every temporary
// file carries the process id.
fs::path TempFile(const std::string& stem) {
    return fs::temp_directory_path() / ("qvn_mp3dec_" + std::to_string(getpid()) + "_" + stem);
}

struct SRun {
    int nExit = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

SRun RunTool(const std::string& args) {
    const std::string tool = std::string(QVN_BINARY_DIR) + "/tools/mp3dec/mp3dec";
    const fs::path out = TempFile("stdout.txt"), err = TempFile("stderr.txt");
    const std::string cmd = tool + " " + args + " > " + out.string() + " 2> " + err.string();
    const int status = std::system(cmd.c_str());
    SRun r;
    r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

class Mp3decTool : public ::testing::Test {
protected:
    void SetUp() override {
        // The test program depends on the tool: a missing one is a fault.
        ASSERT_TRUE(fs::exists(std::string(QVN_BINARY_DIR) + "/tools/mp3dec/mp3dec")) << "mp3dec not built";
    }
    const std::string m_seeds = std::string(QVN_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_mp3/";
    const fs::path m_wav = TempFile("out.wav");
    void TearDown() override { fs::remove(m_wav); }
};

TEST_F(Mp3decTool, HelpAndVersionGoToStandardOutput) {
    SRun r = RunTool("--help");
    EXPECT_EQ(r.nExit, 0);
    EXPECT_NE(r.out.find("usage: mp3dec"), std::string::npos);
    EXPECT_TRUE(r.err.empty()) << r.err;
    r = RunTool("IN.mp3 --version");
    EXPECT_EQ(r.nExit, 0);
    EXPECT_NE(r.out.find(QVN_VERSION), std::string::npos) << r.out;
}

TEST_F(Mp3decTool, UsageErrorsExitWithTwo) {
    for (const char* args : {"", "only_one.mp3", "a.mp3 b.wav c.wav", "a.mp3 b.wav --frobnicate"}) {
        const SRun r = RunTool(args);
        EXPECT_EQ(r.nExit, 2) << args;
        EXPECT_NE(r.err.find("usage: mp3dec"), std::string::npos) << args;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    EXPECT_NE(RunTool("a.mp3 b.wav --frobnicate").err.find("--frobnicate"), std::string::npos);
}

TEST_F(Mp3decTool, FilesItCannotDecodeAreNamedWithTheReason) {
    const std::string missing = "/nonexistent/qvn/track.mp3";
    SRun r = RunTool(missing + " " + m_wav.string());
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("cannot open " + missing), std::string::npos) << r.err;

    const fs::path junk = TempFile("junk.mp3");
    {
        std::ofstream f(junk, std::ios::binary);
        for (int i = 0; i < 4000; ++i) f.put(static_cast<char>((i * 7919) >> 3));
    }
    r = RunTool(junk.string() + " " + m_wav.string());
    fs::remove(junk);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("not an MPEG audio file: " + junk.string()), std::string::npos) << r.err;

    const std::string mpeg2 = m_seeds + "mpeg2_mono.mp3";
    r = RunTool(mpeg2 + " " + m_wav.string());
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("MPEG-2 is not supported: " + mpeg2), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_wav));

    if (HaveVectors()) {
        const std::string layer2 = VectorsDir() + "/mp3/reject/l2-fl10.bit";
        r = RunTool(layer2 + " " + m_wav.string());
        EXPECT_EQ(r.nExit, 1);
        EXPECT_NE(r.err.find("Layer II is not supported: " + layer2), std::string::npos) << r.err;
    }

    r = RunTool(m_seeds + "mono32k_32kbps.mp3 /nonexistent/qvn/out.wav");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("cannot create /nonexistent/qvn/out.wav"), std::string::npos) << r.err;
}

// The header is written before the samples and patched at the end: its
// sizes must describe the file, and the samples must be the decoder's. The
// long stream's output spans several of the tool's write blocks.
TEST_F(Mp3decTool, WavHeaderSizesAndSamplesMatchTheDecoder) {
    const std::string longStream = TempFile("long.mp3").string();
    {
        const std::vector<uint8_t> one = ReadFile(m_seeds + "stereo48k_crc.mp3");
        std::ofstream f(longStream, std::ios::binary);
        for (int i = 0; i < 12; ++i) f.write(reinterpret_cast<const char*>(one.data()), one.size());
    }
    for (const std::string& name : {m_seeds + "mono32k_32kbps.mp3", longStream}) {
        const SDecoded d = DecodeMemory(ReadFile(name));
        ASSERT_TRUE(d.bOpened);
        for (bool isFloat : {false, true}) {
            const SRun r = RunTool(name + " " + m_wav.string() + (isFloat ? " --float" : ""));
            ASSERT_EQ(r.nExit, 0) << r.err;
            const std::vector<uint8_t> b = ReadFile(m_wav.string());
            ASSERT_GE(b.size(), 44u);
            const int bytesPerSample = isFloat ? 4 : 2;
            EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
            EXPECT_EQ(Le32(b, 4), b.size() - 8);
            EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
            EXPECT_EQ(b[20], isFloat ? 3 : 1);
            EXPECT_EQ(b[22], d.nChannels);
            EXPECT_EQ(Le32(b, 24), static_cast<uint32_t>(d.nSampleRate));
            EXPECT_EQ(Le32(b, 28), static_cast<uint32_t>(d.nSampleRate * d.nChannels * bytesPerSample));
            EXPECT_EQ(b[34], bytesPerSample * 8);
            EXPECT_EQ(std::memcmp(b.data() + 36, "data", 4), 0);
            ASSERT_EQ(Le32(b, 40), b.size() - 44);
            ASSERT_EQ(b.size() - 44, d.pcm.size() * bytesPerSample) << name;
            for (size_t i = 0; i < d.pcm.size(); ++i) {
                if (isFloat) {
                    float v;
                    std::memcpy(&v, b.data() + 44 + 4 * i, 4);
                    ASSERT_EQ(v, d.pcm[i]) << name << " sample " << i;
                } else {
                    const int16_t v = static_cast<int16_t>(b[44 + 2 * i] | (b[45 + 2 * i] << 8));
                    const float want = std::fmin(std::fmax(std::nearbyint(d.pcm[i] * 32767.0f), -32768.0f), 32767.0f);
                    ASSERT_EQ(v, static_cast<int16_t>(want)) << name << " sample " << i;
                }
            }
        }
    }
    fs::remove(longStream);
}

}  // namespace
