// The joys part: the gel picture zooming away, the four flickering pictures
// in their time windows, and the white-out from 168000 ms.
#include <gtest/gtest.h>

#include <initializer_list>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

// Frames every 300 ms through the windows: the pictures flicker at a random
// strength each frame, so a window is judged by the mean over several frames.
int WantEvery(int fromMs, int toMs) {
    for (int t = fromMs; t <= toMs; t += 300) WantShot(2, t);
    return 0;
}
const int kShots[] = {WantShot(2, 133000),      WantShot(2, 133300),      WantEvery(134100, 135900),
                      WantEvery(140100, 144900),
                      WantEvery(145100, 149900), WantEvery(153100, 154900), WantEvery(155100, 160000)};

// How much the frames kept from fromMs to toMs show the picture at (x, y),
// on average: a flickering picture shows at a random strength each frame.
double WindowCorrelation(int fps, int fromMs, int toMs, const SPicture& picture, int x, int y) {
    double sum = 0.0;
    int n = 0;
    for (int t = fromMs; t <= toMs; t += 300) {
        const SShot& s = Shot(fps, 2, t);
        if (!s.valid()) continue;
        sum += Correlation(s, picture, x, y);
        ++n;
    }
    return n ? sum / n : 0.0;
}

class Joys : public testing::TestWithParam<int> {};

TEST_P(Joys, TheGelZoomsAwayAndFades) {
    const int fps = GetParam();
    const std::vector<uint32_t> gel4 = ScreenPicture("gel4.jpg");
    ASSERT_FALSE(gel4.empty());
    // The first frame still shows the gel whole (strength 1, zoom 1) over
    // everything; a quarter of a second later it is blown up and fading.
    EXPECT_LT(Distance(Shot(fps, 2, 133000), gel4), 1.0);
    EXPECT_GT(Distance(Shot(fps, 2, 133300), gel4), 10.0);
}

TEST_P(Joys, EachPictureFlickersInItsWindow) {
    const int fps = GetParam();
    // The blur ramp of vellor3 (136000-139000) is too blurred to be told
    // from the scene this way; the storyboard shows it.
    const SPicture joys = LoadPicture("joys.jpg"), vellor2 = LoadPicture("vellor2.jpg"), nolove = LoadPicture("nolove.jpg");
    ASSERT_FALSE(joys.rgb.empty() || vellor2.rgb.empty() || nolove.rgb.empty());
    struct SWindow {
        const char* name;
        const SPicture& picture;
        int x, y;
        int inFrom, inTo;    // shown (a stretch inside its window)
        int outFrom, outTo;  // not shown
    };
    const SWindow windows[] = {
        {"vellor2", vellor2, 120, 135, 140100, 144900, 145100, 149900},
        {"nolove", nolove, 160 - nolove.width / 2, 120 - nolove.height / 2, 153100, 154900, 145100, 149900},
        {"joys", joys, 40, 110, 155100, 160000, 153100, 154900},
    };
    for (const SWindow& w : windows) {
        const double in = WindowCorrelation(fps, w.inFrom, w.inTo, w.picture, w.x, w.y),
                     out = WindowCorrelation(fps, w.outFrom, w.outTo, w.picture, w.x, w.y);
        EXPECT_GT(in, 0.15) << w.name << " in " << in << " out " << out;
        EXPECT_LT(out, in - 0.15) << w.name << " in " << in << " out " << out;
    }
}

TEST_P(Joys, WhitesOutFrom168000) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const SRun::SPartSpan* joys = run.span("qvn_cPartJoys");
    ASSERT_NE(joys, nullptr);
    // It takes over from the gel at 133000 ms without waiting.
    EXPECT_EQ(run.frames[joys->first - 1].part, "qvn_cPartGel");
    EXPECT_GE(run.frames[joys->first].showMs, 133000);
    EXPECT_LT(run.frames[joys->first].showMs, 133000 + 1000 / fps + 1);
    // About 18 frames at 60 frames per second (5 at 15) to pass 1.05; the
    // last frame shown is white.
    const int lastMs = run.frames[joys->last].showMs;
    EXPECT_GE(lastMs, 168000);
    EXPECT_LT(lastMs, 168000 + 19 * 1000 / 60 + 2 * 1000 / fps);
    auto last = run.lastFrames.find("qvn_cPartJoys");
    ASSERT_NE(last, run.lastFrames.end());
    // At 15 frames per second the last step before 1.05 is 0.96.
    EXPECT_GT(Mean(last->second), 240.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Joys, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
