// The shadow part: it draws nothing before 82300 ms (the last frame shown
// stays on screen), opens white, dims on the beats and ends in black.
#include <gtest/gtest.h>

#include <algorithm>

#include "parts_Harness.h"

using namespace parts_test;

namespace {

const int kShots[] = {WantShot(2, 98900), WantShot(2, 99000), WantShot(2, 99600),
                      WantShot(2, 113900)};

class Shadow : public testing::TestWithParam<int> {};

TEST_P(Shadow, WaitsForItsStartWithoutDrawing) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const SRun::SPartSpan* shadow = run.span("qvn_cPartShadow");
    ASSERT_NE(shadow, nullptr);
    // It draws nothing before 82300 ms. The metaballs' white-out runs a few
    // frames past that time, so here the shadow takes over right after it,
    // with no frame left out in between.
    const SFrame& first = run.frames[shadow->first];
    ASSERT_GT(shadow->first, 0);
    const SFrame& before = run.frames[shadow->first - 1];
    EXPECT_GE(first.showMs, 82300);
    EXPECT_EQ(before.part, "qvn_cPartMetaballs");
    EXPECT_LE(first.showMs, std::max(82300, before.showMs) + 1000 / fps + 1);
    // The white opening starts at full strength.
    auto opening = run.firstFrames.find("qvn_cPartShadow");
    ASSERT_NE(opening, run.firstFrames.end());
    EXPECT_GT(Mean(opening->second), 250.0);
}

TEST_P(Shadow, ABeatDimsTheFrameForAMoment) {
    const int fps = GetParam();
    // At 99000 ms the black layer comes back at 0.65: about a third of the
    // picture is left, and it has recovered half a second later.
    const double before = Mean(Shot(fps, 2, 98900)), beat = Mean(Shot(fps, 2, 99000)),
                 after = Mean(Shot(fps, 2, 99600));
    ASSERT_GT(before, 20.0);
    EXPECT_LT(beat, before * 0.55);
    EXPECT_GT(after, beat * 1.5);
}

TEST_P(Shadow, EndsInBlackAfter114000) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const SRun::SPartSpan* shadow = run.span("qvn_cPartShadow");
    ASSERT_NE(shadow, nullptr);
    EXPECT_GT(Mean(Shot(fps, 2, 113900)), 20.0);
    // The black layer takes about 45 frames at 60 frames per second (12 at
    // 15) to pass 1.1; the last frame shown is black.
    const int lastMs = run.frames[shadow->last].showMs;
    EXPECT_GT(lastMs, 114000);
    EXPECT_LT(lastMs, 114000 + 46 * 1000 / 60 + 2 * 1000 / fps);
    auto last = run.lastFrames.find("qvn_cPartShadow");
    ASSERT_NE(last, run.lastFrames.end());
    EXPECT_LT(Mean(last->second), 1.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Shadow, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
