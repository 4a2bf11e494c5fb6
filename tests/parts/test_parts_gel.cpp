// The gel part: the shadow's black stays on screen until 116200 ms, then the
// gel picture fades in from black and stands until 133000 ms.
#include <gtest/gtest.h>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

const int kShots[] = {WantShot(2, 116200), WantShot(2, 117000), WantShot(2, 118000), WantShot(2, 121000),
                      WantShot(2, 132900)};

class Gel : public testing::TestWithParam<int> {};

TEST_P(Gel, StartsBlackAt116200AndFadesIn) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const SRun::SPartSpan* gel = run.span("qvn_cPartGel");
    ASSERT_NE(gel, nullptr);
    // No frame between the shadow's black ending and the gel's start.
    EXPECT_EQ(run.frames[gel->first - 1].part, "qvn_cPartShadow");
    EXPECT_GE(run.frames[gel->first].showMs, 116200);
    EXPECT_LT(run.frames[gel->first].showMs, 116200 + 1000 / fps + 1);
    // The first frame draws the picture at strength 0: black.
    EXPECT_LT(Mean(Shot(fps, 2, 116200)), 1.0);
    const double a = Mean(Shot(fps, 2, 117000)), b = Mean(Shot(fps, 2, 118000));
    EXPECT_GT(a, 2.0);
    EXPECT_GT(b, a + 5);
    // After 200 frames at 60 frames per second the picture is whole.
    const std::vector<uint32_t> gel4 = ScreenPicture("gel4.jpg");
    ASSERT_FALSE(gel4.empty());
    EXPECT_LT(Distance(Shot(fps, 2, 121000), gel4), 0.5);
    EXPECT_LT(Distance(Shot(fps, 2, 132900), gel4), 0.5);
    EXPECT_LT(run.frames[gel->last].showMs, 133000);
    EXPECT_GE(run.frames[gel->last].showMs, 133000 - 1000 / fps - 1);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Gel, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
