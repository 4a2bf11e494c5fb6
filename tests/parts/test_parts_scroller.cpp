// The end scroller, the show's last part: a white flash at its start and the
// end of the show at 266000 ms with exit
// code 0. Also: a damaged file of the second half fails its load with the
// file named, and the program still ends cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "parts_Harness.h"

using namespace parts_test;

namespace {

// The scroller starts when the joys' white-out ends (about 168300 ms): a
// frame every 16 ms catches its first frame at either rate.
int WantGrid(int fromMs, int toMs, int stepMs) {
    for (int t = fromMs; t <= toMs; t += stepMs) WantShot(2, t);
    return 0;
}
const int kShots[] = {WantGrid(168000, 168800, 16), WantGrid(169200, 170100, 100)};

const SShot* ShotAtFrame(int fps, int showMs) {
    for (int t = 168000; t <= 168800; t += 16)
        if (Shot(fps, 2, t).showMs == showMs) return &Shot(fps, 2, t);
    return nullptr;
}

double BandMean(int fps, int fromMs, int toMs, int y0, int y1) {
    double sum = 0.0;
    int n = 0;
    for (int t = fromMs; t <= toMs; t += 100)
        if (Shot(fps, 2, t).valid()) {
            sum += Mean(Shot(fps, 2, t), 0, y0, 320, y1);
            ++n;
        }
    return n ? sum / n : -1.0;
}

class Scroller : public testing::TestWithParam<int> {};

TEST_P(Scroller, OpensWithAWhiteFlash) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const SRun::SPartSpan* scroller = run.span("qvn_cPartScroller");
    ASSERT_NE(scroller, nullptr);
    const SShot* first = ShotAtFrame(fps, run.frames[scroller->first].showMs);
    ASSERT_NE(first, nullptr) << run.frames[scroller->first].showMs;
    EXPECT_GT(Mean(*first), 250.0);
    // The flash is over within about 40 frames at 60 frames per second.
    EXPECT_LT(BandMean(fps, 169200, 170100, 0, 240), 200.0);
}

TEST_P(Scroller, TheShowEndsAt266000WithExitCode0) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_FALSE(run.frames.empty());
    const SFrame& last = run.frames.back();
    EXPECT_EQ(last.part, "qvn_cPartScroller");
    EXPECT_EQ(last.phase, 2);
    EXPECT_LT(last.showMs, 266000);
    EXPECT_GE(last.showMs, 266000 - 1000 / fps - 1);
    // frames.txt ends with that frame: nothing is drawn after the show.
    const size_t lastLine = run.framesTxt.rfind('\n', run.framesTxt.size() - 2);
    ASSERT_NE(lastLine, std::string::npos);
    const std::string tail = run.framesTxt.substr(lastLine + 1);
    EXPECT_NE(tail.find(" " + std::to_string(last.showMs) + " "), std::string::npos) << tail;
    EXPECT_NE(tail.find("qvn_cPartScroller"), std::string::npos) << tail;
}

INSTANTIATE_TEST_SUITE_P(AtFps, Scroller, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

// A damaged BMP of the last part: the second half does not play, the log
// names the file and the program still ends with 0. The first track is
// removed so the run goes straight to the second half.
TEST(ScrollerLoad, ADamagedPictureSkipsTheSecondHalfWithTheFileNamed) {
    const std::string dir = DataCopy("damaged_vodoo");
    std::filesystem::remove(dir + "/fantom.mp3");
    {
        std::FILE* f = std::fopen((dir + "/vodoo.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("BM not a picture", f);
        std::fclose(f);
    }
    const SRun run = RunProgram(dir, 60, -1);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.log.find("qvn_cPartScroller::load() : Can't load picture <datas/vodoo.bmp>."), std::string::npos)
        << run.log;
    EXPECT_NE(run.log.find("the part qvn_cPartScroller failed to load"), std::string::npos) << run.log;
    EXPECT_NE(run.framesTxt.find("# message box [Error] Error while loading"), std::string::npos);
    for (const SFrame& f : run.frames) EXPECT_EQ(f.phase, 0);
    EXPECT_NE(run.span("qvn_cInterlude"), nullptr);
}

}  // namespace
