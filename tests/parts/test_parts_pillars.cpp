// The pillars part at the times its timeline gives, and the scene player's
// speed: the animation advances by the frame-speed factor, so every frame
// rate plays the scene at the authored speed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "parts_Harness.h"
#include "qvn_Bitmap.h"
#include "qvn_BitmapList.h"
#include "qvn_PartPillars.h"
#include "qvn_ScenePlayer.h"
#include "qvn_System.h"
#include "qvn_cScene.h"

using namespace parts_test;

namespace {

const int kShots[] = {WantShot(1, 23500), WantShot(1, 24000), WantShot(1, 26000), WantShot(1, 26912),
                      WantShot(1, 30500), WantShot(1, 39600), WantShot(1, 44400)};

class Pillars : public testing::TestWithParam<int> {};

TEST_P(Pillars, BeatFlashAndTextFlashesAreWhite) {
    const int fps = GetParam();
    // The flash at 24000 ms is nofate turned fully white, added at full
    // strength: the frame is white.
    EXPECT_GT(Mean(Shot(fps, 1, 24000)), 240.0);
    EXPECT_LT(Mean(Shot(fps, 1, 23500)), 200.0);
    // The first text line restarts the white layer at 26912 ms.
    EXPECT_GT(Mean(Shot(fps, 1, 26912)), Mean(Shot(fps, 1, 26000)) + 60);
}

TEST_P(Pillars, PhotosReplaceTheSceneThenFadeToBlack) {
    const int fps = GetParam();
    // From about 37300 ms photo 1 covers the screen and the scene is gone;
    // at 40350 photo 2 starts to fade in over it.
    const SShot& photo = Shot(fps, 1, 39600);
    ASSERT_TRUE(photo.valid());
    // The photos are opaque: no pixel of the frame is the black that the
    // scene's cleared background would leave.
    int black = 0;
    for (uint32_t p : photo.rgb) black += p == 0;
    EXPECT_LT(black, 320 * 240 / 50);
    // By the part's end both layers have faded out (v1 < 0 from ~43770 ms).
    EXPECT_LT(Mean(Shot(fps, 1, 44400)), 3.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Pillars, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

// A clock the test steps by hand.
class ManualClock : public qvn_cSystemServices {
public:
    uint32_t now = 1000;
    uint32_t TickCount() override { return now; }
    void DebugOutput(const char*) override {}
    void ShowMessageBox(const char*, const char*, unsigned) override {}
    void SetCursorVisible(bool) override {}
};

TEST(ScenePlayer, AdvancesByTheSpeedFactorNotItsCeiling) {
    ManualClock clock;
    qvn_cSystemServices* previous = qvn_sys::Install(&clock);
    for (const double frameMs : {1000.0 / 60.0, 1000.0 / 15.0, 1000.0 / 45.0}) {
        qvn_cScenePlayer player;
        ASSERT_TRUE(player.load());
        double exact = 0.0;
        const int frames = 600;
        for (int i = 0; i < frames; ++i) {
            exact += frameMs;
            clock.now = 1000 + static_cast<uint32_t>(exact);
            player.run();
        }
        // 60 scene frames per second of clock, whatever the frame rate
        // (integer milliseconds make 60 Hz wobble between 16 and 17).
        const double expected = frames * frameMs * 0.06;
        EXPECT_NEAR(player.m_pScene->m_nFrame, expected, 0.03 * expected + 8) << frameMs;
    }
    qvn_sys::Install(previous);
}

}  // namespace

namespace {

// A damaged scene file fails the pillars' load with the file named; the
// first half is skipped behind the "Error while loading" box and the second
// half still loads and plays.
TEST(PillarsLoad, ADamagedSceneFailsTheHalfAndTheShowGoesOn) {
    const std::string dir = DataCopy("damaged_pilliers");
    {
        std::FILE* f = std::fopen((dir + "/pilliers.qvn").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("not a scene", f);
        std::fclose(f);
    }
    const SRun run = RunProgram(dir, 60, 60000);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.log.find("qvn_cPartPillars::load() : Can't load scene <datas/pilliers.qvn>."), std::string::npos)
        << run.log;
    EXPECT_NE(run.framesTxt.find("# message box [Error] Error while loading"), std::string::npos) << run.framesTxt;
    // No frame of the first half was shown; the second track was opened and
    // started after the interlude.
    for (const SFrame& f : run.frames) EXPECT_NE(f.phase, 1);
    EXPECT_NE(run.log.find("MP3: datas/tarnelle.mp3 loaded"), std::string::npos);
    EXPECT_NE(run.span("qvn_cInterlude"), nullptr);
}

}  // namespace

namespace {

// The blur animation zooms its current frame every frame, and a zoom redraws
// the picture from its master copy: the blurs must live in the masters, or
// every zoomed frame would show the sharp picture.
TEST(PillarsLoad, TheBlurRampSurvivesTheZoom) {
    parts_test::Show(15);
    qvn_cBitmapList& frames = qvn_cPartPillars::blurFrames();
    ASSERT_EQ(frames.getCount(), 7);
    // Sum of absolute horizontal differences of the display copy: large for
    // the sharp picture, small for a wide blur.
    auto sharpness = [](qvn_cBitmap* b) {
        b->zoom(1.0f, 1.0f);
        double sum = 0.0;
        const uint16_t* p = b->pixels16();
        for (int y = 0; y < b->m_nSizeY; ++y)
            for (int x = 1; x < b->m_nSizeX; ++x) {
                const int a = p[y * b->m_nSizeX + x] >> 11, c = p[y * b->m_nSizeX + x - 1] >> 11;
                sum += std::abs(a - c);
            }
        return sum;
    };
    const double sharp = sharpness(frames.getAt(0));
    ASSERT_GT(sharp, 0.0);
    EXPECT_LT(sharpness(frames.getAt(3)), 0.5 * sharp);
    EXPECT_LT(sharpness(frames.getAt(6)), 0.25 * sharp);
}

}  // namespace
