// The first half as a whole: the parts in the programme's order, each ending
// where its timeline ends at 60 and at 15 frames per second, nothing
// allocated while frames play, a clean log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parts_Harness.h"

using namespace parts_test;

namespace {

const char* const kRunOrder[] = {"qvn_cPartTitles", "qvn_cPartPillars", "qvn_cPartDigits", "qvn_cPartCredits",
                                 "qvn_cPartSmileys", "qvn_cPartTube", "qvn_cPartTravel", "qvn_cPartGlon"};

class FirstHalf : public testing::TestWithParam<int> {};

TEST_P(FirstHalf, PlaysEveryPartInOrderWithACleanLog) {
    const SRun& run = parts_test::FirstHalf(GetParam());
    EXPECT_EQ(run.exitCode, 0);
    std::vector<std::string> order;
    for (const SRun::SPartSpan& s : run.spans)
        if (s.phase == 1) order.push_back(s.part);
    EXPECT_EQ(order, std::vector<std::string>(std::begin(kRunOrder), std::end(kRunOrder)));
    // The loading screen fades in and out before the half, the interlude in
    // after it.
    ASSERT_GE(run.spans.size(), 3u);
    EXPECT_EQ(run.spans[0].part, "qvn_cLoadingScreen");
    EXPECT_EQ(run.spans[1].part, "qvn_cLoadingScreen");
    const SRun::SPartSpan* interlude = run.span("qvn_cInterlude");
    ASSERT_NE(interlude, nullptr);
    EXPECT_EQ(run.frames[interlude->first - 1].part, std::string("qvn_cPartGlon"));
    EXPECT_EQ(run.log.find("Can't"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("Error"), std::string::npos) << run.log;
}

TEST_P(FirstHalf, EachPartEndsAtItsTimeOnTheShowClock) {
    const int fps = GetParam();
    const SRun& run = parts_test::FirstHalf(fps);
    const int periodMs = 1000 / fps + 1;
    struct SEnd {
        const char* part;
        int endMs;
    };
    // The parts whose end is a time: the last frame comes before it, the
    // next part starts within a frame of it.
    const SEnd ends[] = {{"qvn_cPartPillars", 44500}, {"qvn_cPartDigits", 72515}, {"qvn_cPartCredits", 101300},
                         {"qvn_cPartSmileys", 108500}, {"qvn_cPartTube", 126550}, {"qvn_cPartGlon", 163000}};
    for (const SEnd& e : ends) {
        const SRun::SPartSpan* s = run.span(e.part);
        ASSERT_NE(s, nullptr) << e.part;
        EXPECT_LT(run.frames[s->last].showMs, e.endMs) << e.part;
        EXPECT_GE(run.frames[s->last].showMs, e.endMs - periodMs - 1) << e.part;
    }
    // The titles end with their white-out, which starts after 21850 ms and
    // lasts about ten frames at 60 frames per second (three at 15).
    const SRun::SPartSpan* titles = run.span("qvn_cPartTitles");
    ASSERT_NE(titles, nullptr);
    EXPECT_GT(run.frames[titles->last].showMs, 21850);
    EXPECT_LT(run.frames[titles->last].showMs, 21850 + 12 * 1000 / 60 + periodMs);
    // The travel part's white-out starts at 137200 ms and lasts about 47
    // frames at 60 frames per second.
    const SRun::SPartSpan* travel = run.span("qvn_cPartTravel");
    ASSERT_NE(travel, nullptr);
    EXPECT_GT(run.frames[travel->last].showMs, 137200);
    EXPECT_LT(run.frames[travel->last].showMs, 137200 + 50 * 1000 / 60 + periodMs);
}

TEST_P(FirstHalf, NothingIsAllocatedWhileAPartPlays) {
    const SRun& run = parts_test::FirstHalf(GetParam());
    for (const SRun::SPartSpan& s : run.spans) {
        // A part's first frame may allocate (its compositor and background
        // are made when it starts); the frames after it may not.
        int allocating = 0;
        for (int i = s.first + 1; i <= s.last; ++i) allocating += run.frames[i].allocations != 0;
        EXPECT_EQ(allocating, 0) << s.part << " allocated in " << allocating << " frames";
    }
}

TEST_P(FirstHalf, TheLastFrameOfTheHalfIsBlack) {
    const SRun& run = parts_test::FirstHalf(GetParam());
    auto it = run.lastFrames.find("qvn_cPartGlon");
    ASSERT_NE(it, run.lastFrames.end());
    EXPECT_LT(Mean(it->second), 4.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, FirstHalf, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
