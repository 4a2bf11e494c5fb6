// The video export read back with the FFmpeg libraries, against the same
// run's PNG frames, frames.txt and audio.wav; and --stop.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qvn_PictureFilter.h"
#include "video_Decode.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs demo_sw on the default data set in a fresh folder; its exit code.
int RunDemo(const fs::path& dir, const std::string& args, std::string* output = nullptr) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' --datas '" QVN_VIDEO_DATAS "' " + args +
                            " > out.txt 2>&1";
    const int status = std::system(cmd.c_str());
    if (output) *output = ReadText(dir / "out.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path Folder(const char* name) { return fs::path(testing::TempDir()) / name; }

std::string PngName(uint32_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06u.png", frame);
    return name;
}

// Each decoded frame is its PNG scaled up by n, exactly.
void ExpectFramesArePngs(const SDecodedVideo& video, const fs::path& cap, int n) {
    for (size_t k = 0; k < video.frames.size(); ++k) {
        int w = 0, h = 0;
        const std::vector<uint32_t> png = ReadPng((cap / PngName(static_cast<uint32_t>(k))).string(), &w, &h);
        ASSERT_FALSE(png.empty()) << "frame " << k;
        const std::vector<uint32_t> expected = ScaleUp(png, w, h, n);
        ASSERT_EQ(video.frames[k].size(), expected.size());
        size_t first = 0;
        while (first < expected.size() && video.frames[k][first] == expected[first]) ++first;
        ASSERT_EQ(first, expected.size()) << "frame " << k << " differs first at pixel " << first;
    }
}

double Psnr(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = static_cast<double>((a[i] >> shift) & 0xFF) - static_cast<double>((b[i] >> shift) & 0xFF);
            sum += d * d;
        }
    const double mse = sum / (a.size() * 3.0);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The frame's pixels back in 5-6-5, and the CRC capture mode logs for it.
uint32_t Crc565(const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> bytes;
    bytes.reserve(pixels.size() * 2);
    for (uint32_t p : pixels) {
        const uint16_t v = static_cast<uint16_t>(((p >> 19) & 0x1F) << 11 | ((p >> 10) & 0x3F) << 5 | ((p >> 3) & 0x1F));
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

TEST(VideoExport, MkvFramesAreThePngsScaledAndItsSoundIsAudioWav) {
    const fs::path dir = Folder("qvn_video_mkv");
    ASSERT_EQ(RunDemo(dir, "--capture cap --start 1:10 --quit-at 2000 --fps 30 --video v.mkv --video-scale 2"), 0)
        << ReadText(dir / "out.txt");
    const SDecodedVideo video = DecodeVideo((dir / "v.mkv").string());
    ASSERT_TRUE(video.ok) << video.error;
    EXPECT_EQ(video.videoCodec, "ffv1");
    EXPECT_EQ(video.audioCodec, "flac");
    EXPECT_EQ(video.width, 640);
    EXPECT_EQ(video.height, 480);
    // One video frame per line of frames.txt, at that line's run time.
    const std::vector<SFrameLine> lines = ReadFramesTxt((dir / "cap" / "frames.txt").string());
    ASSERT_EQ(video.frames.size(), lines.size());
    ASSERT_EQ(lines.size(), 60u);
    // (The file's clock counts whole milliseconds, rounded; virtual_ms is cut.)
    for (size_t k = 0; k < lines.size(); ++k)
        EXPECT_NEAR(video.frameSeconds[k] * 1000.0, lines[k].virtualMs, 1.001) << "frame " << k;
    ExpectFramesArePngs(video, dir / "cap", 2);
    // The sound is audio.wav's, sample for sample, from the same start and
    // to the same end.
    int rate = 0;
    const std::vector<int16_t> wav = ReadWav((dir / "cap" / "audio.wav").string(), &rate);
    EXPECT_EQ(video.sampleRate, rate);
    EXPECT_EQ(video.audioStartSample, 0);
    ASSERT_EQ(video.audio.size(), wav.size());
    EXPECT_EQ(wav.size(), static_cast<size_t>(rate) * 2 * 2);  // two seconds of stereo
    size_t first = 0;
    while (first < wav.size() && video.audio[first] == wav[first]) ++first;
    EXPECT_EQ(first, wav.size()) << "the sound differs first at value " << first;
}

// With --filter the video has the look a screen of its size shows: each
// frame is its PNG through the filter, exactly (the file is lossless).
TEST(VideoExport, FilterGivesTheVideoItsLook) {
    const fs::path dir = Folder("qvn_video_filter");
    ASSERT_EQ(RunDemo(dir, "--capture cap --start 1:10 --quit-at 250 --fps 30 --video v.mkv --video-scale 3 "
                           "--filter crt"),
              0)
        << ReadText(dir / "out.txt");
    const SDecodedVideo video = DecodeVideo((dir / "v.mkv").string());
    ASSERT_TRUE(video.ok) << video.error;
    ASSERT_EQ(video.width, 960);
    ASSERT_EQ(video.height, 720);
    ASSERT_FALSE(video.frames.empty());
    for (size_t k = 0; k < video.frames.size(); ++k) {
        int w = 0, h = 0;
        const std::vector<uint32_t> png = ReadPng((dir / "cap" / PngName(static_cast<uint32_t>(k))).string(), &w, &h);
        ASSERT_EQ(w, 320);
        std::vector<uint16_t> frame(png.size());
        for (size_t i = 0; i < png.size(); ++i) {
            const uint32_t p = png[i];
            frame[i] = static_cast<uint16_t>(((p >> 19) & 0x1F) << 11 | ((p >> 10) & 0x3F) << 5 | ((p >> 3) & 0x1F));
        }
        std::vector<uint32_t> want(960 * 720);
        qvn_FilterPicture(qvn_eFilter::kCrt, frame.data(), 320, 240, 320, 960, 720,
                          qvn_FilterRect(qvn_eFilter::kCrt, 960, 720, 320, 240), want.data());
        ASSERT_EQ(video.frames[k].size(), want.size());
        size_t first = 0;
        while (first < want.size() && (video.frames[k][first] & 0xFFFFFF) == want[first]) ++first;
        ASSERT_EQ(first, want.size()) << "frame " << k << " differs first at pixel " << first;
    }
}

TEST(VideoExport, Mp4HasEveryFrameCloseToItsPngAndTheSoundInStep) {
    const fs::path dir = Folder("qvn_video_mp4");
    ASSERT_EQ(RunDemo(dir, "--capture cap --start 1:10 --quit-at 2000 --fps 30 --video v.mp4 --video-scale 2"), 0)
        << ReadText(dir / "out.txt");
    const SDecodedVideo video = DecodeVideo((dir / "v.mp4").string());
    ASSERT_TRUE(video.ok) << video.error;
    EXPECT_EQ(video.videoCodec, "h264");
    EXPECT_EQ(video.audioCodec, "aac");
    EXPECT_EQ(video.width, 640);
    EXPECT_EQ(video.height, 480);
    EXPECT_EQ(video.rateNum, 30 * video.rateDen);
    ASSERT_EQ(video.frames.size(), ReadFramesTxt((dir / "cap" / "frames.txt").string()).size());
    // The first frame at 0 s: the encoder's frame delay is not a shift.
    ASSERT_FALSE(video.frameSeconds.empty());
    EXPECT_NEAR(video.frameSeconds[0], 0.0, 1e-6);
    double worst = 99.0, sum = 0;
    for (size_t k = 0; k < video.frames.size(); ++k) {
        int w = 0, h = 0;
        const std::vector<uint32_t> png = ReadPng((dir / "cap" / PngName(static_cast<uint32_t>(k))).string(), &w, &h);
        ASSERT_FALSE(png.empty());
        const double psnr = Psnr(video.frames[k], ScaleUp(png, w, h, 2));
        worst = std::min(worst, psnr);
        sum += psnr;
    }
    // Measured: 39.5 dB on average, 44 dB on still frames, 30 dB at worst
    // on the noisy frames of this span. A wrong colour matrix or a frame
    // out of place falls far below.
    EXPECT_GE(sum / video.frames.size(), 37.0);
    EXPECT_GE(worst, 27.0);
    int rate = 0;
    const std::vector<int16_t> wav = ReadWav((dir / "cap" / "audio.wav").string(), &rate);
    ASSERT_EQ(video.sampleRate, rate);
    // Placed by its timestamps (the encoder's delay before sample 0), the
    // sound lines up with audio.wav: the best match is at no offset.
    const int64_t start = video.audioStartSample;
    const int64_t decodedSamples = static_cast<int64_t>(video.audio.size() / 2);
    EXPECT_NEAR(static_cast<double>(decodedSamples + start), static_cast<double>(wav.size() / 2), 1024.0);
    int bestOffset = 0;
    double best = -1e300;
    for (int offset = -600; offset <= 600; ++offset) {
        double sum = 0;
        for (int64_t i = 8000; i < 60000; i += 3) {
            const int64_t j = i - start + offset;  // index in the decoded samples
            if (j < 0 || j >= decodedSamples) continue;
            sum += static_cast<double>(video.audio[2 * j]) * wav[2 * i];
        }
        if (sum > best) {
            best = sum;
            bestOffset = offset;
        }
    }
    EXPECT_EQ(bestOffset, 0);
}

// Starts demo_sw as a child, lets it make some frames, sends SIGINT.
int RunInterrupted(const fs::path& dir, const std::string& video, std::string* output) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string datas = QVN_VIDEO_DATAS, cap = (dir / "cap").string(), file = (dir / video).string();
    const std::string out = (dir / "out.txt").string();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "w", stderr)) _exit(126);
        execl(QVN_DEMO_SW, QVN_DEMO_SW, "--datas", datas.c_str(), "--capture", cap.c_str(), "--fps", "30", "--video",
              file.c_str(), "--video-scale", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Past the first key frame and fragment of the .mp4 (two seconds).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline &&
           ReadFramesTxt((dir / "cap" / "frames.txt").string()).size() < 150)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    *output = ReadText(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VideoExport, CtrlCLeavesAFileThatPlaysUpToTheLastFrame) {
    for (const char* name : {"v.mkv", "v.mp4"}) {
        SCOPED_TRACE(name);
        const fs::path dir = Folder("qvn_video_interrupted");
        std::string output;
        // The signal ends the show as Escape does: a normal exit.
        ASSERT_EQ(RunInterrupted(dir, name, &output), 0) << output;
        const std::vector<SFrameLine> lines = ReadFramesTxt((dir / "cap" / "frames.txt").string());
        // Well before the show's end (about 13000 frames at 30 per second).
        ASSERT_GE(lines.size(), 150u);
        ASSERT_LT(lines.size(), 12000u);
        const SDecodedVideo video = DecodeVideo((dir / name).string());
        ASSERT_TRUE(video.ok) << video.error;
        EXPECT_EQ(video.frames.size(), lines.size());
        EXPECT_FALSE(video.audio.empty());
        if (std::string(name) == "v.mkv") ExpectFramesArePngs(video, dir / "cap", 1);
    }
}

TEST(VideoExport, StopAtAPartEndsBeforeItsFirstFrame) {
    // The frames of tube and the travel after it, as a capture from the
    // show's start logs them.
    const fs::path straight = Folder("qvn_video_straight");
    ASSERT_EQ(RunDemo(straight, "--capture cap --fps 30 --frames none --stop glon"), 0) << ReadText(straight / "out.txt");
    const std::vector<SFrameLine> all = ReadFramesTxt((straight / "cap" / "frames.txt").string());
    std::vector<SFrameLine> span;
    for (const SFrameLine& f : all)
        if (f.part == "qvn_cPartTube" || f.part == "qvn_cPartTravel") span.push_back(f);
    ASSERT_FALSE(span.empty());
    ASSERT_EQ(all.back().part, "qvn_cPartTravel");  // nothing of glon

    const fs::path dir = Folder("qvn_video_tube");
    ASSERT_EQ(RunDemo(dir, "--capture out --start tube --stop glon --fps 30 --frames none --video tube.mkv "
                           "--video-scale 1"),
              0)
        << ReadText(dir / "out.txt");
    const std::vector<SFrameLine> run = ReadFramesTxt((dir / "out" / "frames.txt").string());
    ASSERT_EQ(run.size(), span.size());
    EXPECT_EQ(run.front().part, "qvn_cPartTube");
    EXPECT_EQ(run.back().part, "qvn_cPartTravel");
    for (size_t k = 0; k < run.size(); ++k) {
        ASSERT_EQ(run[k].crc, span[k].crc) << "frame " << k;
        ASSERT_EQ(run[k].showMs, span[k].showMs) << "frame " << k;
    }
    // The video holds those same frames.
    const SDecodedVideo video = DecodeVideo((dir / "tube.mkv").string());
    ASSERT_TRUE(video.ok) << video.error;
    ASSERT_EQ(video.frames.size(), run.size());
    for (size_t k = 0; k < run.size(); ++k) ASSERT_EQ(Crc565(video.frames[k]), run[k].crc) << "frame " << k;
    // And the sound runs to the last frame's end, not one frame more.
    int rate = 0;
    const std::vector<int16_t> wav = ReadWav((dir / "out" / "audio.wav").string(), &rate);
    const uint64_t lastPeriod = (run.back().virtualMs * 30ull + 999) / 1000;
    const uint64_t endMs = (lastPeriod + 1) * 1000ull / 30ull;
    EXPECT_EQ(wav.size() / 2, endMs * rate / 1000) << "run ends at " << endMs << " ms";
    EXPECT_EQ(video.audio.size(), wav.size());
}

TEST(VideoExport, StopAtATimeEndsBeforeTheFrameThatReachesIt) {
    const fs::path dir = Folder("qvn_video_stop_time");
    ASSERT_EQ(RunDemo(dir, "--capture cap --start 1:10 --stop 1:12.5 --fps 30 --frames none"), 0)
        << ReadText(dir / "out.txt");
    const std::vector<SFrameLine> run = ReadFramesTxt((dir / "cap" / "frames.txt").string());
    ASSERT_FALSE(run.empty());
    // In the first half the timeline is the show clock: the last frame
    // shown is the last one before 72.5 s.
    const int last = std::stoi(run.back().showMs);
    EXPECT_LT(last, 72500);
    EXPECT_GE(last, 72500 - 34);
    EXPECT_GE(std::stoi(run.front().showMs), 70000);
}

TEST(VideoExport, NoSoundGivesAVideoWithoutSound) {
    const fs::path dir = Folder("qvn_video_nosound");
    ASSERT_EQ(RunDemo(dir, "--capture cap --start 1:10 --quit-at 500 --fps 30 --frames none --nosound --video v.mkv "
                           "--video-scale 1"),
              0)
        << ReadText(dir / "out.txt");
    const SDecodedVideo video = DecodeVideo((dir / "v.mkv").string());
    ASSERT_TRUE(video.ok) << video.error;
    EXPECT_EQ(video.frames.size(), 15u);
    EXPECT_TRUE(video.audioCodec.empty());
}

}  // namespace
