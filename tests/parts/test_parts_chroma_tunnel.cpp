// The chroma tunnel at the times its timeline gives, at 60 and 15 frames per
// second: the photos cross-fading in from black, the tunnel drawn over the
// pictures, the beat flashes and the vampire photo covering everything.
#include <gtest/gtest.h>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

const int kShots[] = {WantShot(2, 0),     WantShot(2, 1000),  WantShot(2, 4000),  WantShot(2, 5900),
                      WantShot(2, 11600), WantShot(2, 11900), WantShot(2, 12000), WantShot(2, 14500),
                      WantShot(2, 16730), WantShot(2, 20000), WantShot(2, 30400), WantShot(2, 30592),
                      WantShot(2, 37500)};

class ChromaTunnel : public testing::TestWithParam<int> {};

TEST_P(ChromaTunnel, PhotosCrossFadeInFromBlack) {
    const int fps = GetParam();
    // Before the clock passes 0 nothing fades, and the pulse starts dark:
    // the first frame of the track is black.
    EXPECT_LT(Mean(Shot(fps, 2, 0)), 4.0);
    EXPECT_GT(Mean(Shot(fps, 2, 1000)), Mean(Shot(fps, 2, 0)) + 10);
    // cry6 first, then cry2 fading in over it from 6000 ms.
    const std::vector<uint32_t> cry6 = ScreenPicture("cry6.jpg"), cry2 = ScreenPicture("cry2.jpg");
    ASSERT_FALSE(cry6.empty());
    ASSERT_FALSE(cry2.empty());
    EXPECT_LT(Distance(Shot(fps, 2, 5900), cry6), Distance(Shot(fps, 2, 5900), cry2));
    EXPECT_LT(Distance(Shot(fps, 2, 11600), cry2), Distance(Shot(fps, 2, 11600), cry6));
}

TEST_P(ChromaTunnel, TheFirstTunnelIsDrawnOverTheFlash) {
    const int fps = GetParam();
    // At 12000 ms the flash adds white at full strength to the whole picture;
    // the tunnel is drawn after the compositing, so its faces stay visible.
    const SShot& flash = Shot(fps, 2, 12000);
    ASSERT_TRUE(flash.valid());
    EXPECT_GT(Mean(flash), Mean(Shot(fps, 2, 11900)) + 50);
    int white = 0;
    for (uint32_t p : flash.rgb) white += p == 0xFFFFFF;
    EXPECT_GT(white, 320 * 240 / 10);
    EXPECT_LT(white, 320 * 240 * 9 / 10);
    // Once the flash has faded, the tunnel still covers part of the photo.
    const std::vector<uint32_t> cry2 = ScreenPicture("cry2.jpg");
    EXPECT_GT(Distance(Shot(fps, 2, 14500), cry2), 10.0);
}

TEST_P(ChromaTunnel, BeatFlashesTurnTheFrameWhite) {
    const int fps = GetParam();
    // From 16730 ms the tunnels lie under the pictures: the flashes at 16730
    // and 30592 ms cover them completely.
    EXPECT_GT(Mean(Shot(fps, 2, 16730)), 250.0);
    EXPECT_GT(Mean(Shot(fps, 2, 30592)), 250.0);
    EXPECT_LT(Mean(Shot(fps, 2, 30400)), 200.0);
    EXPECT_LT(Mean(Shot(fps, 2, 20000)), 200.0);
}

TEST_P(ChromaTunnel, TheVampireCoversEverythingAtTheEnd) {
    const int fps = GetParam();
    // vv reaches 1 about 1.1 s after 35648 ms; the vampire is a normal layer
    // above the tunnels and below only the strips, hidden since 30592 ms.
    const std::vector<uint32_t> vampire = ScreenPicture("vampire.jpg");
    ASSERT_FALSE(vampire.empty());
    EXPECT_LT(Distance(Shot(fps, 2, 37500), vampire), 0.5);
    auto last = Show(fps).lastFrames.find("qvn_cPartChromaTunnel");
    ASSERT_NE(last, Show(fps).lastFrames.end());
    EXPECT_LT(Distance(last->second, vampire), 0.5);
}

INSTANTIATE_TEST_SUITE_P(AtFps, ChromaTunnel, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
