// qvnview FILE.qvn --frames A:B --out DIR: renders scene frames A to B through
// the software rasteriser into DIR/frame_NNNNNN.png (named as capture mode
// names its frames), with no display at all.
// Without --out the scene plays in a window from frame A, one scene frame per
// displayed frame, until Escape, F12 or the window is closed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_System.h"
#include "qvn_Window.h"
#include "qvn_Png.h"
#include "qvn_ToolArgs.h"
#include "qvn_cImporter.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

namespace {

const char kUsage[] =
    "usage: qvnview FILE.qvn --frames A:B --out DIR\n"
    "  renders scene frames A to B (inclusive) to DIR/frame_NNNNNN.png\n"
    "usage: qvnview FILE.qvn [--frames A:B]\n"
    "  plays the scene in a window (from frame A, looping back after B)\n"
    "  --help      this text\n"
    "  --version   the engine version\n";

int Usage(const char* what, const char* arg = nullptr) { return qvn_tool::UsageError("qvnview", kUsage, what, arg); }

bool ParseFrames(const char* text, int* first, int* last) {
    char* end = nullptr;
    const long a = std::strtol(text, &end, 10);
    if (end == text || *end != ':') return false;
    const char* second = end + 1;
    const long b = std::strtol(second, &end, 10);
    if (end == second || *end != 0 || a < 0 || b < a || b > 10000000) return false;
    *first = static_cast<int>(a);
    *last = static_cast<int>(b);
    return true;
}

// The scene in a window through the program's own display and window.
int Play(const char* path, int first, int last) {
    qvn_SetLogEcho(stderr);
    qvn_cWindow window;
    if (!window.Create(nullptr, nullptr, nullptr, 1)) {
        std::fprintf(stderr, "qvnview: no window could be opened\n");
        return 1;
    }
    qvn_cEngDisplay* display = new qvn_cEngDisplay();
    g_pDisplay = display;
    if (!display->Init("NoSelection", 320, 240, 16, 1)) {
        std::fprintf(stderr, "qvnview: the display could not be set up\n");
        return 1;
    }
    qvn_cTextureCache cache;
    if (!cache.Create(&display->m_PixelFormat)) return 1;
    qvn_cSoftRenderer renderer(display);
    renderer.SetTextureCache(&cache);
    qvn_cScene scene;
    scene.m_pRenderer = &renderer;
    qvn_cImporter importer;
    if (!importer.LoadData(path, &scene)) {
        std::fprintf(stderr, "qvnview: %s: not a usable scene file\n", path);
        return 1;
    }
    cache.PrepareScene(&scene);
    const uint32_t startMs = qvn_sys::TickCount();
    int frame = first, shown = 0;
    while (window.PumpMessages()) {
        display->Clear();
        scene.m_nFrame = frame;
        scene.Render();
        display->Flip();
        ++shown;
        frame = frame >= last ? first : frame + 1;
    }
    const uint32_t elapsedMs = qvn_sys::TickCount() - startMs;
    if (elapsedMs > 0) std::fprintf(stderr, "qvnview: %d frames in %u ms\n", shown, elapsedMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (int code = qvn_tool::HelpOrVersion(argc, argv, "qvnview", kUsage); code >= 0) return code;
    const char* path = nullptr;
    const char* out = nullptr;
    int first = 0, last = 0;
    bool haveFrames = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            if (!ParseFrames(argv[++i], &first, &last)) return Usage("--frames wants A:B with 0 <= A <= B, not", argv[i]);
            haveFrames = true;
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else if (argv[i][0] != '-' && !path) {
            path = argv[i];
        } else if (argv[i][0] == '-') {
            return Usage(i + 1 < argc ? "unknown option" : "unknown option or missing value:", argv[i]);
        } else {
            return Usage("one scene file at a time, not also", argv[i]);
        }
    }
    if (!path) return Usage("no scene file given");
    if (!qvn_tool::CanOpen("qvnview", path)) return 1;
    if (!haveFrames) {
        first = 0;
        last = out ? 0 : 0x7FFFFFFF;
    }
    if (!out) return Play(path, first, last);
    std::error_code madeDir;
    std::filesystem::create_directories(out, madeDir);
    if (madeDir) {
        std::fprintf(stderr, "qvnview: cannot create %s: %s\n", out, madeDir.message().c_str());
        return 1;
    }

    qvn_SetLogEcho(stderr);
    constexpr int kWidth = 320, kHeight = 240;
    qvn_cPixelFormat pf;
    pf.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
    qvn_cTextureCache cache;
    if (!cache.Create(&pf)) {
        std::fprintf(stderr, "qvnview: out of memory for the texture cache\n");
        return 1;
    }
    std::vector<uint16_t> screen(kWidth * kHeight, 0);
    qvn_cSoftRenderer renderer;
    renderer.SetTarget(screen.data(), kWidth, kHeight, kWidth, pf);
    renderer.SetTextureCache(&cache);

    qvn_cScene scene;
    scene.m_pRenderer = &renderer;
    qvn_cImporter importer;
    if (!importer.LoadData(path, &scene)) {
        std::fprintf(stderr, "qvnview: %s: not a usable scene file\n", path);
        return 1;
    }
    cache.PrepareScene(&scene);
    for (int frame = first; frame <= last; ++frame) {
        std::fill(screen.begin(), screen.end(), 0);
        scene.m_nFrame = frame;
        scene.Render();
        char name[64];
        std::snprintf(name, sizeof name, "/frame_%06d.png", frame);
        const std::string file = std::string(out) + name;
        if (!qvn_WritePng565(file.c_str(), screen.data(), kWidth, kHeight, kWidth)) {
            std::fprintf(stderr, "qvnview: cannot write %s\n", file.c_str());
            return 1;
        }
    }
    return 0;
}
