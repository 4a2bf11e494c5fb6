// The viewer's keys, scripted in capture mode: pause, step, seek both ways,
// jump between parts and loop one. Whatever the session does, every frame it
// shows must be the frame a straight run shows at the same place of the show,
// and each key must have moved the show where it says.
#include <SDL.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "parts_Harness.h"
#include "qvn_Main.h"
#include "qvn_Random.h"
#include "qvn_Run.h"
#include "qvn_ShowParts.h"

using namespace parts_test;

namespace {

using Key = std::pair<int, std::string>;  // half, show time

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct SSession {
    std::vector<SLine> straight, lines;
    std::map<Key, int> byPlace;  // straight frames by place

    SSession(int fps, const std::vector<std::string>& extra, int quitAtMs) {
        straight = Lines(Show(fps).framesTxt);
        for (int i = 0; i < static_cast<int>(straight.size()); ++i)
            byPlace.emplace(Key(straight[i].half, straight[i].showMs), i);
        std::vector<std::string> args = {"--viewer"};
        args.insert(args.end(), extra.begin(), extra.end());
        const SRun run = RunProgram(DataDir(), fps, quitAtMs, args);
        EXPECT_EQ(run.exitCode, 0);
        lines = Lines(run.framesTxt);
    }

    // The straight frame at a session frame's place (-1: none there).
    int Straight(int i) const {
        auto it = byPlace.find(Key(lines[i].half, lines[i].showMs));
        return it == byPlace.end() ? -1 : it->second;
    }
    // The first session frame shown at or after a run time.
    int At(long runMs) const {
        for (int i = 0; i < static_cast<int>(lines.size()); ++i)
            if (lines[i].virtualMs >= runMs) return i;
        return -1;
    }
    // The straight frame a part starts with.
    int PartStart(const std::string& part) const {
        for (int i = 0; i < static_cast<int>(straight.size()); ++i)
            if (straight[i].part == part && straight[i].half > 0) return i;
        return -1;
    }
    int ShowMs(int i) const { return std::stoi(lines[i].showMs); }

    void ExpectEveryFrameIsStraightPlay() const {
        ASSERT_FALSE(lines.empty());
        for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
            const int s = Straight(i);
            ASSERT_GE(s, 0) << "a place straight play never shows: " << Describe(lines[i]);
            ASSERT_TRUE(straight[s].sameFrame(lines[i]))
                << "session " << Describe(lines[i]) << ", straight " << Describe(straight[s]);
        }
    }
    // The session frame i is the straight frame that follows session frame j.
    bool Follows(int i, int j) const { return i > 0 && j >= 0 && Straight(i) == Straight(j) + 1; }
};

}  // namespace

TEST(Viewer, PauseStepSeekJumpAndLoopLandOnStraightPlayAt60fps) {
    const SSession s(60,
                     {"--keys",
                      "6000:Space,6500:.,7000:.,7500:Right,8000:.,8500:Space,10000:Left,12000:PageDown,"
                      "13000:PageDown,14000:PageDown,15000:PageDown,16000:l,30000:l,38000:PageUp"},
                     40000);
    s.ExpectEveryFrameIsStraightPlay();

    // Paused: nothing is shown until a step, and each step shows the next
    // frame of straight play.
    const int paused = s.At(6000) - 1, step1 = s.At(6000), step2 = s.At(6500 + 1);
    ASSERT_GE(paused, 0);
    EXPECT_EQ(s.lines[step1].virtualMs, 6500);
    EXPECT_EQ(s.lines[step2].virtualMs, 7000);
    EXPECT_TRUE(s.Follows(step1, paused));
    EXPECT_TRUE(s.Follows(step2, step1));
    // A seek while paused shows the frame it lands on and stays paused.
    const int landed = s.At(7500);
    EXPECT_EQ(s.lines[landed].virtualMs, 7500);
    const int target = s.ShowMs(step2) + 10000;
    EXPECT_GE(s.ShowMs(landed), target);
    EXPECT_LT(s.ShowMs(landed), target + 17);
    const int step3 = s.At(7501);
    EXPECT_EQ(s.lines[step3].virtualMs, 8000);
    EXPECT_TRUE(s.Follows(step3, landed));
    // Resumed: frame after frame again, from the step on.
    const int resumed = s.At(8001);
    EXPECT_TRUE(s.Follows(resumed, step3));
    EXPECT_TRUE(s.Follows(resumed + 1, resumed));

    // Back 10 s.
    const int before = s.At(10000) - 1, back = s.At(10000);
    EXPECT_GE(s.ShowMs(back), s.ShowMs(before) - 10000);
    EXPECT_LT(s.ShowMs(back), s.ShowMs(before) - 10000 + 17);

    // Four jumps to the next part: pillars, digits, credits, smileys, each at
    // its first frame.
    const char* const next[] = {"qvn_cPartPillars", "qvn_cPartDigits", "qvn_cPartCredits", "qvn_cPartSmileys"};
    for (int k = 0; k < 4; ++k) {
        const int at = s.At(12000 + 1000 * k);
        EXPECT_EQ(s.Straight(at), s.PartStart(next[k])) << next[k];
    }

    // Looping the smileys from 16 s to 30 s: when the part ends, its first
    // frame comes again, and after the loop is let go (in its third run,
    // which ends at about 36.5 s) the tube follows.
    const int smileysStart = s.PartStart("qvn_cPartSmileys");
    int loops = 0, intoTube = 0;
    for (int i = s.At(16000); i < s.At(38000); ++i) {
        if (s.lines[i].virtualMs < 30000 && s.Straight(i) == smileysStart) ++loops;
        if (s.lines[i].part == "qvn_cPartTube") ++intoTube;
        ASSERT_TRUE(s.lines[i].part == "qvn_cPartSmileys" || s.lines[i].virtualMs > 30000) << Describe(s.lines[i]);
    }
    EXPECT_EQ(loops, 2);  // the part lasts about 7 s: two wraps before 30 s
    EXPECT_GT(intoTube, 0);
    // Back to the part before the tube.
    EXPECT_EQ(s.Straight(s.At(38000)), smileysStart);
}

TEST(Viewer, SeeksAcrossTheHalvesAndJumpsAt15fps) {
    // From 24 s into the glon, 10 s on is past the first half's end: the
    // timeline runs on through the interlude into the second half. Page Up
    // from there is the glon, Page Down the second half's first part, and
    // 10 s back from its start the glon again.
    const SSession s(15, {"--start", "glon", "--keys", "24000:Right,26000:PageUp,27000:PageDown,28000:Left"}, 30000);
    s.ExpectEveryFrameIsStraightPlay();
    const SLine& over = s.lines[s.At(24000)];
    EXPECT_EQ(over.half, 2);
    EXPECT_EQ(over.part, "qvn_cPartChromaTunnel");
    EXPECT_EQ(s.Straight(s.At(26000)), s.PartStart("qvn_cPartGlon"));
    EXPECT_EQ(s.Straight(s.At(27000)), s.PartStart("qvn_cPartChromaTunnel"));
    const SLine& back = s.lines[s.At(28000)];
    EXPECT_EQ(back.half, 1);
    EXPECT_EQ(back.part, "qvn_cPartGlon");
}

TEST(Viewer, TheLastPartLoopsAndEscapeStillEndsTheShowAt15fps) {
    const SSession s(15, {"--start", "scroller", "--keys", "1000:l,3000:Right,3500:Right,4000:Right,4500:Right,"
                                                            "5000:Right,5500:Right,6000:Right,6500:Right,7000:Right,"
                                                            "20000:Escape"},
                     -1);
    s.ExpectEveryFrameIsStraightPlay();
    // Nine seeks of 10 s from 1 s in reach 91 s of a part about 98 s long:
    // it ends a few seconds later, and plays again from its first frame.
    const int start = s.PartStart("qvn_cPartScroller");
    int starts = 0;
    for (int i = 0; i < static_cast<int>(s.lines.size()); ++i)
        if (s.Straight(i) == start) ++starts;
    EXPECT_EQ(starts, 2);
    // Escape ends the session at 20 s.
    EXPECT_LT(s.lines.back().virtualMs, 20000);
    EXPECT_GE(s.lines.back().virtualMs, 20000 - 67);
}

TEST(Viewer, AScreenshotIsTheShownFrameExactlyAndNeverOverwritesAt15fps) {
    // Paused at 1 s, two screenshots of the same frame and the overlay on:
    // the capture writes each frame's PNG too, and the screenshots must be
    // byte for byte the PNG of the frame shown (the overlay only ever goes
    // on a window's picture).
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testing::TempDir()) / ("qvn_viewer_shot" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const std::string capture = (dir / "cap").string(), log = (dir / "run.errorlog").string();
    const std::vector<std::string> args = {"demo_sw", "--capture", capture, "--fps", "15", "--start", "pillars",
                                           "--datas", DataDir(), "--log", log, "--viewer", "--keys",
                                           "1000:Space,1500:Tab,2000:F9,2500:F9,3000:Space", "--quit-at", "4000"};
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    qvn_ResetShowState();
    qvn_srand(1);
    ASSERT_EQ(qvn_ProgramMain(static_cast<int>(argv.size()), argv.data(), nullptr, 0, ""), 0);
    const std::vector<SLine> lines = Lines(ReadFile(dir / "cap" / "frames.txt"));
    // The last frame shown before the pause at 1 s: frame 14 at 15 fps.
    ASSERT_GT(lines.size(), 16u);
    char frameName[32];
    std::snprintf(frameName, sizeof frameName, "frame_%06d.png", lines[14].frame);
    const std::string frame = ReadFile(dir / "cap" / frameName);
    ASSERT_FALSE(frame.empty());
    std::vector<std::string> shots;
    for (const auto& entry : fs::directory_iterator(dir / "cap"))
        if (entry.path().filename().string().rfind("screenshot_", 0) == 0) shots.push_back(entry.path().string());
    std::sort(shots.begin(), shots.end());
    ASSERT_EQ(shots.size(), 2u);
    // Named after the show's timeline (the pillars start at 22.083 s).
    EXPECT_EQ(fs::path(shots[0]).filename().string(), "screenshot_00-23.016.png");
    EXPECT_EQ(fs::path(shots[1]).filename().string(), "screenshot_00-23.016_2.png");
    for (const std::string& shot : shots) EXPECT_TRUE(ReadFile(shot) == frame) << shot;
    fs::remove_all(dir);
}

namespace {

std::vector<uint32_t> ReadPngRGB(const std::string& path, int* w, int* h) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint32_t> out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return out;
    *w = static_cast<int>(image.width);
    *h = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) out.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
    return out;
}

void PressKey(SDL_Keycode key) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    SDL_PushEvent(&e);
}

// Presses the live test's keys at frames of the show, not at moments of the
// machine's clock: Tab at the 60th frame shown, Space at the 70th, then,
// while paused (no frame is shown), F9 and Escape some pumps later. The
// pump that follows a press takes it, as it would a user's.
class cKeysAtFrames : public qvn_cRunObserver {
public:
    void OnFrameShown() override {
        ++m_nShown;
        if (m_nShown == 60) PressKey(SDLK_TAB);
        if (m_nShown == 70) {
            PressKey(SDLK_SPACE);
            m_nPumpsPaused = 0;
        }
    }
    void OnPump() override {
        // Whatever happens, the run ends: a show that never reaches its
        // 70th frame still gets its Escape.
        if (++m_nPumps == 200000) PressKey(SDLK_ESCAPE);
        if (m_nPumpsPaused < 0) return;
        ++m_nPumpsPaused;
        if (m_nPumpsPaused == 10) PressKey(SDLK_F9);
        if (m_nPumpsPaused == 20) PressKey(SDLK_ESCAPE);
    }
    int Shown() const { return m_nShown; }

private:
    int m_nShown = 0, m_nPumps = 0, m_nPumpsPaused = -1;
};

}  // namespace

TEST(Viewer, LiveTheOverlayIsOnTheWindowsPictureOnly) {
    // The program live on SDL's dummy drivers (a window of 640 x 480, the
    // frame at 2x), keys pressed as frames are shown: Tab, Space, F9, Escape.
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testing::TempDir()) / ("qvn_viewer_live" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const std::string log = (dir / "run.errorlog").string();
    const std::vector<std::string> args = {"demo_sw", "--window", "--viewer", "--datas", DataDir(), "--log", log};
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    // Heard before the program's own observers, which the program adds after
    // it and clears at its end.
    cKeysAtFrames keys;
    qvn_run::Add(&keys);
    qvn_ResetShowState();
    qvn_srand(1);
    const int exitCode = qvn_ProgramMain(static_cast<int>(argv.size()), argv.data(), nullptr, 0, "");
    qvn_run::Remove(&keys);
    EXPECT_GE(keys.Shown(), 70);
    fs::current_path(previous);
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(exitCode, 0);

    std::string exactPath, windowPath;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("screenshot_", 0) != 0) continue;
        (name.find("_window") != std::string::npos ? windowPath : exactPath) = entry.path().string();
    }
    ASSERT_FALSE(exactPath.empty());
    ASSERT_FALSE(windowPath.empty());
    int w = 0, h = 0, ww = 0, wh = 0;
    const std::vector<uint32_t> exact = ReadPngRGB(exactPath, &w, &h);
    const std::vector<uint32_t> window = ReadPngRGB(windowPath, &ww, &wh);
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 240);
    ASSERT_EQ(ww, 640);
    ASSERT_EQ(wh, 480);
    // Away from the top-left corner the window shows the exact frame at 2x;
    // in the corner the overlay writes on it (and darkens it, which a black
    // loading frame does not show: count on the text).
    // (The window's renderer widens 5-6-5 its own way: within a step of 8.)
    auto near = [](uint32_t a, uint32_t b) {
        return std::abs(R(a) - R(b)) < 8 && std::abs(G(a) - G(b)) < 8 && std::abs(B(a) - B(b)) < 8;
    };
    int differentInCorner = 0, differentElsewhere = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool same = near(window[size_t(y) * 640 + x], exact[size_t(y / 2) * 320 + x / 2]);
            if (x >= 8 && x < 200 && y >= 8 && y < 50) differentInCorner += !same;
            else if (x >= 400 || y >= 100) differentElsewhere += !same;
        }
    EXPECT_EQ(differentElsewhere, 0);
    EXPECT_GT(differentInCorner, 300);
    fs::remove_all(dir);
}
