// The tube part at 60 and 15 frames per second: the scene out of black, the
// tuner swelling once, the smiley flashes, the main picture out of white.
#include <gtest/gtest.h>

#include "parts_Harness.h"
#include "parts_Pictures.h"
#include "qvn_Bitmap.h"

using namespace parts_test;

namespace {

const char kTube[] = "qvn_cPartTube";

const int kShots[] = {
    WantShot(1, 110000), WantShot(1, 110144), WantShot(1, 112000), WantShot(1, 112144), WantShot(1, 117900),
    WantShot(1, 118000), WantShot(1, 118500), WantShot(1, 119500),
};
// Frames of the tube counted from its own first one (it starts whenever the
// part before it ends), asked for at both rates.
int WantAfter(int ms) {
    WantPartFrame(kTube, ms * 60 / 1000);
    WantPartFrame(kTube, ms * 15 / 1000);
    return ms;
}
const int kAfter[] = {WantAfter(0), WantAfter(333), WantAfter(400), WantAfter(1500)};

class Tube : public testing::TestWithParam<int> {
protected:
    // The frame the tube shows ms milliseconds after its first, at this rate.
    const SShot& After(int ms) const { return PartFrame(GetParam(), kTube, ms * GetParam() / 1000); }
};

TEST_P(Tube, TheSceneComesOutOfBlack) {
    EXPECT_LT(Mean(After(0)), 2.0);
    EXPECT_GT(Mean(After(333)), 40.0);
}

// The tuner, zoomed about its centre by z = sin(ta) * 0.769231 + 1.5 with ta
// growing 0.065 per 60th of a second, is drawn with strength z - 1.1 until
// that reaches 0, a little under a second in.
TEST_P(Tube, TheTunerSwellsOnceAndVanishes) {
    auto zoomedTuner = [this](const SShot& shot) {
        const int ms = shot.showMs - After(0).showMs;
        qvn_cBitmap tuner;
        EXPECT_TRUE(tuner.loadFromFile((DataDir() + "/tuner.jpg").c_str()));
        const float z = std::sin(0.065f * static_cast<float>(ms) * 60.0f / 1000.0f) * 0.769231f + 1.5f;
        tuner.zoom(z, z);
        SPicture p;
        p.width = tuner.m_nSizeX;
        p.height = tuner.m_nSizeY;
        p.rgb.assign(tuner.pixels32(), tuner.pixels32() + p.width * p.height);
        return p;
    };
    const double swelling = Correlation(After(400), zoomedTuner(After(400)), 0, 0);
    const double gone = Correlation(After(1500), zoomedTuner(After(1500)), 0, 0);
    // The tube scene under it is bright and busy, so the tuner is only part
    // of the picture even at full strength.
    EXPECT_GT(swelling, 0.2) << gone;
    EXPECT_LT(gone, 0.12) << swelling;
}

TEST_P(Tube, TheMainPictureComesOutOfWhiteAt118000) {
    const int fps = GetParam();
    const SPicture main = DataPicture("main.jpg");
    EXPECT_GT(Mean(Shot(fps, 1, 118000)), 250.0);
    EXPECT_LT(Mean(Shot(fps, 1, 117900)), 230.0);
    const double before = Correlation(Shot(fps, 1, 117900), main, 0, 0);
    const double fading = Correlation(Shot(fps, 1, 118500), main, 0, 0);
    const double after = Correlation(Shot(fps, 1, 119500), main, 0, 0);
    EXPECT_GT(fading, 0.6) << before << " " << after;
    EXPECT_LT(before, fading - 0.3);
    EXPECT_LT(after, fading - 0.3);
}

TEST_P(Tube, Smiley7FlashesWhiteAt110144And112144) {
    const int fps = GetParam();
    ASSERT_TRUE(FirstHalf(fps).span("qvn_cPartSmileys")) << "the smileys part (smiley7's loader) did not play";
    EXPECT_GT(Mean(Shot(fps, 1, 110144)), Mean(Shot(fps, 1, 110000)) + 30);
    EXPECT_GT(Mean(Shot(fps, 1, 112144)), Mean(Shot(fps, 1, 112000)) + 30);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Tube, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
