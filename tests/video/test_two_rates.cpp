// Two tracks at different sampling rates: audio.wav and the video keep the
// first track's rate, and the second track is heard at its own speed and
// pitch, in step with the show.
#include <gtest/gtest.h>

#include <lame/lame.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "video_Decode.h"

namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

// `seconds` of a stereo sine at `hz` as an MPEG-1 Layer III stream at `rate`
// (32, 44.1 and 48 kHz are the MPEG-1 rates), starting with 200 ms of silence
// so that where the sound begins can be found.
std::vector<unsigned char> EncodeTone(int rate, double hz, double seconds) {
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 192);
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return {};
    }
    const size_t n = static_cast<size_t>(seconds * rate);
    const size_t lead = static_cast<size_t>(rate / 5);
    std::vector<short> left(n), right(n);
    for (size_t i = lead; i < n; ++i) left[i] = right[i] = static_cast<short>(12000 * std::sin(2 * kPi * hz * i / rate));
    std::vector<unsigned char> out(n * 2 + 65536);
    int bytes = lame_encode_buffer(lame, left.data(), right.data(), static_cast<int>(n), out.data(),
                                   static_cast<int>(out.size()));
    if (bytes >= 0) bytes += lame_encode_flush(lame, out.data() + bytes, static_cast<int>(out.size()) - bytes);
    lame_close(lame);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    return out;
}

// The default data set with both tracks replaced by tones.
fs::path DatasWithTracks(const std::string& name, int rate1, int rate2) {
    const fs::path dir = fs::path(testing::TempDir()) / name;
    fs::remove_all(dir);
    fs::create_directories(dir / "datas");
    for (const auto& e : fs::directory_iterator(QVN_VIDEO_DATAS))
        if (e.path().extension() != ".mp3") fs::create_symlink(e.path(), dir / "datas" / e.path().filename());
    const std::vector<unsigned char> first = EncodeTone(rate1, 440.0, 4.0);
    const std::vector<unsigned char> second = EncodeTone(rate2, 1000.0, 8.0);
    std::ofstream(dir / "datas" / "fantom.mp3", std::ios::binary)
        .write(reinterpret_cast<const char*>(first.data()), static_cast<std::streamsize>(first.size()));
    std::ofstream(dir / "datas" / "tarnelle.mp3", std::ios::binary)
        .write(reinterpret_cast<const char*>(second.data()), static_cast<std::streamsize>(second.size()));
    return dir;
}

// The tone's frequency over [from, to) seconds of one channel, from the
// count of rising zero crossings and where the first and last fall.
double ToneHz(const std::vector<int16_t>& stereo, int rate, double from, double to) {
    const size_t a = static_cast<size_t>(from * rate), b = static_cast<size_t>(to * rate);
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = a + 1; i < b && 2 * i < stereo.size(); ++i) {
        const int prev = stereo[2 * (i - 1)], cur = stereo[2 * i];
        if (prev < 0 && cur >= 0) {
            const double at = (i - 1) + static_cast<double>(-prev) / (cur - prev);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

// Where the sound starts, in ms of the file.
double OnsetMs(const std::vector<int16_t>& stereo, int rate) {
    for (size_t i = 0; i < stereo.size(); ++i)
        if (std::abs(stereo[i]) > 3000) return (i / 2) * 1000.0 / rate;
    return -1;
}

struct SRun {
    int fileRate = 0;
    std::vector<int16_t> wav;
    SDecodedVideo video;
};

// The second half from its start, 3 s of it, with its video.
SRun PlayHalf2(int rate1, int rate2) {
    const std::string name = "qvn_rates_" + std::to_string(rate1) + "_" + std::to_string(rate2);
    const fs::path dir = DatasWithTracks(name, rate1, rate2);
    const std::string cmd = "cd '" + dir.string() +
                            "' && '" QVN_DEMO_SW "' --capture cap --frames none --start half2 --quit-at 3000 "
                            "--video show.mkv > out.txt 2>&1";
    SRun run;
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
    run.wav = ReadWav((dir / "cap" / "audio.wav").string(), &run.fileRate);
    run.video = DecodeVideo((dir / "show.mkv").string());
    return run;
}

// The largest step between two samples of the left channel from `fromMs`
// on, against the steepest a 1 kHz tone of the test's level has: a gap or a
// jump where the converter's chunks meet shows as a far larger step.
double WorstStepOverSlope(const std::vector<int16_t>& wav, int rate, double fromMs) {
    const double steepest = 12000 * 2 * kPi * 1000.0 / rate;
    int worst = 0;
    for (size_t i = static_cast<size_t>(fromMs / 1000.0 * rate) + 1; i < wav.size() / 2; ++i)
        worst = std::max(worst, std::abs(wav[2 * i] - wav[2 * (i - 1)]));
    return worst / steepest;
}

struct SPair {
    int first, second;
};

class TwoRates : public ::testing::TestWithParam<SPair> {};

TEST_P(TwoRates, TheSecondTrackKeepsItsPitchAndItsPlaceInAudioWavAndTheVideo) {
    const SPair p = GetParam();
    // Both tracks at the second one's rate are the reference for where the
    // sound starts (the encoder's delay is a number of samples, so its length
    // in ms depends on the rate).
    const SRun same = PlayHalf2(p.second, p.second);
    ASSERT_EQ(same.fileRate, p.second);
    const double sameOnset = OnsetMs(same.wav, same.fileRate);
    ASSERT_GT(sameOnset, 0);
    EXPECT_NEAR(ToneHz(same.wav, same.fileRate, 1.0, 2.5), 1000.0, 1.0);

    const SRun run = PlayHalf2(p.first, p.second);
    // The file keeps the first track's rate and the capture's length.
    ASSERT_EQ(run.fileRate, p.first);
    EXPECT_NEAR(run.wav.size() / 2.0 / p.first, same.wav.size() / 2.0 / same.fileRate, 0.002);
    // Played at the wrong rate the tone would be 1000 x first / second Hz.
    EXPECT_NEAR(ToneHz(run.wav, run.fileRate, 1.0, 2.5), 1000.0, 1.0);
    // Heard where a single-rate show has it: the filter's delay and the
    // queue's lead are below 2 ms.
    EXPECT_NEAR(OnsetMs(run.wav, run.fileRate), sameOnset, 2.0);
    // No click: from just after the onset on, no step between two samples
    // is steeper than the tone itself allows, with room for the filter.
    EXPECT_LT(WorstStepOverSlope(run.wav, run.fileRate, sameOnset + 50), 1.2);
    // The video's sound is audio.wav's, sample for sample.
    ASSERT_TRUE(run.video.ok) << run.video.error;
    EXPECT_EQ(run.video.sampleRate, p.first);
    ASSERT_EQ(run.video.audio.size(), run.wav.size());
    size_t first = 0;
    while (first < run.wav.size() && run.video.audio[first] == run.wav[first]) ++first;
    EXPECT_EQ(first, run.wav.size()) << "the sound differs first at value " << first;
}

INSTANTIATE_TEST_SUITE_P(Pairs, TwoRates, ::testing::Values(SPair{44100, 48000}, SPair{48000, 32000}, SPair{32000, 44100}),
                         [](const ::testing::TestParamInfo<SPair>& info) {
                             return std::to_string(info.param.first) + "_then_" + std::to_string(info.param.second);
                         });

// The i686 Windows program's capture converts with the system's converter:
// the same tone, at the same place, as the Linux program's.
TEST(TwoRatesWindows, TheShowsOwnTargetConvertsTheSecondTrackToo) {
    if (!fs::exists(QVN_WIN32_EXE)) GTEST_SKIP() << "no Windows build at " QVN_WIN32_EXE;
    const fs::path dir = DatasWithTracks("qvn_rates_win32", 44100, 48000);
    fs::copy_file(QVN_WIN32_EXE, dir / "demo_sw.exe");
    const std::string cmd = "cd '" + dir.string() + "' && QVN_WINE_BITS=32 '" QVN_WINE_RUN "' '" +
                            (fs::path(testing::TempDir()) / "qvn_rates_wine").string() +
                            "' demo_sw.exe --capture cap --frames none --start half2 --quit-at 3000 > out.txt 2>&1";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no 32-bit Wine to run it on";
    ASSERT_EQ(WEXITSTATUS(status), 0) << cmd;
    int rate = 0;
    const std::vector<int16_t> wav = ReadWav((dir / "cap" / "audio.wav").string(), &rate);
    ASSERT_EQ(rate, 44100);
    const SRun linux = PlayHalf2(44100, 48000);
    ASSERT_EQ(linux.fileRate, 44100);
    EXPECT_NEAR(wav.size() / 2.0 / rate, linux.wav.size() / 2.0 / linux.fileRate, 0.002);
    EXPECT_NEAR(ToneHz(wav, rate, 1.0, 2.5), 1000.0, 1.0);
    const double onset = OnsetMs(linux.wav, linux.fileRate);
    EXPECT_NEAR(OnsetMs(wav, rate), onset, 2.0);
    // The system's converter picks the nearest sample rather than filtering
    // (so a step may be up to twice the tone's steepest), but it leaves no
    // gap and no jump where its calls meet: every 5 ms of the tone carries
    // the same power.
    EXPECT_LT(WorstStepOverSlope(wav, rate, onset + 50), 2.05);
    const size_t window = static_cast<size_t>(rate / 200);
    const size_t from = static_cast<size_t>((onset + 50) / 1000.0 * rate);
    double lowest = 1e300, highest = 0;
    for (size_t w = from; w + window <= wav.size() / 2; w += window) {
        double sum = 0;
        for (size_t i = w; i < w + window; ++i) sum += static_cast<double>(wav[2 * i]) * wav[2 * i];
        const double rms = std::sqrt(sum / window);
        lowest = std::min(lowest, rms);
        highest = std::max(highest, rms);
    }
    // The tone's own power, 12000 / sqrt(2), give or take its encoding.
    EXPECT_GT(lowest, 0.9 * 12000 / std::sqrt(2.0));
    EXPECT_LT(highest, 1.1 * 12000 / std::sqrt(2.0));
}

}  // namespace
