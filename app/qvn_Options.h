// Command-line options. The show itself needs none; they serve desktop users
// (window, scale), people making videos and tests (capture), and bug reports
// (log, verbose).
#pragma once

#include <string>
#include <vector>

#include "qvn_Keys.h"
#include "qvn_PictureFilter.h"
#include "qvn_StartPoint.h"

struct qvn_SOptions {
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool windowed = false;
    int scale = 0;
    qvn_eFilter filter = qvn_eFilter::kNearest;
    // Windows: the desktop's mode, the frame scaled (the SDL2 screens always are).
    bool desktop = false;
    // Pace to this rate instead of the display's refresh (0: the display's).
    int refreshHz = 0;
    // The sound device's buffer in milliseconds (0: the device's default).
    int audioBufferMs = 0;
    std::string logPath;
    std::string datasDir;
    std::string displayDevice = "display";
    bool capture = false;
    std::string captureDir;
    int fps = 60;
    int firstPngFrame = 0;
    int lastPngFrame = -1;
    int quitAtMs = -1;
    bool stats = false;
    std::string storyboardPath;
    // Where the frames start being shown (kNone: the show's start).
    qvn_SStartPoint start;
    // Viewer keys: pause, step, seek, jump, loop, screenshot, overlay.
    bool viewer = false;
    // No sound device at all; the show keeps its clock.
    bool noSound = false;
    // Capture: key presses at run times (sorted).
    std::vector<qvn_SScriptedKey> keys;
    // Where the show ends (kNone: its end); the frame that reaches it is not shown.
    qvn_SStartPoint stop;
    // Capture: the run as one video file (.mkv or .mp4), each pixel a
    // videoScale x videoScale block.
    std::string videoPath;
    int videoScale = 4;
    bool videoScaleGiven = false;
};

// Parses argv[1..argc-1]; false with a message in *error on a bad option.
bool qvn_ParseOptions(int argc, const char* const* argv, qvn_SOptions* options, std::string* error);
const char* qvn_UsageText();
const char* qvn_VersionText();
