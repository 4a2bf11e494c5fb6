// Starting the show elsewhere (--start): the show is played unseen up to the
// start point, so the frames from there on must be exactly those of a straight
// run at the same frame rate, and the run's own numbering starts there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <string>
#include <vector>

#include "parts_Harness.h"
#include "qvn_Main.h"
#include "qvn_Random.h"
#include "qvn_ShowParts.h"

using namespace parts_test;

namespace {

// The straight run's frame where a start point lands: the first frame of the
// part, of the second half, or at or after a time of the show's timeline
// (the first half's clock, continued through the interlude and the second
// half by the capture clock).
int Landing(const std::vector<SLine>& all, const std::string& part, int half, int timelineMs) {
    bool haveBase = false;
    long base = 0;
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        const SLine& l = all[i];
        if (!part.empty()) {
            if (l.part == part && l.half > 0) return i;
            continue;
        }
        if (half > 0) {
            if (l.half == half) return i;
            continue;
        }
        if (l.half == 1) {
            base = l.virtualMs - std::stol(l.showMs);
            haveBase = true;
        }
        if (haveBase && l.virtualMs - base >= timelineMs) return i;
    }
    return -1;
}

constexpr int kCompared = 120;

// Runs with --start and checks the next frames against the straight run.
void ExpectSameAsStraight(int fps, const std::string& where, const std::string& part, int half, int timelineMs) {
    SCOPED_TRACE("--start " + where + " at " + std::to_string(fps) + " fps");
    const std::vector<SLine> all = Lines(Show(fps).framesTxt);
    const int landing = Landing(all, part, half, timelineMs);
    ASSERT_GE(landing, 0) << "the straight run never gets there";
    // A little over the compared frames: the scripted quit ends the run.
    const int quitMs = (kCompared + 2) * 1000 / fps;
    const SRun run = RunProgram(DataDir(), fps, quitMs, {"--start", where});
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<SLine> started = Lines(run.framesTxt);
    const int count = std::min<int>(kCompared, static_cast<int>(all.size()) - landing);
    ASSERT_GE(static_cast<int>(started.size()), count);
    for (int i = 0; i < count; ++i) {
        const SLine& a = all[landing + i];
        const SLine& b = started[i];
        ASSERT_TRUE(a.sameFrame(b)) << "frame " << i << " after the start: straight " << Describe(a) << ", started "
                                    << Describe(b);
        // The run's own numbering starts at the start point.
        EXPECT_EQ(b.frame, i);
        // Whole milliseconds of frame periods: the two sides round apart.
        EXPECT_NEAR(b.virtualMs, a.virtualMs - all[landing].virtualMs, 1) << "frame " << i;
    }
}

}  // namespace

TEST(StartPoint, EveryPartStartsWithTheStraightRunsFramesAt60fps) {
    const char* const parts[][2] = {
        {"titles", "qvn_cPartTitles"},     {"pillars", "qvn_cPartPillars"},
        {"digits", "qvn_cPartDigits"},     {"credits", "qvn_cPartCredits"},
        {"smileys", "qvn_cPartSmileys"},   {"tube", "qvn_cPartTube"},
        {"travel", "qvn_cPartTravel"},     {"glon", "qvn_cPartGlon"},
        {"chromatunnel", "qvn_cPartChromaTunnel"}, {"metaballs", "qvn_cPartMetaballs"},
        {"shadow", "qvn_cPartShadow"},     {"gel", "qvn_cPartGel"},
        {"joys", "qvn_cPartJoys"},         {"scroller", "qvn_cPartScroller"},
    };
    for (const auto& p : parts) ExpectSameAsStraight(60, p[0], p[1], 0, 0);
    ExpectSameAsStraight(60, "half2", "", 2, 0);
}

TEST(StartPoint, TimesInEachHalfAndInTheInterludeAt60fps) {
    // Mid-part in the first half (between two frames of the 60 Hz clock),
    // just after the first half's end (the interlude, given as milliseconds),
    // and in the second half.
    ExpectSameAsStraight(60, "0:42.5", "", 0, 42500);
    const std::vector<SLine> all = Lines(Show(60).framesTxt);
    int lastHalf1 = -1;
    for (const SLine& l : all)
        if (l.half == 1) lastHalf1 = std::stoi(l.showMs);
    ASSERT_GT(lastHalf1, 0);
    const int interlude = lastHalf1 + 200;
    ExpectSameAsStraight(60, std::to_string(interlude), "", 0, interlude);
    ExpectSameAsStraight(60, "6:10.25", "", 0, 370250);
    // The metaballs with their balls on (drawn straight onto the surface).
    ExpectSameAsStraight(60, "3:59", "", 0, 239000);
}

TEST(StartPoint, APartStartsWithTheStraightRunsFramesAt15fps) {
    ExpectSameAsStraight(15, "metaballs", "qvn_cPartMetaballs", 0, 0);
    ExpectSameAsStraight(15, "3:01", "", 0, 181000);
}

TEST(StartPoint, AudioAndScriptedKeysCountFromTheStart) {
    // Escape two seconds after the start ends the run there; a key that
    // means nothing to the show changes nothing before it.
    const SRun run = RunProgram(DataDir(), 60, -1, {"--start", "gel", "--keys", "500:Space,2000:Escape"});
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<SLine> lines = Lines(run.framesTxt);
    ASSERT_EQ(lines.size(), 120u);
    EXPECT_EQ(lines.front().part, "qvn_cPartGel");
    EXPECT_EQ(lines.back().frame, 119);
    // audio.wav holds the run's two seconds, not the show's minutes before.
    EXPECT_NEAR(run.audioSeconds, 2.0, 0.05);
}

TEST(StartPoint, NoSoundKeepsTheShowsTiming) {
    const SRun run = RunProgram(DataDir(), 60, 3000, {"--nosound"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.audioSeconds, 0.0);
    const std::vector<SLine> all = Lines(Show(60).framesTxt);
    const std::vector<SLine> quiet = Lines(run.framesTxt);
    ASSERT_GE(quiet.size(), 150u);
    for (size_t i = 0; i < quiet.size() && i < all.size(); ++i)
        ASSERT_TRUE(all[i].sameFrame(quiet[i])) << "frame " << i << ": " << Describe(all[i]) << " / "
                                                << Describe(quiet[i]);
}

namespace {

// A capture run whose folder is kept; returns audio.wav's left channel.
std::vector<int16_t> CaptureAudio(const std::filesystem::path& dir, const std::vector<std::string>& extra,
                                  std::string* framesTxt) {
    std::vector<std::string> args = {"demo_sw", "--capture", dir.string(), "--fps", "15", "--frames", "none",
                                     "--datas", DataDir(), "--log", (dir.parent_path() / "run.errorlog").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    qvn_ResetShowState();
    qvn_srand(1);
    EXPECT_EQ(qvn_ProgramMain(static_cast<int>(argv.size()), argv.data(), nullptr, 0, ""), 0);
    std::ifstream frames(dir / "frames.txt");
    framesTxt->assign(std::istreambuf_iterator<char>(frames), std::istreambuf_iterator<char>());
    std::ifstream wav(dir / "audio.wav", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(wav)), std::istreambuf_iterator<char>());
    std::vector<int16_t> left;
    for (size_t i = 44; i + 3 < bytes.size(); i += 4)
        left.push_back(static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    return left;
}

}  // namespace

TEST(StartPoint, TheMusicIsInStepToTheSampleAt15fps) {
    // The track can only start at a frame boundary; the samples before the
    // point heard at the start are dropped, so from the start point on the
    // capture's audio is the straight run's (past the first decoded frames,
    // which a skipped bit reservoir may change).
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testing::TempDir()) / ("qvn_start_audio" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string straightTxt;
    const std::vector<int16_t> straight = CaptureAudio(dir / "straight", {"--quit-at", "52000"}, &straightTxt);
    const std::vector<SLine> all = Lines(straightTxt);
    for (const char* where : {"0:20", "0:42.5"}) {
        SCOPED_TRACE(where);
        std::string startedTxt;
        const std::vector<int16_t> started =
            CaptureAudio(dir / (std::string("start") + where), {"--start", where, "--quit-at", "1500"}, &startedTxt);
        const std::vector<SLine> lines = Lines(startedTxt);
        ASSERT_FALSE(lines.empty());
        long landedAt = -1;
        for (const SLine& l : all)
            if (l.half == lines[0].half && l.showMs == lines[0].showMs) landedAt = l.virtualMs;
        ASSERT_GE(landedAt, 0);
        const size_t from = 44100 / 2, count = 44100 / 2;  // half a second, from 0.5 s on
        ASSERT_GE(started.size(), from + count);
        const size_t base = static_cast<size_t>(landedAt) * 44100 / 1000;
        ASSERT_GE(straight.size(), base + from + count + 2);
        // Whole milliseconds of the show clock: at most a sample apart.
        int bestOffset = 99;
        for (int offset = -1; offset <= 1 && bestOffset == 99; ++offset)
            if (std::equal(started.begin() + from, started.begin() + from + count,
                           straight.begin() + static_cast<long>(base + from) + offset))
                bestOffset = offset;
        EXPECT_NE(bestOffset, 99) << "the music is not in step to the sample";
    }
    // The viewer paused for exactly one second: after it the music is the
    // straight run's one second later, sample for sample.
    std::string pausedTxt;
    const std::vector<int16_t> paused =
        CaptureAudio(dir / "paused", {"--viewer", "--keys", "6000:Space,7000:Space", "--quit-at", "9000"}, &pausedTxt);
    const size_t at = 44100 * 15 / 2, count = 44100 / 2;  // 7.5 s to 8 s of the paused run
    ASSERT_GE(paused.size(), at + count);
    EXPECT_TRUE(std::equal(paused.begin() + at, paused.begin() + at + count, straight.begin() + (at - 44100)))
        << "the music is not in step after a pause";
    fs::remove_all(dir);
}
