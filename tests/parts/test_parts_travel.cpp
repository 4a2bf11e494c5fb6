// The travel part at 60 and 15 frames per second: dark red fading into the
// picture sequence, the white-out from 137200 ms; its animation playing the
// sharp frames forward into the blur ramp, the ramp's frames keeping their
// blur when they are washed out, and the picture the tube part blurs shown
// sharp again.
#include <gtest/gtest.h>

#include "parts_Harness.h"
#include "qvn_Bitmap.h"
#include "qvn_BitmapLayers.h"
#include "qvn_BitmapList.h"
#include "qvn_PartTools.h"
#include "qvn_PartTravel.h"

using namespace parts_test;

namespace {

const char kTravel[] = "qvn_cPartTravel";

const int kShots[] = {WantShot(1, 137100), WantShot(1, 137600)};
int WantAfter(int ms) {
    WantPartFrame(kTravel, ms * 60 / 1000);
    WantPartFrame(kTravel, ms * 15 / 1000);
    return ms;
}
const int kAfter[] = {WantAfter(0), WantAfter(1500)};

class Travel : public testing::TestWithParam<int> {
protected:
    const SShot& After(int ms) const { return PartFrame(GetParam(), kTravel, ms * GetParam() / 1000); }
};

TEST_P(Travel, StartsOnDarkRedAndFadesTheSequenceIn) {
    const SShot& first = After(0);
    ASSERT_TRUE(first.valid());
    // Black turned 0.3 of the way to red, every layer above it still at 0.
    int notDarkRed = 0;
    for (uint32_t p : first.rgb) notDarkRed += R(p) < 64 || R(p) > 88 || G(p) > 4 || B(p) > 4;
    EXPECT_EQ(notDarkRed, 0);
    // The sequence's lights (yellow and orange, where the red has no green)
    // are in by one and a half seconds.
    const SShot& later = After(1500);
    ASSERT_TRUE(later.valid());
    int lights = 0;
    for (uint32_t p : later.rgb) lights += G(p) > 64;
    EXPECT_GT(lights, 320 * 240 / 50);
}

TEST_P(Travel, WashesOutToWhiteFrom137200) {
    const int fps = GetParam();
    const SRun& run = FirstHalf(fps);
    auto last = run.lastFrames.find(kTravel);
    ASSERT_NE(last, run.lastFrames.end());
    const double before = Mean(Shot(fps, 1, 137100));
    const double during = Mean(Shot(fps, 1, 137600));
    EXPECT_LT(before, 160.0);
    EXPECT_GT(during, before + 20);
    EXPECT_GT(Mean(last->second), during + 20);
    EXPECT_GT(Mean(last->second), 230.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Travel, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

// The pictures as the last first-half run left them (they outlive the parts).
class TravelPictures : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(FirstHalf(60).frames.empty()); }
};

TEST_F(TravelPictures, TheAnimationPlaysTheSharpFramesForwardIntoTheBlurRampAndBack) {
    qvn_cBitmapList& list = qvn_cPartTravel::animation();
    ASSERT_EQ(list.getCount(), qvn_cPartTravel::kAnimFrames);
    qvn_cBitmap* sharp = &qvn_Picture(QVN_DF_TRAV3_1_JPG);
    qvn_cBitmapLayers layers;
    const int32_t id = layers.add(&list, QVN_ANIM_PINGPONG, QVN_FX_ADDITIVE);
    ASSERT_GE(id, 0);
    // A quarter frame per displayed frame: fifty sharp frames take 200
    // displayed frames, then the five blurred ones come in order, then back.
    std::vector<int> shown;
    for (int i = 0; i < 240 + 5 * 4; ++i) {
        qvn_cBitmap* b = layers.getBitmap(id);
        int index = -1;
        for (int k = 0; k < list.getCount(); ++k)
            if (list.getAt(k) == b && (b != sharp || k == 0)) index = k;
        shown.push_back(index);
        layers.updateLayersAnims(0.25f);
    }
    for (int i = 0; i < 200; ++i) ASSERT_EQ(shown[i], 0) << "displayed frame " << i;
    const int ramp[] = {50, 51, 52, 53, 54, 54, 53, 52, 51, 50};
    for (int r = 0; r < 10; ++r)
        for (int q = 0; q < 4; ++q) EXPECT_EQ(shown[200 + r * 4 + q], ramp[r]) << "displayed frame " << 200 + r * 4 + q;
    EXPECT_EQ(shown[240], 0);
}

TEST_F(TravelPictures, TheWhiteOutOfABlurredFrameStartsFromTheBlurredPicture) {
    qvn_cBitmapList& list = qvn_cPartTravel::animation();
    ASSERT_EQ(list.getCount(), qvn_cPartTravel::kAnimFrames);
    const int radius[] = {32, 64, 128, 256, 512};
    for (int i = 0; i < 5; ++i) {
        qvn_cBitmap* frame = list.getAt(50 + i);
        ASSERT_NE(frame, nullptr);
        qvn_cBitmap expected;
        ASSERT_TRUE(expected.copyFrom(&qvn_Picture(QVN_DF_TRAV3_1_JPG)));
        ASSERT_TRUE(expected.setNbpp(frame->m_eBpp));
        expected.horizontalBlur(radius[i]);
        // The white-out's first step, with nothing of white yet: the frame
        // shows what its master copy holds.
        frame->fadePixels(1.0f, 1.0f, 1.0f, 0.0f);
        ASSERT_EQ(frame->m_nBytesPerLine, expected.m_nBytesPerLine);
        int differing = 0;
        const uint16_t* a = frame->pixels16();
        const uint16_t* b = expected.pixels16();
        for (int p = 0; p < frame->m_nSizeX * frame->m_nSizeY; ++p) differing += a[p] != b[p];
        EXPECT_EQ(differing, 0) << "radius " << radius[i];
    }
}

// The tube part blurs trav3_4 (display copy only) in every one of its frames;
// the travel part shows it sharp.
TEST_F(TravelPictures, Trav34IsSharpAgainAfterTheTube) {
    qvn_cBitmap& picture = qvn_Picture(QVN_DF_TRAV3_4_JPG);
    qvn_cBitmap sharp;
    ASSERT_TRUE(sharp.copyFrom(&picture));
    ASSERT_TRUE(sharp.setNbpp(picture.m_eBpp));
    int differing = 0;
    for (int p = 0; p < picture.m_nSizeX * picture.m_nSizeY; ++p)
        differing += picture.pixels16()[p] != sharp.pixels16()[p];
    EXPECT_EQ(differing, 0);
}

}  // namespace
