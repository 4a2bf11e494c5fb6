// The whole show: all fourteen parts in the programme's run order, each half
// played on its track's clock to its last part's end, and the captured audio
// as long as the run (both tracks as far as they played, plus the pauses
// while a half loads).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "parts_Harness.h"
#include "qvn_ShowParts.h"

using namespace parts_test;

namespace {

struct SPartOfShow {
    int half;
    const char* part;
};
const SPartOfShow kRunOrder[] = {
    {1, "qvn_cPartTitles"},       {1, "qvn_cPartPillars"},   {1, "qvn_cPartDigits"}, {1, "qvn_cPartCredits"},
    {1, "qvn_cPartSmileys"},      {1, "qvn_cPartTube"},      {1, "qvn_cPartTravel"}, {1, "qvn_cPartGlon"},
    {2, "qvn_cPartChromaTunnel"}, {2, "qvn_cPartMetaballs"}, {2, "qvn_cPartShadow"}, {2, "qvn_cPartGel"},
    {2, "qvn_cPartJoys"},         {2, "qvn_cPartScroller"}};

// One line of frames.txt: frame, virtual ms, half, show ms, crc, part.
struct SLine {
    int virtualMs, half, showMs;
};
std::vector<SLine> FramesTxt(const std::string& text) {
    std::vector<SLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int frame = 0;
        SLine l{};
        if (fields >> frame >> l.virtualMs >> l.half >> l.showMs) lines.push_back(l);
    }
    return lines;
}

class WholeShow : public testing::TestWithParam<int> {};

TEST_P(WholeShow, EveryPartPlaysOnceInRunOrder) {
    const SRun& run = Show(GetParam());
    EXPECT_EQ(run.exitCode, 0);
    std::vector<std::string> expected, played;
    for (const SPartOfShow& p : kRunOrder)
        expected.push_back(std::to_string(p.half) + " " + p.part);
    for (const SRun::SPartSpan& s : run.spans)
        if (s.phase > 0) played.push_back(std::to_string(s.phase) + " " + s.part);
    EXPECT_EQ(played, expected);
    EXPECT_EQ(run.log.find("Can't"), std::string::npos) << run.log;
}

TEST_P(WholeShow, EachHalfPlaysItsTrackToItsLastPartsEnd) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const std::vector<SLine> lines = FramesTxt(run.framesTxt);
    ASSERT_FALSE(lines.empty());
    const int periodMs = 1000 / fps + 1;
    const int endMs[2] = {163000, 266000};
    const char* const lastPart[2] = {"qvn_cPartGlon", "qvn_cPartScroller"};
    for (int half = 1; half <= 2; ++half) {
        const SRun::SPartSpan* span = nullptr;
        for (const SRun::SPartSpan& s : run.spans)
            if (s.phase == half) span = &s;
        ASSERT_NE(span, nullptr);
        EXPECT_EQ(span->part, lastPart[half - 1]);
    }
    for (int half = 1; half <= 2; ++half) {
        int first = -1, last = -1;
        for (int i = 0; i < static_cast<int>(lines.size()); ++i)
            if (lines[i].half == half) {
                if (first < 0) first = i;
                last = i;
            }
        ASSERT_GE(first, 0) << "half " << half;
        // The show clock is the track's: it moves exactly as the run's time
        // does, through the parts and the waits between them.
        EXPECT_NEAR(lines[last].virtualMs - lines[first].virtualMs, lines[last].showMs - lines[first].showMs, 2)
            << "half " << half;
        EXPECT_LT(lines[last].showMs, endMs[half - 1]) << "half " << half;
        EXPECT_GE(lines[last].showMs, endMs[half - 1] - periodMs) << "half " << half;
    }
}

TEST_P(WholeShow, TheAudioIsAsLongAsTheRun) {
    const int fps = GetParam();
    const SRun& run = Show(fps);
    const std::vector<SLine> lines = FramesTxt(run.framesTxt);
    ASSERT_FALSE(lines.empty());
    // The sound device plays on through the loading pauses (silence) and
    // both tracks up to the show's last frame, so sound and picture end
    // together.
    const double runSeconds = (lines.back().virtualMs + 1000.0 / fps) / 1000.0;
    EXPECT_NEAR(run.audioSeconds, runSeconds, 0.25);
    int played[3] = {0, 0, 0};
    for (const SLine& l : lines)
        if (l.half > 0) played[l.half] = l.showMs;
    EXPECT_GE(run.audioSeconds, (played[1] + played[2]) / 1000.0);
}

TEST_P(WholeShow, NothingIsAllocatedWhileASecondHalfPartPlays) {
    const SRun& run = Show(GetParam());
    for (const SRun::SPartSpan& s : run.spans) {
        if (s.phase != 2) continue;
        int allocating = 0;
        for (int i = s.first + 1; i <= s.last; ++i) allocating += run.frames[i].allocations != 0;
        EXPECT_EQ(allocating, 0) << s.part << " allocated in " << allocating << " frames";
    }
}

INSTANTIATE_TEST_SUITE_P(AtFps, WholeShow, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

}  // namespace
