// Runs the show in this process in capture mode, from the default data set,
// and keeps what a viewer would have seen: every frame's half, show time and
// part, the frames at the show times the tests ask for, and how many
// allocations happened between two frames.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace parts_test {

struct SFrame {
    int phase;        // 1 or 2 while a half plays, 0 while loading
    int showMs;       // -1 while no track is open
    std::string part; // class name of the running part, "-" for none
    uint64_t allocations;  // operator new calls since the previous frame
    int partRun;           // which run of a part the frame belongs to
};

// A frame kept for a test: 320 x 240 pixels as 0x00RRGGBB.
struct SShot {
    int showMs = -1;  // the show time of the frame kept (first at or after the one asked)
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * 320 + x]; }
    bool valid() const { return !rgb.empty(); }
};

struct SRun {
    int exitCode = -1;
    std::vector<SFrame> frames;
    std::string log;  // the run's error log
    std::string framesTxt;  // the capture's frames.txt (message boxes are noted there)
    double audioSeconds = 0.0;  // length of the captured audio.wav
    // First and last frame index of each run of a part, in show order.
    struct SPartSpan {
        std::string part;
        int phase, first, last;
    };
    std::vector<SPartSpan> spans;
    const SPartSpan* span(const char* part) const;
    // The last frame each part showed (its first run), by class name.
    std::map<std::string, SShot> lastFrames;
    // The first frame each part showed (its first run), by class name: a
    // part's opening does not depend on when the part before it ended.
    std::map<std::string, SShot> firstFrames;
};

// Asks for the frame at (half, showMs) in every run made after this call:
// call it before the run starts (from a static initialiser of a test file).
int WantShot(int half, int showMs);

// Asks for the frame number index (0 = its first) of a part's first run,
// counted from the part's own start: for events timed from whenever the part
// begins. Call it before the run starts, like WantShot.
int WantPartFrame(const char* part, int index);

// The run of the whole show at fps frames per second; made once per fps
// and kept. FirstHalf is the same run, for tests that look at the first half.
const SRun& Show(int fps);
inline const SRun& FirstHalf(int fps) { return Show(fps); }
// The frame kept for (half, showMs) in the run at fps; invalid when that
// frame was never shown.
const SShot& Shot(int fps, int half, int showMs);
// The frame kept for (part, index) in the run at fps; invalid when that part
// never showed so many frames.
const SShot& PartFrame(int fps, const char* part, int index);

// The default data set, generated once per test program.
const std::string& DataDir();
// A copy of the default data set in which the callback may break files.
std::string DataCopy(const std::string& leaf);

// Runs the program in capture mode with extra arguments (in-process), for
// tests of failures; returns the run with its log.
SRun RunProgram(const std::string& dataDir, int fps, int quitAtMs, const std::vector<std::string>& extra = {});

// One line of a capture's frames.txt.
struct SLine {
    int frame = -1;
    long virtualMs = -1;
    int half = -1;
    std::string showMs;
    std::string crc;
    std::string part;
    // The same picture at the same place of the show.
    bool sameFrame(const SLine& o) const {
        return half == o.half && showMs == o.showMs && crc == o.crc && part == o.part;
    }
};
std::vector<SLine> Lines(const std::string& framesTxt);
std::string Describe(const SLine& l);

// Channel helpers.
inline int R(uint32_t p) { return int(p >> 16) & 0xFF; }
inline int G(uint32_t p) { return int(p >> 8) & 0xFF; }
inline int B(uint32_t p) { return int(p) & 0xFF; }
// Mean brightness (0..255) of the shot, or of a rectangle of it.
double Mean(const SShot& s, int x0 = 0, int y0 = 0, int x1 = 320, int y1 = 240);

}  // namespace parts_test
