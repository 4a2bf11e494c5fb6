#include "parts_Harness.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <sstream>

#include <gtest/gtest.h>

#include "qvn_Capture.h"
#include "qvn_Main.h"
#include "qvn_Png.h"
#include "qvn_Random.h"
#include "qvn_ShowParts.h"
#include "qvn_Window.h"

// Every allocation of the test program is counted, so a test can see whether
// a part allocates while its frames play.
static std::atomic<uint64_t> g_nAllocations{0};

void* operator new(size_t size) {
    ++g_nAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    ++g_nAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    ++g_nAllocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    ++g_nAllocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace parts_test {

namespace fs = std::filesystem;

namespace {

struct SWanted {
    int half, showMs;
};

std::vector<SWanted>& Wanted() {
    static std::vector<SWanted> wanted;
    return wanted;
}

struct SWantedPartFrame {
    std::string part;
    int index;
};

std::vector<SWantedPartFrame>& WantedPartFrames() {
    static std::vector<SWantedPartFrame> wanted;
    return wanted;
}

using PartFrameMap = std::map<std::pair<std::string, int>, SShot>;

// What the observer fills during one run.
struct SRecording {
    SRun* run = nullptr;
    std::map<std::pair<int, int>, SShot>* shots = nullptr;
    PartFrameMap* partFrames = nullptr;
    int partFrameIndex = 0;  // frames of the running part before this one
    uint64_t lastCount = 0;
    std::vector<uint16_t> previous;  // the frame before this one, 320 x 240
    const char* previousPart = nullptr;
};
SRecording g_Rec;

// Keeps a copy of the frame as 0x00RRGGBB.
void Keep(SShot& shot, const uint16_t* pixels, int width, int height, int pitch, int showMs) {
    shot.showMs = showMs;
    shot.rgb.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            shot.rgb[static_cast<size_t>(y) * width + x] = qvn_565ToRGB32(pixels[static_cast<size_t>(y) * pitch + x]);
}

void Observe(const uint16_t* pixels, int width, int height, int pitch, int phase, int showMs, const char* part,
             int partRun) {
    const uint64_t now = g_nAllocations.load();
    SRun& run = *g_Rec.run;
    if (run.frames.size() < run.frames.capacity())
        run.frames.push_back({phase, showMs, part ? part : "-", now - g_Rec.lastCount, partRun});
    if (g_Rec.shots && phase > 0 && showMs >= 0) {
        for (const SWanted& w : Wanted()) {
            if (w.half != phase || showMs < w.showMs) continue;
            SShot& shot = (*g_Rec.shots)[{w.half, w.showMs}];
            if (shot.valid()) continue;
            Keep(shot, pixels, width, height, pitch, showMs);
        }
    }
    const char* name = part ? part : "-";
    const bool samePart = g_Rec.previousPart && std::strcmp(g_Rec.previousPart, name) == 0;
    g_Rec.partFrameIndex = samePart ? g_Rec.partFrameIndex + 1 : 0;
    if (g_Rec.partFrames) {
        for (const SWantedPartFrame& w : WantedPartFrames()) {
            if (w.index != g_Rec.partFrameIndex || w.part != name) continue;
            SShot& shot = (*g_Rec.partFrames)[{w.part, w.index}];
            if (shot.valid()) continue;
            Keep(shot, pixels, width, height, pitch, showMs);
        }
    }
    // A part's last frame is the one before the first frame of the next.
    if (g_Rec.previousPart && std::strcmp(g_Rec.previousPart, name) != 0 &&
        !run.lastFrames.count(g_Rec.previousPart)) {
        SShot& last = run.lastFrames[g_Rec.previousPart];
        last.rgb.resize(g_Rec.previous.size());
        for (size_t i = 0; i < g_Rec.previous.size(); ++i) last.rgb[i] = qvn_565ToRGB32(g_Rec.previous[i]);
    }
    if ((!g_Rec.previousPart || std::strcmp(g_Rec.previousPart, name) != 0) && !run.firstFrames.count(name) &&
        width == 320 && height == 240) {
        SShot& first = run.firstFrames[name];
        first.showMs = showMs;
        first.rgb.resize(320 * 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                first.rgb[static_cast<size_t>(y) * 320 + x] =
                    qvn_565ToRGB32(pixels[static_cast<size_t>(y) * pitch + x]);
    }
    g_Rec.previousPart = part ? part : "-";
    if (width == 320 && height == 240) {
        g_Rec.previous.resize(320 * 240);
        for (int y = 0; y < 240; ++y)
            std::memcpy(&g_Rec.previous[static_cast<size_t>(y) * 320], pixels + static_cast<size_t>(y) * pitch, 640);
    }
    g_Rec.lastCount = g_nAllocations.load();
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The length of a PCM WAV file from its header, in seconds (0 when unreadable).
double WavSeconds(const fs::path& path) {
    const std::string wav = ReadText(path);
    if (wav.size() < 44 || wav.compare(0, 4, "RIFF") != 0) return 0.0;
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 | uint32_t(uint8_t(wav[at + 2])) << 16 |
               uint32_t(uint8_t(wav[at + 3])) << 24;
    };
    const uint32_t bytesPerSecond = u32(28);
    return bytesPerSecond ? double(wav.size() - 44) / bytesPerSecond : 0.0;
}

SRun Run(const std::string& dataDir, int fps, int quitAtMs, const std::vector<std::string>& extra,
         std::map<std::pair<int, int>, SShot>* shots, PartFrameMap* partFrames) {
    static int counter = 0;
    const fs::path dir = fs::path(testing::TempDir()) / ("qvn_parts_run" + std::to_string(::getpid()) + "_" +
                                                         std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string capture = (dir / "cap").string(), log = (dir / "run.errorlog").string();
    std::vector<std::string> args = {"demo_sw", "--capture", capture, "--fps", std::to_string(fps), "--frames", "none",
                                     "--datas", dataDir, "--log", log};
    if (quitAtMs >= 0) {
        args.push_back("--quit-at");
        args.push_back(std::to_string(quitAtMs));
    }
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());

    SRun run;
    run.frames.reserve(200000);
    g_Rec = SRecording{};
    g_Rec.run = &run;
    g_Rec.shots = shots;
    g_Rec.partFrames = partFrames;
    // Every run starts from the state a fresh program has.
    qvn_ResetShowState();
    qvn_srand(1);
    g_pfnCaptureObserver = Observe;
    g_Rec.lastCount = g_nAllocations.load();
    run.exitCode = qvn_ProgramMain(static_cast<int>(argv.size()), argv.data(), nullptr, 0, "");
    g_pfnCaptureObserver = nullptr;
    run.log = ReadText(log);
    run.framesTxt = ReadText(dir / "cap" / "frames.txt");
    run.audioSeconds = WavSeconds(dir / "cap" / "audio.wav");
    for (int i = 0; i < static_cast<int>(run.frames.size()); ++i) {
        const SFrame& f = run.frames[i];
        if (run.spans.empty() || i == 0 || run.frames[i - 1].partRun != f.partRun)
            run.spans.push_back({f.part, f.phase, i, i});
        else
            run.spans.back().last = i;
    }
    fs::remove_all(dir);
    return run;
}

}  // namespace

const SRun::SPartSpan* SRun::span(const char* part) const {
    for (const SPartSpan& s : spans)
        if (s.part == part) return &s;
    return nullptr;
}

std::vector<SLine> Lines(const std::string& framesTxt) {
    std::vector<SLine> lines;
    std::istringstream in(framesTxt);
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        std::istringstream f(text);
        SLine l;
        f >> l.frame >> l.virtualMs >> l.half >> l.showMs >> l.crc >> l.part;
        lines.push_back(l);
    }
    return lines;
}

std::string Describe(const SLine& l) {
    return std::to_string(l.frame) + " (" + std::to_string(l.virtualMs) + " ms): " + std::to_string(l.half) + " " +
           l.showMs + " " + l.crc + " " + l.part;
}

int WantPartFrame(const char* part, int index) {
    WantedPartFrames().push_back({part, index});
    return static_cast<int>(WantedPartFrames().size());
}

int WantShot(int half, int showMs) {
    Wanted().push_back({half, showMs});
    return static_cast<int>(Wanted().size());
}

const std::string& DataDir() {
    static std::string dir;
    if (dir.empty()) {
        const fs::path path = fs::path(testing::TempDir()) / ("qvn_parts_datas" + std::to_string(::getpid()));
        fs::remove_all(path);
        const std::string cmd = "'" QVN_MKDATAS "' '" + path.string() + "' > /dev/null";
        if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "mkdatas failed";
        dir = path.string();
        // The generated set is removed when the test program ends.
        std::atexit([] { fs::remove_all(dir); });
    }
    return dir;
}

std::string DataCopy(const std::string& leaf) {
    const fs::path path = fs::path(testing::TempDir()) / ("qvn_parts_" + leaf + std::to_string(::getpid()));
    fs::remove_all(path);
    fs::copy(DataDir(), path);
    return path.string();
}

namespace {
struct SHalfRun {
    bool made = false;
    SRun run;
    std::map<std::pair<int, int>, SShot> shots;
    PartFrameMap partFrames;
};
SHalfRun& HalfRun(int fps) {
    static std::map<int, SHalfRun> runs;
    SHalfRun& r = runs[fps];
    if (!r.made) {
        r.made = true;
        r.run = Run(DataDir(), fps, -1, {}, &r.shots, &r.partFrames);
    }
    return r;
}
}  // namespace

const SRun& Show(int fps) { return HalfRun(fps).run; }

const SShot& Shot(int fps, int half, int showMs) {
    static const SShot none;
    SHalfRun& r = HalfRun(fps);
    auto it = r.shots.find({half, showMs});
    return it == r.shots.end() ? none : it->second;
}

const SShot& PartFrame(int fps, const char* part, int index) {
    static const SShot none;
    SHalfRun& r = HalfRun(fps);
    auto it = r.partFrames.find({part, index});
    return it == r.partFrames.end() ? none : it->second;
}

SRun RunProgram(const std::string& dataDir, int fps, int quitAtMs, const std::vector<std::string>& extra) {
    return Run(dataDir, fps, quitAtMs, extra, nullptr, nullptr);
}

double Mean(const SShot& s, int x0, int y0, int x1, int y1) {
    if (!s.valid()) return -1.0;
    double sum = 0.0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint32_t p = s.at(x, y);
            sum += R(p) + G(p) + B(p);
        }
    return sum / (3.0 * (x1 - x0) * (y1 - y0));
}

}  // namespace parts_test
