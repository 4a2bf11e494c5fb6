// The live programs on SDL's dummy video and sound drivers: paced to the
// refresh rates displays have today, --stats counts the refreshes missed and
// measures how far picture and sound are apart against the sound buffer the
// run asked for. Live runs share the machine with other tests, so the
// figures are held to what a busy machine still gives, not to the best.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A live run of the titles from 1 s to 3 s of the show; its statistics.
std::string RunLive(const std::string& name, const std::string& args) {
    const fs::path dir = fs::path(testing::TempDir()) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cmd = "cd '" + dir.string() + "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" QVN_DEMO_SW
                            "' --datas '" QVN_PRESENT_DATAS "' --window --stats --start 0:01 --stop 0:03 " + args +
                            " > out.txt 2>&1";
    const int status = std::system(cmd.c_str());
    const std::string out = ReadText(dir / "out.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    return out;
}

struct SFigures {
    int frames = -1, missed = -1, hz = -1;
    double avMedian = 0, avP99 = 0;
    int bufferFrames = -1;
    double bufferMs = 0, latencyMs = 0;
};

SFigures Parse(const std::string& out) {
    SFigures f;
    const size_t total = out.find("total: ");
    if (total != std::string::npos)
        std::sscanf(out.c_str() + total, "total: %d frames, %d refreshes missed (%d Hz)", &f.frames, &f.missed, &f.hz);
    const size_t av = out.find("picture to sound: ");
    if (av != std::string::npos)
        std::sscanf(out.c_str() + av, "picture to sound: median %lf ms, 99th percentile %lf ms", &f.avMedian, &f.avP99);
    const size_t sound = out.find("sound: a buffer of ");
    if (sound != std::string::npos)
        std::sscanf(out.c_str() + sound, "sound: a buffer of %d sample frames (%lf ms) at %*d Hz, asked for every %*f ms, "
                    "output latency %lf ms", &f.bufferFrames, &f.bufferMs, &f.latencyMs);
    return f;
}

TEST(Presentation, EveryRateIsKeptAndItsMissedRefreshesAreCounted) {
    for (int hz : {50, 60, 75, 120, 144}) {
        const std::string out = RunLive("qvn_present_" + std::to_string(hz), "--refresh " + std::to_string(hz));
        const SFigures f = Parse(out);
        ASSERT_EQ(f.hz, hz) << out;
        // Two seconds of show: a frame or a missed refresh for each refresh
        // (a stall of the whole machine is a pause, counted as neither).
        const int refreshes = f.frames + f.missed;
        EXPECT_GT(refreshes, 2 * hz * 70 / 100) << out;
        EXPECT_LT(refreshes, 2 * hz * 110 / 100) << out;
        // Not faster than the rate (a frame per refresh at most, but for
        // the few before the dummy's present is found not to wait) ...
        EXPECT_LE(f.frames, 2 * hz + 12) << out;
        // ... and on a machine not asked for more than it has, most on time.
        EXPECT_LE(f.missed, f.frames / 5) << out;
        EXPECT_NE(out.find("qvn_cPartTitles"), std::string::npos) << out;
    }
}

// What is heard lags the picture by the card's buffer (and by up to one more
// while the first request comes); the picture itself reaches the screen up
// to a refresh after its show time. The device's dummy clock runs a little
// fast (whole milliseconds per buffer), which the bounds allow for.
TEST(Presentation, PictureToSoundFollowsTheBufferItAskedFor) {
    SFigures small, large;
    for (int ms : {20, 90}) {
        const std::string out = RunLive("qvn_present_av" + std::to_string(ms), "--refresh 60 --audio-buffer " + std::to_string(ms));
        const SFigures f = Parse(out);
        ASSERT_GT(f.bufferFrames, 0) << out;
        // The nearest power of two of sample frames at 44.1 kHz.
        EXPECT_EQ(f.bufferFrames, ms == 20 ? 1024 : 4096) << out;
        EXPECT_NEAR(f.bufferMs, f.bufferFrames * 1000.0 / 44100.0, 0.1) << out;
        EXPECT_GE(f.latencyMs, f.bufferMs - 0.1) << out;
        EXPECT_LT(f.latencyMs, f.bufferMs * 1.5) << out;
        EXPECT_LT(f.avMedian, 1000.0 / 60 + 0.02 * 2000 + 5) << out;
        EXPECT_GT(f.avMedian, -2.0 * f.bufferMs - 5) << out;
        (ms == 20 ? small : large) = f;
    }
    // Four times the buffer: the sound is that much further behind.
    EXPECT_LT(large.avMedian, small.avMedian - 30.0);
}

}  // namespace
