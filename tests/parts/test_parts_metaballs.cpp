// The metaballs part at the times its timeline gives, at 60 and 15 frames
// per second: the vampire and opa pictures fading away, the room fading in
// from black with the balls drawn into it, the greetings lines, the
// white-out; and a missing environment map failing the second half's load.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "parts_Harness.h"
#include "parts_Pictures.h"
#include "qvn_PictureReaders.h"

using namespace parts_test;

namespace {

const int kShots[] = {WantShot(2, 38500), WantShot(2, 45900), WantShot(2, 47300), WantShot(2, 47410),
                      WantShot(2, 48600), WantShot(2, 52000), WantShot(2, 56800), WantShot(2, 57600),
                      WantShot(2, 61600), WantShot(2, 79600), WantShot(2, 82300), WantShot(2, 82500)};

// Pixels whose colour is one of the environment map's texels: the balls are
// drawn with nothing but those.
int MapPixels(const SShot& shot) {
    static const std::set<uint32_t> colours = [] {
        std::set<uint32_t> set;
        std::unique_ptr<uint16_t[]> map(loadMapTGA((DataDir() + "/Mapbl.tga").c_str(), 16));
        if (map)
            for (int i = 0; i < 65536; ++i) {
                const uint32_t p = map[i];
                set.insert(((p >> 11) << 19) | (((p >> 5) & 63) << 10) | ((p & 31) << 3));
            }
        return set;
    }();
    int n = 0;
    for (uint32_t p : shot.rgb) n += colours.count(p & 0xF8FCF8) != 0;
    return n;
}

// How strongly a greetings line shows: the line is rows (y, height) of the
// greetings picture, placed at x = 0 and a random height; the best
// correlation over every height it can take (0 to 199).
double GreetingLine(const SShot& shot, int row, int height) {
    const SPicture greets = DataPicture("greets.jpg");
    if (greets.rgb.empty() || row + height > greets.height) return 0.0;
    SPicture line;
    line.width = greets.width;
    line.height = height;
    line.rgb.assign(greets.rgb.begin() + static_cast<size_t>(row) * greets.width,
                    greets.rgb.begin() + static_cast<size_t>(row + height) * greets.width);
    double best = 0.0;
    for (int y = 0; y < 200; ++y) best = std::max(best, Correlation(shot, line, 0, y));
    return best;
}

class Metaballs : public testing::TestWithParam<int> {};

TEST_P(Metaballs, PicturesFadeAwayThenTheRoomFadesInWithTheBalls) {
    const int fps = GetParam();
    // The vampire picture, added over black, is there from the start.
    EXPECT_GT(Mean(Shot(fps, 2, 38500)), 30.0);
    // From 46000 ms vampire and opa zoom and fade by 0.01 a frame: 1.3 s
    // later little is left of them.
    EXPECT_LT(Mean(Shot(fps, 2, 47300)), Mean(Shot(fps, 2, 45900)) * 0.4);
    // At 47410 ms the black layer goes up at full strength; the balls are
    // not drawn yet.
    EXPECT_LT(Mean(Shot(fps, 2, 47410)), 30.0);
    EXPECT_LT(MapPixels(Shot(fps, 2, 47410)), 300);
    // 0.025 a frame later the room is out of the black, with the balls in it.
    EXPECT_GT(Mean(Shot(fps, 2, 48600)), 80.0);
    for (int ms : {48600, 52000, 56800}) {
        EXPECT_GT(MapPixels(Shot(fps, 2, ms)), 3000) << ms;
        EXPECT_LT(MapPixels(Shot(fps, 2, 45900)), 300);
    }
}

TEST_P(Metaballs, GreetingsAppearFrom57000AndTheWhiteOutEndsThePart) {
    const int fps = GetParam();
    // The first line (57000 ms: rows 343 to 375 of the picture) and the last
    // (79000 ms: rows 39 to 70) show sharp once their smear has cleared;
    // before 57000 ms no line is there.
    EXPECT_LT(GreetingLine(Shot(fps, 2, 56800), 343, 33), 0.3);
    EXPECT_GT(GreetingLine(Shot(fps, 2, 57600), 343, 33), 0.5);
    EXPECT_GT(GreetingLine(Shot(fps, 2, 79600), 39, 32), 0.5);
    // The white-out starts at 82300 ms from nothing and ends the part once
    // it has been full for a few frames.
    EXPECT_LT(Mean(Shot(fps, 2, 82300)), 200.0);
    const SRun& run = Show(fps);
    const SRun::SPartSpan* part = run.span("qvn_cPartMetaballs");
    ASSERT_NE(part, nullptr);
    EXPECT_GE(run.frames[part->last].showMs, 82300);
    EXPECT_LT(run.frames[part->last].showMs, 82300 + 17 * 1000 / 60 + 1000 / fps + 1);
    // The white layer's scale passes 1 after about ten frames at 60 frames
    // per second (three at 15): the last frames are fully white.
    ASSERT_TRUE(Shot(fps, 2, 82500).valid());
    EXPECT_GT(Mean(Shot(fps, 2, 82500)), 250.0);
}

INSTANTIATE_TEST_SUITE_P(AtFps, Metaballs, testing::Values(60, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "fps"; });

// A missing environment map fails the part's load with the file named: the
// second half is skipped behind the "Error while loading" box, and the
// program still ends normally.
TEST(MetaballsLoad, AMissingEnvironmentMapFailsTheHalfWithTheFileNamed) {
    for (const char* damage : {"missing", "short"}) {
        const std::string dir = DataCopy(std::string("metaballs_map_") + damage);
        // Without the first track the first half is skipped at once.
        std::remove((dir + "/fantom.mp3").c_str());
        if (std::string(damage) == "missing") {
            ASSERT_EQ(std::remove((dir + "/Mapbl.tga").c_str()), 0);
        } else {
            std::FILE* f = std::fopen((dir + "/Mapbl.tga").c_str(), "r+b");
            ASSERT_NE(f, nullptr);
            std::fclose(f);
            std::filesystem::resize_file(dir + "/Mapbl.tga", 131089);
        }
        const SRun run = RunProgram(dir, 60, 30000);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.log.find("qvn_cPartMetaballs::load() : Can't read environment map <datas/Mapbl.tga>."),
                  std::string::npos)
            << run.log;
        EXPECT_NE(run.log.find("datas/Mapbl.tga"), std::string::npos);
        EXPECT_NE(run.framesTxt.find("# message box [Error] Error while loading"), std::string::npos);
        for (const SFrame& f : run.frames) EXPECT_NE(f.phase, 2) << damage;
    }
}

}  // namespace
