// The opening titles at the times their timeline gives, at 60 and 15 frames
// per second: words in their places, the logos, the beat flashes, the
// white-out. The noise layer is additive and mostly dark, so a word shows as
// a bright area in its own rectangle.
#include <gtest/gtest.h>

#include "parts_Harness.h"

using namespace parts_test;

namespace {

const int kShots[] = {
    WantShot(1, 200),   WantShot(1, 1000),  WantShot(1, 3000),  WantShot(1, 4500),  WantShot(1, 6500),
    WantShot(1, 10000), WantShot(1, 17000), WantShot(1, 20900), WantShot(1, 20995), WantShot(1, 21785),
};

class Titles : public testing::TestWithParam<int> {};

TEST_P(Titles, WordsShowInTheirPlacesOneAfterTheOther) {
    const int fps = GetParam();
    // Word 1 ("art", 420 x 110 at -100, 10) appears at 339 ms.
    const double before = Mean(Shot(fps, 1, 200), 0, 10, 320, 120);
    const double word1 = Mean(Shot(fps, 1, 1000), 0, 10, 320, 120);
    EXPECT_GT(word1, before + 20) << before << " -> " << word1;
    // Word 2 ("of", 220 x 110 at 100, 120) from 2137 ms; word 1 is gone.
    const SShot& s3000 = Shot(fps, 1, 3000);
    EXPECT_GT(Mean(s3000, 100, 120, 320, 230), Mean(s3000, 0, 10, 100, 110) + 20);
    // Word 3 from 3927 ms, word 4 from 5748 ms: both cover the middle.
    EXPECT_GT(Mean(Shot(fps, 1, 4500), 4, 45, 316, 195), before + 15);
    EXPECT_GT(Mean(Shot(fps, 1, 6500), 5, 40, 315, 200), before + 15);
}

TEST_P(Titles, LogosThenFiveBeatFlashesThenWhite) {
    const int fps = GetParam();
    const SShot& guest = Shot(fps, 1, 10000);
    const SShot& ours = Shot(fps, 1, 17000);
    ASSERT_TRUE(guest.valid() && ours.valid());
    // The two logos are different pictures over the whole screen.
    int differing = 0;
    for (int y = 0; y < 240; y += 4)
        for (int x = 0; x < 320; x += 4) differing += std::abs(G(guest.at(x, y)) - G(ours.at(x, y))) > 24;
    EXPECT_GT(differing, 300);
    // The first beat flash at 20990 ms and the last at 21780 light the frame up.
    EXPECT_GT(Mean(Shot(fps, 1, 20995)), Mean(Shot(fps, 1, 20900)) + 15);
    EXPECT_GT(Mean(Shot(fps, 1, 21785)), Mean(Shot(fps, 1, 20900)) + 15);
    // The last frame of the titles is the white-out, almost at full white.
    const SRun& run = parts_test::FirstHalf(fps);
    auto last = run.lastFrames.find("qvn_cPartTitles");
    ASSERT_NE(last, run.lastFrames.end());
    EXPECT_GT(Mean(last->second), 150.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Titles, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
