// The credits part at the times its timeline gives, at 60 and 15 frames per
// second: a white flash as each credit comes in, the right picture for each
// credit, its fade-out, the crossing strip of the second credit; and what a
// broken data set does to the half.
#include <gtest/gtest.h>

#include <filesystem>

#include "parts_Harness.h"
#include "parts_Pictures.h"

using namespace parts_test;

namespace {

struct SCredit {
    int appearMs, fadeOutMs;
    const char* picture;
};
// In the order they are shown.
const SCredit kCredits[] = {
    {72565, 73565, "credits4.jpg"},
    {79760, 80760, "credits1.jpg"},
    {87209, 88209, "credits3.jpg"},
    {94440, 95440, "credits2.jpg"},
};
const char* const kPictures[] = {"credits1.jpg", "credits2.jpg", "credits3.jpg", "credits4.jpg"};

const int kShots[] = {
    WantShot(1, 72565), WantShot(1, 73565), WantShot(1, 79400), WantShot(1, 79760), WantShot(1, 80760),
    WantShot(1, 87000), WantShot(1, 87209), WantShot(1, 88209), WantShot(1, 94200), WantShot(1, 94440),
    WantShot(1, 95440), WantShot(1, 101000),
};

class Credits : public testing::TestWithParam<int> {};

TEST_P(Credits, EachCreditComesOutOfAWhiteFlash) {
    const int fps = GetParam();
    const SRun& run = parts_test::FirstHalf(fps);
    auto first = run.firstFrames.find("qvn_cPartCredits");
    ASSERT_NE(first, run.firstFrames.end());
    EXPECT_GT(Mean(first->second), 245.0);
    for (const SCredit& c : kCredits) {
        const SShot& s = Shot(fps, 1, c.appearMs);
        EXPECT_GT(Mean(s), 245.0) << c.appearMs;
    }
}

TEST_P(Credits, EachCreditShowsItsPictureThenFadesIt) {
    const int fps = GetParam();
    for (const SCredit& c : kCredits) {
        // Where the fade-out starts the picture is there in full, out of its
        // white; only the two strips lie over it. The credit pictures share
        // a sky, so the others match in part.
        const SShot& s = Shot(fps, 1, c.fadeOutMs);
        const double match = PictureMatch(s, c.picture);
        EXPECT_GT(match, 0.8) << c.fadeOutMs << " " << c.picture;
        for (const char* p : kPictures) {
            if (std::string(p) == c.picture) continue;
            EXPECT_LT(PictureMatch(s, p), match - 0.4) << c.fadeOutMs << " " << p;
        }
    }
    // By the time the next credit comes in, the picture has faded away.
    EXPECT_LT(PictureMatch(Shot(fps, 1, 79400), "credits4.jpg"), 0.2);
    EXPECT_LT(PictureMatch(Shot(fps, 1, 87000), "credits1.jpg"), 0.2);
    EXPECT_LT(PictureMatch(Shot(fps, 1, 94200), "credits3.jpg"), 0.2);
    EXPECT_LT(PictureMatch(Shot(fps, 1, 101000), "credits2.jpg"), 0.2);
}

TEST_P(Credits, OnlyTheSecondCreditHasTheCrossingStrip) {
    const int fps = GetParam();
    // The crossing strip enters from the right edge in the top rows and is
    // about a third of the way across when the second credit starts fading.
    // There, and only for that credit, the picture does not show as it is.
    for (int i = 0; i < 4; ++i) {
        const SCredit& c = kCredits[i];
        const double match = PictureMatch(Shot(fps, 1, c.fadeOutMs), c.picture, 12, 200, 0, 320, 46);
        if (i == 1) {
            EXPECT_LT(match, 0.95) << c.fadeOutMs;
        } else {
            EXPECT_GT(match, 0.98) << c.fadeOutMs;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AtFps, Credits, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

TEST(CreditsLoad, AMissingPictureSkipsTheHalfAndNamesTheFile) {
    const std::string dir = DataCopy("credits_no_noms");
    std::filesystem::remove(std::filesystem::path(dir) / "noms.jpg");
    const SRun run = RunProgram(dir, 60, 20000);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(run.exitCode, 0);
    const size_t failure = run.log.find("qvn_cPartCredits::load() : Can't load picture <datas/noms.jpg>.");
    ASSERT_NE(failure, std::string::npos) << run.log;
    // No part of the first half draws; the second half's track is opened
    // after the failure.
    for (const SFrame& f : run.frames) EXPECT_NE(f.phase, 1) << f.part;
    EXPECT_NE(run.log.find("datas/tarnelle.mp3", failure), std::string::npos) << run.log;
}

}  // namespace
