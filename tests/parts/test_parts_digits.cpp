// The digits and words part at the times its timeline gives, at 60 and 15
// frames per second: the opening white, the digit column, the sliding word,
// the second white with the fading word, the rising word, and the closing
// photograph that replaces the scene for good.
#include <gtest/gtest.h>

#include <algorithm>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

const int kShots[] = {
    WantShot(1, 49300), WantShot(1, 50000), WantShot(1, 54300), WantShot(1, 56000),
    WantShot(1, 57500), WantShot(1, 57625), WantShot(1, 59000), WantShot(1, 63900), WantShot(1, 66000),
    WantShot(1, 69000), WantShot(1, 69500), WantShot(1, 70400), WantShot(1, 71900), WantShot(1, 72400),
};

class Digits : public testing::TestWithParam<int> {};

TEST_P(Digits, OpensOnWhite) {
    const SRun& run = parts_test::FirstHalf(GetParam());
    auto first = run.firstFrames.find("qvn_cPartDigits");
    ASSERT_NE(first, run.firstFrames.end());
    EXPECT_GT(Mean(first->second), 245.0);
}

TEST_P(Digits, DigitColumnThenSlidingWord) {
    const int fps = GetParam();
    // The digits cover the whole screen; the sky of the scene (the top rows)
    // is dark without them. They rise from 49380 ms.
    const double before = Mean(Shot(fps, 1, 49300), 0, 0, 320, 60);
    const double digits = Mean(Shot(fps, 1, 50000), 0, 0, 320, 60);
    EXPECT_GT(digits, before + 30);
    // "technology" (1000 x 64 at y 160) slides in from the right at 54380 ms,
    // 6 pixels per frame at 60 frames per second (0.36 pixel per ms): at
    // 56000 ms its left edge is near x = -263. The scene under it changes, so
    // the word is found by the shape of its picture, not by brightness.
    const SPicture word = DataPicture("technology.jpg");
    auto best = [&](const SShot& shot) {
        double b = 0.0;
        for (int x = -300; x <= -226; ++x) b = std::max(b, Correlation(shot, word, x, 160));
        return b;
    };
    EXPECT_GT(best(Shot(fps, 1, 56000)), 0.5);
    EXPECT_LT(best(Shot(fps, 1, 54300)), 0.3);
}

TEST_P(Digits, SecondWhiteWithFadingWordThenRisingWord) {
    const int fps = GetParam();
    // "stay" comes with a full white at 57625 ms, then shows in its place.
    const SShot& white = Shot(fps, 1, 57625);
    EXPECT_GT(Mean(white), 245.0);
    const double stayBefore = Mean(Shot(fps, 1, 57500), 20, 90, 300, 160);
    const double stay = Mean(Shot(fps, 1, 59000), 20, 90, 300, 160);
    EXPECT_GT(stay, stayBefore + 15);
    // "artist" rises from below from 64000 ms and is at the top two seconds later.
    const double artistBefore = Mean(Shot(fps, 1, 63900), 0, 0, 320, 240);
    const double artist = Mean(Shot(fps, 1, 66000), 0, 0, 320, 240);
    EXPECT_GT(artist, artistBefore + 10);
}

TEST_P(Digits, ClosingPhotographReplacesTheScene) {
    const int fps = GetParam();
    // Before 69565 ms the scene moves; the photograph fades in over it; once
    // it is fully in, the scene and the words are gone and nothing moves.
    const SShot& a = Shot(fps, 1, 69000);
    const SShot& b = Shot(fps, 1, 69500);
    EXPECT_NE(a.rgb, b.rgb);
    const double half = PictureMatch(Shot(fps, 1, 70400), "cry3.jpg");
    const double full = PictureMatch(Shot(fps, 1, 72400), "cry3.jpg");
    EXPECT_LT(PictureMatch(a, "cry3.jpg"), 0.2);
    EXPECT_LT(half, 0.5);
    EXPECT_GT(full, 0.95);
    const SShot& c = Shot(fps, 1, 71900);
    const SShot& d = Shot(fps, 1, 72400);
    ASSERT_TRUE(c.valid() && d.valid());
    EXPECT_EQ(c.rgb, d.rgb);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Digits, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
