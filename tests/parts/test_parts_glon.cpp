// The glon part at 60 and 15 frames per second: the opening white flash that
// takes "just try" away, the darkening under the halo, the greed and main
// flashes, the closing pulse and the black-out; and a half that cannot load
// one of its pictures.
#include <gtest/gtest.h>

#include <filesystem>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

const char kGlon[] = "qvn_cPartGlon";

const int kShots[] = {
    WantShot(1, 140500), WantShot(1, 140650), WantShot(1, 142500), WantShot(1, 144700), WantShot(1, 144800),
    WantShot(1, 145000), WantShot(1, 148900), WantShot(1, 149000), WantShot(1, 149500), WantShot(1, 150700),
    WantShot(1, 150800), WantShot(1, 153100), WantShot(1, 158000),
};
int WantAfter(int ms) {
    WantPartFrame(kGlon, ms * 60 / 1000);
    WantPartFrame(kGlon, ms * 15 / 1000);
    return ms;
}
const int kAfter[] = {WantAfter(0), WantAfter(266), WantAfter(1000)};

class Glon : public testing::TestWithParam<int> {
protected:
    const SShot& At(int ms) const { return Shot(GetParam(), 1, ms); }
    const SShot& After(int ms) const { return PartFrame(GetParam(), kGlon, ms * GetParam() / 1000); }
};

TEST_P(Glon, OpensWithAWhiteFlashThatTakesJustTryAway) {
    const SPicture justry = DataPicture("justry.jpg");
    EXPECT_GT(Mean(After(0)), 250.0);
    // Flash and picture fade together over about 40 frames (two thirds of a
    // second).
    const double fading = Correlation(After(266), justry, 0, 0);
    const double gone = Correlation(After(1000), justry, 0, 0);
    EXPECT_GT(fading, 0.5) << gone;
    EXPECT_LT(gone, fading - 0.25);
    EXPECT_LT(Mean(After(1000)), 200.0);
}

TEST_P(Glon, TheSceneDarkensAt140600AndTheHaloFadesInThenOutFrom143600) {
    const SPicture halo = DataPicture("halo.jpg");
    EXPECT_LT(Mean(At(140650)), Mean(At(140500)) * 0.5);
    const double before = Correlation(At(140500), halo, 82, 39);
    const double shown = Correlation(At(142500), halo, 82, 39);
    const double after = Correlation(At(145000), halo, 82, 39);
    EXPECT_GT(shown, 0.5) << before << " " << after;
    EXPECT_LT(before, shown - 0.3);
    EXPECT_LT(after, shown - 0.3);
}

TEST_P(Glon, GreedFlashesWhiteAt144800And150800) {
    EXPECT_GT(Mean(At(144800)), 240.0);
    EXPECT_LT(Mean(At(144700)), 200.0);
    EXPECT_GT(Mean(At(150800)), 240.0);
    EXPECT_LT(Mean(At(150700)), 200.0);
}

TEST_P(Glon, TheMainPictureComesOutOfWhiteAt149000) {
    const SPicture main = DataPicture("main.jpg");
    EXPECT_GT(Mean(At(149000)), 250.0);
    const double before = Correlation(At(148900), main, 0, 0);
    const double fading = Correlation(At(149500), main, 0, 0);
    EXPECT_GT(fading, 0.6) << before;
    EXPECT_LT(before, fading - 0.3);
}

TEST_P(Glon, OnePulseOfVellor4ThenBlackFrom151000) {
    // The pulse's star sits in the middle over a frame going dark.
    const SShot& pulse = At(153100);
    EXPECT_GT(Mean(pulse, 140, 100, 180, 140), Mean(pulse) + 40);
    EXPECT_LT(Mean(At(158000)), 3.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Glon, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

// The first picture glon loads is missing: the log names it, the first half
// does not play, and the show goes on to the second half behind the
// interlude.
TEST(GlonLoad, AMissingPictureIsNamedAndTheShowGoesOn) {
    const std::string dir = DataCopy("nohalo");
    std::filesystem::remove(std::filesystem::path(dir) / "halo.jpg");
    const SRun run = RunProgram(dir, 60, 60000);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.log.find("qvn_cPartGlon::load() : Can't load picture <datas/halo.jpg>."), std::string::npos)
        << run.log;
    int firstHalfFrames = 0, interludes = 0;
    for (const SFrame& f : run.frames) firstHalfFrames += f.phase == 1;
    for (const SRun::SPartSpan& s : run.spans) interludes += s.part == "qvn_cInterlude";
    EXPECT_EQ(firstHalfFrames, 0);
    // The interlude fades in while the second half loads and out once it has.
    EXPECT_EQ(interludes, 2);
}

}  // namespace
