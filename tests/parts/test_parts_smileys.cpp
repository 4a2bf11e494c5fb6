// The smileys part at the times its timeline gives, at 60 and 15 frames per
// second: the opening white, the two beat flashes, the black-out that leaves
// the scene alone.
#include <gtest/gtest.h>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

const int kShots[] = {
    WantShot(1, 101900), WantShot(1, 102000), WantShot(1, 102300), WantShot(1, 103900), WantShot(1, 104000),
    WantShot(1, 104300),
    WantShot(1, 106900), WantShot(1, 107300), WantShot(1, 108400),
};

class Smileys : public testing::TestWithParam<int> {};

TEST_P(Smileys, OpensOnWhite) {
    const SRun& run = parts_test::FirstHalf(GetParam());
    auto first = run.firstFrames.find("qvn_cPartSmileys");
    ASSERT_NE(first, run.firstFrames.end());
    EXPECT_GT(Mean(first->second), 245.0);
}

// Mean blue level in the middle of the screen, where the flash picture has
// its white face; the smileys under it are yellow and orange.
double MiddleBlue(const SShot& s) {
    double sum = 0.0;
    for (int y = 60; y < 180; ++y)
        for (int x = 100; x < 220; ++x) sum += B(s.at(x, y));
    return sum / (120.0 * 120.0);
}

TEST_P(Smileys, FlashesOnTheTwoBeats) {
    const int fps = GetParam();
    for (int beat : {102000, 104000}) {
        const double before = MiddleBlue(Shot(fps, 1, beat - 100));
        const double flash = MiddleBlue(Shot(fps, 1, beat));
        const double after = MiddleBlue(Shot(fps, 1, beat + 300));
        EXPECT_GT(flash, before + 40) << beat;
        // It is over within about 13 frames (60 frames per second).
        EXPECT_GT(flash, after + 25) << beat;
    }
}

TEST_P(Smileys, BlackOutLeavesTheSceneAlone) {
    const int fps = GetParam();
    const SShot& pictures = Shot(fps, 1, 106900);
    const SShot& black = Shot(fps, 1, 107300);
    EXPECT_LT(DarkShare(pictures, 8), 0.05);
    EXPECT_GT(DarkShare(black, 8), 0.6);
    // The scene is still drawn over the black, to the part's last frame.
    const SRun& run = parts_test::FirstHalf(fps);
    auto last = run.lastFrames.find("qvn_cPartSmileys");
    ASSERT_NE(last, run.lastFrames.end());
    EXPECT_GT(DarkShare(last->second, 8), 0.6);
    EXPECT_LT(DarkShare(last->second, 8), 0.99);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Smileys, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
