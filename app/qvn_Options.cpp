#include "qvn_Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qvn_StopPoint.h"
#include "qvn_VideoExport.h"

static bool ParseInt(const char* text, int minimum, int maximum, int* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (errno || *end || v < minimum || v > maximum) return false;
    *out = static_cast<int>(v);
    return true;
}

// One option's description, wrapped as the rest of the text is: 24 columns
// of indent, lines of at most 95 characters.
static std::string Wrapped(const char* option, const std::string& words) {
    constexpr size_t kIndent = 24, kWidth = 95;
    std::string out = option, line;
    size_t at = 0;
    while (at < words.size()) {
        size_t end = words.find(' ', at);
        if (end == std::string::npos) end = words.size();
        const std::string word = words.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && kIndent + line.size() + 1 + word.size() > kWidth) {
            out += line + "\n" + std::string(kIndent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line + "\n";
}

bool qvn_ParseOptions(int argc, const char* const* argv, qvn_SOptions* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) {
                *error = std::string(arg) + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            o->help = true;
        } else if (!std::strcmp(arg, "--version")) {
            o->version = true;
        } else if (!std::strcmp(arg, "--verbose") || !std::strcmp(arg, "-v")) {
            o->verbose = true;
        } else if (!std::strcmp(arg, "--window")) {
            o->windowed = true;
        } else if (!std::strcmp(arg, "--scale")) {
            if (!value(&v)) return false;
            if (!ParseInt(v, 1, 16, &o->scale)) {
                *error = "--scale takes a whole number from 1 to 16";
                return false;
            }
            o->windowed = true;
        } else if (!std::strcmp(arg, "--filter")) {
            if (!value(&v)) return false;
            if (!qvn_ParseFilter(v, &o->filter)) {
                *error = std::string("--filter ") + v + ": the filters are nearest, sharp and crt";
                return false;
            }
        } else if (!std::strcmp(arg, "--refresh")) {
            if (!value(&v)) return false;
            if (!ParseInt(v, 24, 500, &o->refreshHz)) {
                *error = "--refresh takes frames a second from 24 to 500";
                return false;
            }
        } else if (!std::strcmp(arg, "--audio-buffer")) {
            if (!value(&v)) return false;
            if (!ParseInt(v, 5, 180, &o->audioBufferMs)) {
                *error = "--audio-buffer takes milliseconds from 5 to 180";
                return false;
            }
        } else if (!std::strcmp(arg, "--desktop")) {
            o->desktop = true;
        } else if (!std::strcmp(arg, "--log")) {
            if (!value(&v)) return false;
            o->logPath = v;
        } else if (!std::strcmp(arg, "--datas")) {
            if (!value(&v)) return false;
            o->datasDir = v;
        } else if (!std::strcmp(arg, "--display-device")) {
            if (!value(&v)) return false;
            o->displayDevice = v;
        } else if (!std::strcmp(arg, "--stats")) {
            o->stats = true;
        } else if (!std::strcmp(arg, "--storyboard")) {
            if (!value(&v)) return false;
            o->storyboardPath = v;
        } else if (!std::strcmp(arg, "--capture")) {
            if (!value(&v)) return false;
            o->capture = true;
            o->captureDir = v;
        } else if (!std::strcmp(arg, "--fps")) {
            if (!value(&v)) return false;
            if (!ParseInt(v, 1, 1000, &o->fps)) {
                *error = "--fps takes a whole number from 1 to 1000";
                return false;
            }
        } else if (!std::strcmp(arg, "--frames")) {
            if (!value(&v)) return false;
            if (!std::strcmp(v, "none")) {
                o->firstPngFrame = -1;
                continue;
            }
            const char* colon = std::strchr(v, ':');
            std::string first = colon ? std::string(v, colon) : std::string(v);
            std::string last = colon ? std::string(colon + 1) : first;
            bool ok = ParseInt(first.c_str(), 0, 0x7FFFFFFF, &o->firstPngFrame);
            o->lastPngFrame = -1;  // "A:" runs to the end
            if (ok && !last.empty()) ok = ParseInt(last.c_str(), 0, 0x7FFFFFFF, &o->lastPngFrame);
            if (!ok || (o->lastPngFrame >= 0 && o->lastPngFrame < o->firstPngFrame)) {
                *error = "--frames takes A:B (frame numbers, A <= B), A: or none";
                return false;
            }
        } else if (!std::strcmp(arg, "--start")) {
            if (!value(&v)) return false;
            if (!qvn_ParseStartPoint(v, &o->start, error)) return false;
        } else if (!std::strcmp(arg, "--viewer")) {
            o->viewer = true;
        } else if (!std::strcmp(arg, "--stop")) {
            if (!value(&v)) return false;
            if (!qvn_stop::Parse(v, &o->stop, error)) return false;
        } else if (!std::strcmp(arg, "--video")) {
            if (!value(&v)) return false;
            if (qvn_VideoContainerOf(v) == qvn_eVideoContainer::kUnknown) {
                *error = std::string("--video ") + v + ": the file must end in .mkv (lossless) or .mp4 (H.264)";
                return false;
            }
            o->videoPath = v;
        } else if (!std::strcmp(arg, "--video-scale")) {
            if (!value(&v)) return false;
            if (!ParseInt(v, 1, kQvnVideoMaxScale, &o->videoScale)) {
                *error = "--video-scale takes a whole number from 1 to 8";
                return false;
            }
            o->videoScaleGiven = true;
        } else if (!std::strcmp(arg, "--nosound")) {
            o->noSound = true;
        } else if (!std::strcmp(arg, "--keys")) {
            if (!value(&v)) return false;
            if (!qvn_ParseKeyScript(v, &o->keys, error)) return false;
        } else if (!std::strcmp(arg, "--quit-at")) {
            if (!value(&v)) return false;
            if (!ParseInt(v, 0, 0x7FFFFFFF, &o->quitAtMs)) {
                *error = "--quit-at takes milliseconds of capture time";
                return false;
            }
        } else {
            *error = std::string("unknown option ") + arg + " (see --help)";
            return false;
        }
    }
    if (!o->capture && (o->quitAtMs >= 0)) {
        *error = "--quit-at only applies with --capture";
        return false;
    }
    if (!o->capture && !o->keys.empty()) {
        *error = "--keys only applies with --capture";
        return false;
    }
    if (!o->capture && !o->videoPath.empty()) {
        *error = "--video only applies with --capture (the video is made from a capture run)";
        return false;
    }
    if (o->videoPath.empty() && o->videoScaleGiven) {
        *error = "--video-scale only applies with --video";
        return false;
    }
    if (!qvn_stop::CheckOrder(o->start, o->stop, error)) return false;
    if (!o->capture && !o->storyboardPath.empty()) {
        *error = "--storyboard only applies with --capture";
        return false;
    }
    return true;
}

const char* qvn_UsageText() {
    static std::string text;
    text = "Usage: demo_sw [options]   (demo_hw takes the same)\n"
           "Plays the show from the datas/ folder (working directory, else beside the program).\n"
           "\n"
           "Display:\n"
           "  --window              play in a window (640 x 480) instead of full screen\n"
           "  --scale N             window of N x 320 by N x 240 pixels (implies --window)\n"
           "  --filter NAME         the picture's look: nearest (whole-number blocks, the default), sharp\n"
           "                        (fills the screen at 4:3, edges blended over one screen pixel) or\n"
           "                        crt (scanlines and a light mask); --video takes it too\n"
           "  --desktop             keep the desktop's display mode, the frame scaled and centred (what\n"
           "                        full screen always does outside Windows)\n"
           "  --refresh HZ          show HZ frames a second on the display's time instead of its own\n"
           "                        refresh (for a display that does not say its rate, or to hold a\n"
           "                        variable-refresh one to one rate)\n"
           "  --display-device NAME the display device to open (default \"display\")\n"
           "Data and diagnostics:\n"
           "  --datas DIR           read the show's files from DIR instead of datas/\n"
           "  --log PATH            write the error log to PATH\n"
           "  --verbose, -v         echo the debugger output to standard error\n"
           "Capture (no window, no sound card, virtual clock):\n"
           "  --capture DIR         write DIR/frames.txt, DIR/frame_NNNNNN.png and DIR/audio.wav\n"
           "  --fps N               capture frame rate (default 60)\n"
           "  --frames A:B          write PNG files only for frames A to B (A: to the end, none: no PNG)\n"
           "  --quit-at MS          act as if Escape were pressed at MS of capture time (from --start)\n"
           "  --keys MS:KEY,...     press keys at MS of capture time, as --quit-at (Escape, F1..F12, Space, Enter,\n"
           "                        Tab, Backspace, Left, Right, Up, Down, PageUp, PageDown, Home, End,\n"
           "                        or one character)\n"
           "  --storyboard FILE.png a grid of thumbnails, one every 2 s of show time\n"
           "  --stats               at exit, per part: frames, frame times, late frames or capture speed\n"
           "  --video FILE          also write the run as one video with its sound: FILE.mkv is lossless\n"
           "                        (FFV1 and FLAC), FILE.mp4 is H.264 and AAC for video sites; frames\n"
           "                        are placed at their virtual_ms, so the sound stays in step\n"
           "  --video-scale N       each pixel of the video is N x N (1 to 8; default 4: 1280 x 960)\n"
           "Starting elsewhere (every mode):\n";
    // The parts come from the program's table, so the list is never out of
    // step with what --start accepts.
    std::string where =
        "show the frames from WHERE on, the same frames an uninterrupted run has there: the show is played "
        "from its start, unseen, first. WHERE is mm:ss[.mmm] or milliseconds on the show's timeline (the first "
        "half's clock, running on through the interlude and the second half), half2, or a part:";
    int n = 0;
    const qvn_SStartPart* parts = qvn_StartParts(&n);
    for (int i = 0; i < n; ++i) {
        where += std::string(i ? ", " : " ") + parts[i].shortName;
        if (i + 1 == n || parts[i + 1].half != parts[i].half)
            where += parts[i].half == 1 ? " (first half)" : " (second half)";
    }
    where += ", or any beginning of a part's name no other shares (chroma, met). In capture mode the frame numbers, "
             "virtual_ms, --frames, --quit-at, --keys and audio.wav count from WHERE; frames.txt's half and show_ms "
             "stay the show's.";
    text += Wrapped("  --start WHERE         ", where);
    text += "  --stop WHERE          end the show where WHERE begins (same forms as --start); the frame\n"
           "                        that reaches it is not shown: --start tube --stop glon shows the\n"
           "                        tube and the travel that follows it\n"
           "  --nosound             open no sound device (the show keeps its timing)\n"
           "  --audio-buffer MS     the sound device's buffer, 5 to 180 ms (default: 1024 samples, 23 ms\n"
           "                        at 44.1 kHz); smaller is sooner, larger is safer on a busy machine\n"
           "Watching:\n"
           "  --viewer              viewer keys (with --keys in capture mode too): Space pauses and\n"
           "                        resumes, . steps one frame while paused, Right / Left seek 10 s,\n"
           "                        Page Down / Page Up jump to the next / previous part, L loops the\n"
           "                        current part, F9 writes a screenshot, Tab shows the time, part and\n"
           "                        frame rate. Every seek lands on the frames of an uninterrupted run.\n"
           "Other:\n"
           "  --help, -h            this text\n"
           "  --version             the program's version\n"
           "\n"
           "Keys: Escape or F12 ends the show; Alt+Enter toggles full screen.\n";
    return text.c_str();
}

const char* qvn_VersionText() { return "Quorvane show engine 0.1.0\n"; }
