// --video, --video-scale and --stop: what the options refuse, and what a
// program without the video export says.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "qvn_Options.h"
#include "qvn_ShowParts.h"
#include "qvn_StopPoint.h"
#include "qvn_VideoExport.h"

namespace {

namespace fs = std::filesystem;

// Each case its own folder: CTest runs them side by side.
int RunDemo(const std::string& args, std::string* output) {
    const fs::path dir = fs::path(testing::TempDir()) / ("qvn_video_options_" + std::string(
                             testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' " + args + " > out.txt 2>&1";
    const int status = std::system(cmd.c_str());
    std::ifstream in(dir / "out.txt");
    std::stringstream s;
    s << in.rdbuf();
    *output = s.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Parse(std::initializer_list<const char*> args, qvn_SOptions* o, std::string* error) {
    const qvn_SShow show = qvn_DefaultShow();
    qvn_SetStartParts(show.parts, show.partCount);
    std::vector<const char*> argv = {"demo_sw"};
    argv.insert(argv.end(), args.begin(), args.end());
    return qvn_ParseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

TEST(VideoOptions, RefusalsNameTheProblem) {
    struct SCase {
        std::initializer_list<const char*> args;
        const char* message;
    };
    const SCase cases[] = {
        {{"--video", "v.mkv"}, "--video only applies with --capture"},
        {{"--capture", "c", "--video", "show.avi"}, "show.avi: the file must end in .mkv (lossless) or .mp4"},
        {{"--capture", "c", "--video", "mkv"}, "mkv: the file must end in .mkv"},
        {{"--capture", "c", "--video", "dir.mkv/v"}, "the file must end in .mkv"},
        {{"--capture", "c", "--video", "v.mkv", "--video-scale", "0"}, "--video-scale takes a whole number from 1 to 8"},
        {{"--capture", "c", "--video", "v.mkv", "--video-scale", "9"}, "--video-scale takes a whole number from 1 to 8"},
        {{"--capture", "c", "--video", "v.mkv", "--video-scale", "2x"}, "--video-scale takes a whole number"},
        {{"--capture", "c", "--video-scale", "2"}, "--video-scale only applies with --video"},
        {{"--stop", "nowhere"}, "--stop nowhere: not a time, half2 or a part's name"},
        {{"--stop", "1:75"}, "--stop 1:75: a time is mm:ss"},
        {{"--start", "1:00", "--stop", "0:30"}, "--stop must come after --start"},
        {{"--start", "60000", "--stop", "1:00"}, "--stop must come after --start"},
        {{"--start", "glon", "--stop", "tube"}, "--stop must name a place of the show after --start"},
        {{"--start", "tube", "--stop", "tube"}, "--stop must name a place of the show after --start"},
        {{"--start", "half2", "--stop", "chromatunnel"}, "--stop must name a place of the show after --start"},
        {{"--start", "metaballs", "--stop", "half2"}, "--stop must name a place of the show after --start"},
        {{"--video"}, "--video needs a value"},
    };
    for (const SCase& c : cases) {
        qvn_SOptions o;
        std::string error;
        std::string line;
        for (const char* a : c.args) line += std::string(a) + " ";
        EXPECT_FALSE(Parse(c.args, &o, &error)) << line;
        EXPECT_NE(error.find(c.message), std::string::npos) << line << "-> " << error;
    }
}

TEST(VideoOptions, WhatIsTaken) {
    qvn_SOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--capture", "c", "--video", "Show.MP4", "--start", "tube", "--stop", "glon"}, &o, &error))
        << error;
    EXPECT_EQ(o.videoPath, "Show.MP4");
    EXPECT_EQ(o.videoScale, 4);  // 1280 x 960
    EXPECT_EQ(o.stop.kind, qvn_SStartPoint::eKind::kPart);
    EXPECT_EQ(o.stop.part, "qvn_cPartGlon");
    // A stop alone, live or captured; a time against a part is judged by
    // the show itself.
    EXPECT_TRUE(Parse({"--stop", "2:00.5"}, &o, &error)) << error;
    EXPECT_EQ(o.stop.ms, 120500);
    EXPECT_TRUE(Parse({"--start", "glon", "--stop", "1:00"}, &o, &error)) << error;
    EXPECT_TRUE(Parse({"--start", "glon", "--stop", "half2"}, &o, &error)) << error;
    EXPECT_TRUE(Parse({"--capture", "c", "--video", "a.b/v.mkv", "--video-scale", "1"}, &o, &error)) << error;
    EXPECT_EQ(o.videoScale, 1);
}

TEST(VideoOptions, TheProgramRefusesWithExitTwoAndHelpListsTheOptions) {
    std::string out;
    EXPECT_EQ(RunDemo("--video v.mkv", &out), 2);
    EXPECT_NE(out.find("--video only applies with --capture"), std::string::npos) << out;
    EXPECT_EQ(RunDemo("--capture c --video v.webm", &out), 2);
    EXPECT_NE(out.find("v.webm"), std::string::npos) << out;
    ASSERT_EQ(RunDemo("--help", &out), 0);
    for (const char* option : {"--video FILE", "--video-scale N", "--stop WHERE"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
}

TEST(VideoOptions, AFileThatCannotBeWrittenIsReportedBeforeTheShow) {
    std::string out;
    EXPECT_EQ(RunDemo("--capture c --video no/such/folder/v.mkv", &out), 1);
    if (QVN_VIDEO_BUILT) {
        EXPECT_NE(out.find("no/such/folder/v.mkv: cannot write"), std::string::npos) << out;
    } else {
        EXPECT_NE(out.find("video export is not built into this program"), std::string::npos) << out;
    }
    // Nothing was played.
    EXPECT_FALSE(fs::exists(fs::path(testing::TempDir()) /
                            "qvn_video_options_AFileThatCannotBeWrittenIsReportedBeforeTheShow" / "c" / "audio.wav"));
}

TEST(VideoOptions, ProgressLine) {
    qvn_SVideoProgress p;
    p.frames = 600;
    p.runMs = 10000;
    p.plannedMs = 40000;
    p.wallSeconds = 5;
    EXPECT_EQ(qvn_VideoProgressLine(p), "video:  25%  600 frames  0:10  2.00x real time  0:15 left");
    // Past an estimated plan: never the whole, nothing left.
    p.runMs = 50000;
    EXPECT_EQ(qvn_VideoProgressLine(p), "video:  99%  600 frames  0:50  10.00x real time  0:00 left");
    p.plannedMs = -1;
    EXPECT_EQ(qvn_VideoProgressLine(p), "video: 600 frames  0:50  10.00x real time");
    // The plan: the start to the stop, cut by --quit-at.
    qvn_SStartPoint start, stop;
    start.kind = stop.kind = qvn_SStartPoint::eKind::kTime;
    start.ms = 70000;
    stop.ms = 75000;
    EXPECT_EQ(qvn_VideoPlannedMs(start, stop, -1), 5000);
    EXPECT_EQ(qvn_VideoPlannedMs(start, stop, 2000), 2000);
    stop.kind = qvn_SStartPoint::eKind::kPart;
    stop.part = "qvn_cPartNoSuchPart";
    EXPECT_GT(qvn_VideoPlannedMs(start, stop, -1), 300000);  // to the show's end
}

}  // namespace
