// The shell's small services: frame timer, error log, random generator,
// pixel-format analysis, options.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "qvn_ErrorLog.h"
#include "qvn_Options.h"
#include "qvn_Part.h"
#include "qvn_PixelFormat.h"
#include "qvn_Random.h"
#include "qvn_ShowParts.h"
#include "qvn_System.h"

namespace {

class cManualClock : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return now; }
    void DebugOutput(const char* text) override { debug += text; }
    void ShowMessageBox(const char* text, const char* caption, unsigned flags) override {
        box = std::string(caption) + "|" + text + "|" + std::to_string(flags);
    }
    void SetCursorVisible(bool) override {}
    uint32_t now = 1000;
    std::string debug, box;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(FrameTimer, FirstCallIsOneThenAveragesTowardTheInitialTwos) {
    cManualClock clock;
    qvn_sys::Install(&clock);
    qvn_cFrameTimer timer;
    EXPECT_EQ(timer.getSpeedFactor(), 1.0f);
    for (int dt : {16, 33}) {
        qvn_cFrameTimer t;
        t.getSpeedFactor();
        clock.now += dt;
        float expected = (static_cast<float>(dt) * 0.06f + 6.0f) / 4.0f;
        EXPECT_FLOAT_EQ(t.getSpeedFactor(), expected) << dt;
    }
    // Once the initial entries are gone, every entry is dt times the
    // single-precision 0.06 (bits 0x3D75C28F), and the result is their mean
    // to the last bit: a constant kept in double or a rounded 1/16.7 differs.
    const uint32_t kBits = 0x3D75C28Fu;
    float k;
    std::memcpy(&k, &kBits, 4);
    int mismatches = 0;
    for (int dt = 1; dt <= 250; ++dt) {
        qvn_cFrameTimer t;
        t.getSpeedFactor();
        float got = 0;
        for (int i = 0; i < 4; ++i) {
            clock.now += dt;
            got = t.getSpeedFactor();
        }
        const float e = static_cast<float>(dt) * k;
        const float expected = (((e + e) + e) + e) * 0.25f;
        if (std::memcmp(&got, &expected, 4) != 0 && ++mismatches < 5) ADD_FAILURE() << "dt " << dt << ": " << got;
    }
    EXPECT_EQ(mismatches, 0);
    // Steady 60 Hz frames settle at about 1.0 once the initial entries are gone.
    clock.now += 0;
    for (int i = 0; i < 4; ++i) {
        clock.now += 16;
        timer.getSpeedFactor();
    }
    clock.now += 17;
    EXPECT_NEAR(timer.getSpeedFactor(), 1.0f, 0.03f);
    qvn_sys::Install(nullptr);
}

TEST(ErrorLog, HeaderMessagesTruncationAndUnwritableFile) {
    cManualClock services;
    qvn_sys::Install(&services);
    qvn_sys::SetVerbose(false);
    std::string path = testing::TempDir() + "qvn_test.errorlog";
    {
        std::ofstream stale(path);
        stale << "previous run\n";
    }
    {
        qvn_cErrorLog log(path.c_str());
        LogMessage("TimePosition:%d MP3Position:%d\n", -450, 0);
        std::string longText(5000, 'x');
        LogMessage("%s", longText.c_str());
        ErrorHandler("failed to open file : %s\n", "a.qvn");
        std::string text = ReadFile(path);
        EXPECT_EQ(text.rfind("----- Quorvane error log -----\nDate : ", 0), 0u);
        EXPECT_EQ(text.find("previous run"), std::string::npos);
        // ctime's own newline, then the two of the header.
        EXPECT_NE(text.find("\n\n\nTimePosition:-450 MP3Position:0\n"), std::string::npos);
        // A long message is cut to the buffer, terminator included.
        EXPECT_NE(text.find(std::string(kErrorLogBufferBytes - 1, 'x') + "failed"), std::string::npos);
        EXPECT_EQ(services.box, "Quorvane Error Handler V1.0|failed to open file : a.qvn\n|16");
        EXPECT_NE(services.debug.find("TimePosition:-450"), std::string::npos);
    }
    // Once the log object is gone nothing is written anywhere.
    services.debug.clear();
    LogMessage("after\n");
    EXPECT_TRUE(services.debug.empty());
    EXPECT_EQ(ReadFile(path).find("after"), std::string::npos);
    {
        // A log that cannot be created still feeds the debugger output.
        qvn_cErrorLog log((testing::TempDir() + "no/such/dir/x.errorlog").c_str());
        LogMessage("still seen\n");
        EXPECT_NE(services.debug.find("still seen"), std::string::npos);
    }
    qvn_sys::Install(nullptr);
}

TEST(ErrorLog, LocationLineNamesTheSourcePathInTheTree) {
    EXPECT_STREQ(qvn_SourcePath("/home/u/src/libs/qvn_display/qvn_DisplayDDraw.cpp"), "libs/qvn_display/qvn_DisplayDDraw.cpp");
    EXPECT_STREQ(qvn_SourcePath("/x/app/qvn_Main.cpp"), "app/qvn_Main.cpp");
    EXPECT_STREQ(qvn_SourcePath("plain.cpp"), "plain.cpp");
}

TEST(Random, ClassicSequenceFromSeedOne) {
    qvn_srand(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int v : expected) EXPECT_EQ(qvn_rand(), v);
    qvn_srand(1);
    EXPECT_EQ(qvn_rand(), 41);
}

TEST(PixelFormat, ShiftPairsAndScreenCodes) {
    qvn_cPixelFormat f565, f555;
    f565.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
    EXPECT_EQ(f565.m_nShiftRLow, 11);
    EXPECT_EQ(f565.m_nShiftRDrop, 3);
    EXPECT_EQ(f565.m_nShiftGLow, 5);
    EXPECT_EQ(f565.m_nShiftGDrop, 2);
    EXPECT_EQ(f565.m_nShiftBLow, 0);
    EXPECT_EQ(f565.m_nShiftBDrop, 3);
    EXPECT_EQ(f565.ScreenFormatCode(), 16);
    EXPECT_EQ(f565.ColourBits(), 16);
    f555.SetFromMasks(16, 0x7C00, 0x03E0, 0x001F, false);
    EXPECT_EQ(f555.m_nShiftRLow, 10);
    EXPECT_EQ(f555.m_nShiftRDrop, 3);
    EXPECT_EQ(f555.m_nShiftGLow, 5);
    EXPECT_EQ(f555.m_nShiftGDrop, 3);
    EXPECT_EQ(f555.ScreenFormatCode(), 15);
    EXPECT_EQ(f555.ColourBits(), 15);
    // An empty mask gives (0, 7).
    int32_t low = -1, drop = -1;
    qvn_MaskShifts(0, 16, &low, &drop);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(drop, 7);
    // Colours pack by dropping low bits; 5-5-5 data moves onto 5-6-5.
    EXPECT_EQ(f565.Pack(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(f555.Pack(0xFFFFFF), 0x7FFF);
    EXPECT_EQ(f565.Pack(0x808080), 0x8410);
    EXPECT_EQ(qvn_555To565(0x7FFF), 0xFFDF);
    EXPECT_EQ(qvn_555To565(0x4210), 0x8410);
}

// The places the options name are the show's parts, as the programs hand
// them over before parsing.
void UseTheShowsParts() {
    const qvn_SShow show = qvn_DefaultShow();
    qvn_SetStartParts(show.parts, show.partCount);
}

TEST(Options, ParsesEveryOptionAndRefusesNonsense) {
    UseTheShowsParts();
    const char* argv[] = {"demo_sw", "--capture", "out", "--fps", "30", "--frames", "10:20", "--log", "l.txt",
                          "--datas", "d", "--display-device", "NoSuchDriver", "--scale", "3", "--verbose", "--quit-at", "500"};
    qvn_SOptions o;
    std::string error;
    ASSERT_TRUE(qvn_ParseOptions(sizeof argv / sizeof *argv, argv, &o, &error)) << error;
    EXPECT_TRUE(o.capture);
    EXPECT_EQ(o.captureDir, "out");
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.firstPngFrame, 10);
    EXPECT_EQ(o.lastPngFrame, 20);
    EXPECT_EQ(o.logPath, "l.txt");
    EXPECT_EQ(o.datasDir, "d");
    EXPECT_EQ(o.displayDevice, "NoSuchDriver");
    EXPECT_EQ(o.scale, 3);
    EXPECT_TRUE(o.windowed);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.quitAtMs, 500);

    auto refuses = [](std::initializer_list<const char*> args) {
        std::vector<const char*> v = {"demo_sw"};
        v.insert(v.end(), args);
        qvn_SOptions opts;
        std::string err;
        bool ok = qvn_ParseOptions(static_cast<int>(v.size()), v.data(), &opts, &err);
        return !ok && !err.empty();
    };
    EXPECT_TRUE(refuses({"--fps", "0"}));
    EXPECT_TRUE(refuses({"--fps", "12x"}));
    EXPECT_TRUE(refuses({"--frames", "9:3"}));
    EXPECT_TRUE(refuses({"--capture"}));
    EXPECT_TRUE(refuses({"--bogus"}));
    EXPECT_TRUE(refuses({"--quit-at", "5"}));  // only meaningful in capture
    qvn_SOptions open;
    const char* tail[] = {"demo_sw", "--frames", "7:"};
    ASSERT_TRUE(qvn_ParseOptions(3, tail, &open, &error));
    EXPECT_EQ(open.firstPngFrame, 7);
    EXPECT_EQ(open.lastPngFrame, -1);
}

TEST(Options, StartPointsKeyScriptsAndNoSound) {
    UseTheShowsParts();
    auto parse = [](std::initializer_list<const char*> args, qvn_SOptions* o, std::string* err) {
        std::vector<const char*> v = {"demo_sw"};
        v.insert(v.end(), args);
        return qvn_ParseOptions(static_cast<int>(v.size()), v.data(), o, err);
    };
    struct SCase {
        const char* text;
        qvn_SStartPoint::eKind kind;
        int ms;
        const char* part;
    };
    const SCase good[] = {
        {"1:30", qvn_SStartPoint::eKind::kTime, 90000, ""},
        {"0:05.25", qvn_SStartPoint::eKind::kTime, 5250, ""},
        {"12:00.007", qvn_SStartPoint::eKind::kTime, 720007, ""},
        {"42500", qvn_SStartPoint::eKind::kTime, 42500, ""},
        {"0", qvn_SStartPoint::eKind::kTime, 0, ""},
        {"half2", qvn_SStartPoint::eKind::kHalf2, 0, ""},
        {"titles", qvn_SStartPoint::eKind::kPart, 0, "qvn_cPartTitles"},
        {"chromatunnel", qvn_SStartPoint::eKind::kPart, 0, "qvn_cPartChromaTunnel"},
        {"scroller", qvn_SStartPoint::eKind::kPart, 0, "qvn_cPartScroller"},
    };
    for (const SCase& c : good) {
        qvn_SOptions o;
        std::string err;
        ASSERT_TRUE(parse({"--start", c.text}, &o, &err)) << c.text << ": " << err;
        EXPECT_EQ(o.start.kind, c.kind) << c.text;
        EXPECT_EQ(o.start.ms, c.ms) << c.text;
        EXPECT_EQ(o.start.part, c.part) << c.text;
    }
    // Every part --help lists is a start point.
    int n = 0;
    const qvn_SStartPart* parts = qvn_StartParts(&n);
    EXPECT_EQ(n, 14);
    for (int i = 0; i < n; ++i) EXPECT_NE(std::string(qvn_UsageText()).find(parts[i].shortName), std::string::npos);
    for (const char* bad : {"", "1:3", "1:60", ":30", "1:30.", "1:30.1234", "-5", "12x", "half3", "Titles",
                            "qvn_cPartTitles", "99999999999"}) {
        qvn_SOptions o;
        std::string err;
        EXPECT_FALSE(parse({"--start", bad}, &o, &err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }

    // A part may be named by any beginning of its name that no other part
    // shares, for --start and --stop alike; the refusal lists what would do.
    struct SPrefix {
        const char* text;
        const char* part;
    };
    for (const SPrefix& c : {SPrefix{"chroma", "qvn_cPartChromaTunnel"}, SPrefix{"c", ""}, SPrefix{"cr", "qvn_cPartCredits"},
                             SPrefix{"ti", "qvn_cPartTitles"}, SPrefix{"t", ""}, SPrefix{"tr", "qvn_cPartTravel"},
                             SPrefix{"gl", "qvn_cPartGlon"}, SPrefix{"ge", "qvn_cPartGel"}, SPrefix{"g", ""},
                             SPrefix{"scr", "qvn_cPartScroller"}, SPrefix{"s", ""}, SPrefix{"met", "qvn_cPartMetaballs"}}) {
        for (const char* option : {"--start", "--stop"}) {
            qvn_SOptions o;
            std::string err;
            const bool ok = parse({option, c.text}, &o, &err);
            EXPECT_EQ(ok, *c.part != 0) << option << " " << c.text << ": " << err;
            if (*c.part) {
                EXPECT_EQ((std::string(option) == "--start" ? o.start : o.stop).part, c.part) << c.text;
                continue;
            }
            EXPECT_EQ(err.compare(0, std::strlen(option), option), 0) << err;
            EXPECT_NE(err.find("more than one part"), std::string::npos) << err;
        }
    }
    {
        qvn_SOptions o;
        std::string err;
        EXPECT_FALSE(parse({"--start", "tg"}, &o, &err));
        // Every part's name is offered, in show order.
        EXPECT_NE(err.find("titles, pillars, digits, credits, smileys, tube, travel, glon, chromatunnel, metaballs, "
                           "shadow, gel, joys, scroller"),
                  std::string::npos)
            << err;
        EXPECT_FALSE(parse({"--start", "t"}, &o, &err));
        EXPECT_NE(err.find("titles, tube, travel"), std::string::npos) << err;
        EXPECT_EQ(err.find("glon"), std::string::npos) << err;
    }

    qvn_SOptions o;
    std::string err;
    ASSERT_TRUE(parse({"--capture", "x", "--keys", "0:Escape,250:f12,250:space,900:A,1000:PageDown"}, &o, &err)) << err;
    ASSERT_EQ(o.keys.size(), 5u);
    EXPECT_EQ(o.keys[0].ms, 0);
    EXPECT_EQ(o.keys[0].key, kQvnKeyEscape);
    EXPECT_EQ(o.keys[1].key, kQvnKeyF12);
    EXPECT_EQ(o.keys[2].key, kQvnKeySpace);
    EXPECT_EQ(o.keys[3].key, 'a');
    EXPECT_EQ(o.keys[4].key, kQvnKeyPageDown);
    EXPECT_TRUE(qvn_KeyEndsShow(o.keys[0].key));
    EXPECT_TRUE(qvn_KeyEndsShow(o.keys[1].key));
    EXPECT_FALSE(qvn_KeyEndsShow(o.keys[2].key));
    EXPECT_FALSE(qvn_KeyEndsShow(o.keys[3].key));
    for (const char* bad : {"", "100", "100:", ":Escape", "100:Nope", "100:F13", "100:F0", "200:a,100:b",
                            "100:Escape,", "x:Escape"}) {
        qvn_SOptions k;
        std::string e;
        EXPECT_FALSE(parse({"--capture", "x", "--keys", bad}, &k, &e)) << bad;
        EXPECT_FALSE(e.empty()) << bad;
    }
    qvn_SOptions live;
    EXPECT_FALSE(parse({"--keys", "100:Escape"}, &live, &err));  // a script needs the capture clock
    qvn_SOptions quiet;
    ASSERT_TRUE(parse({"--nosound", "--start", "half2"}, &quiet, &err)) << err;
    EXPECT_TRUE(quiet.noSound);
}

}  // namespace
