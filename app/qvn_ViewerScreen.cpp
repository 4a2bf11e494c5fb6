// What the viewer shows and writes of the screen: the overlay it tells the
// display (the show's time, the part, the frame rate) and the F9
// screenshots.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_Overlay.h"
#include "qvn_Png.h"
#include "qvn_StartPoint.h"
#include "qvn_Storyboard.h"
#include "qvn_Viewer.h"

namespace qvn_viewer {
namespace {

// The show's timeline as it reads in a file name: "02-18.350" (no colon, which
// some file systems refuse), or "loading" before the first half plays.
std::string TimelineName(int32_t ms) {
    if (ms < 0) return "loading";
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

}  // namespace

// F9: the frame exactly as the show made it (320 x 240) and, live, the
// window's picture as the viewer sees it. A name already taken gets a
// number: a second screenshot of a paused frame keeps the first.
void Screenshot(int32_t timelineMs) {
    if (!g_pDisplay) return;
    // Live into the working folder; a capture keeps them with its frames.
    const std::string stem = (g_pCapture ? g_pCapture->Dir() + "/" : std::string()) + "screenshot_" +
                             TimelineName(timelineMs);
    std::string base = stem;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(base + ".png", ec); ++n) base = stem + "_" + std::to_string(n);
    std::vector<uint16_t> frame;
    if (!g_pDisplay->PresentedFrame(&frame) ||
        frame.size() < static_cast<size_t>(g_pDisplay->m_nWidth) * g_pDisplay->m_nHeight) {
        LogMessage("qvn_viewer : no frame has been shown yet; no screenshot.\n");
        return;
    }
    const std::string exact = base + ".png";
    if (!qvn_WritePng565(exact.c_str(), frame.data(), g_pDisplay->m_nWidth, g_pDisplay->m_nHeight,
                         g_pDisplay->m_nWidth)) {
        LogMessage("qvn_viewer : cannot write the screenshot %s.\n", exact.c_str());
        return;
    }
    std::printf("screenshot: %s\n", exact.c_str());
    std::vector<uint32_t> window;
    int width = 0, height = 0;
    if (g_pDisplay->WindowPicture(&window, &width, &height)) {
        const std::string scaled = base + "_window.png";
        if (qvn_WritePngRGB32(scaled.c_str(), window.data(), width, height, width))
            std::printf("screenshot: %s\n", scaled.c_str());
        else
            LogMessage("qvn_viewer : cannot write the screenshot %s.\n", scaled.c_str());
    }
    std::fflush(stdout);
}

namespace {

// The overlay Tab shows: the show's time, the part, and the frame rate (or
// that the show is paused, or looping a part), in the built-in font.
const qvn_SOverlayPicture* Overlay() {
    static qvn_SOverlayPicture picture;
    static std::chrono::steady_clock::time_point windowStart = std::chrono::steady_clock::now();
    static int framesInWindow = 0;
    static double fps = 0.0;
    static bool shown = false;
    if (!qvn_viewer::OverlayShown()) {
        shown = false;
        return nullptr;
    }
    // The rate is counted from when the overlay appears: frames before it
    // were not counted, and would make the first reading far too low.
    if (!shown) {
        shown = true;
        windowStart = std::chrono::steady_clock::now();
        framesInWindow = 0;
        fps = 0.0;
    }
    if (!qvn_viewer::Paused()) {
        ++framesInWindow;
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - windowStart).count();
        if (seconds >= 0.5) {
            fps = framesInWindow / seconds;
            framesInWindow = 0;
            windowStart = now;
        }
    }
    const int32_t ms = qvn_start::TimelineMs();
    char time[32];
    if (ms >= 0) std::snprintf(time, sizeof time, "%02d:%02d.%02d", ms / 60000, ms / 1000 % 60, ms / 10 % 100);
    else std::snprintf(time, sizeof time, "--:--.--");
    std::string part = "-";
    if (const char* name = qvn_viewer::CurrentPart()) {
        part = name;
        int n = 0;
        const qvn_SStartPart* parts = qvn_StartParts(&n);
        for (int i = 0; i < n; ++i)
            if (!std::strcmp(parts[i].className, name)) part = parts[i].shortName;
        if (part.compare(0, 5, "qvn_c") == 0) part = part.substr(5);
    }
    char status[32];
    if (qvn_viewer::Paused()) std::snprintf(status, sizeof status, "PAUSED");
    else if (fps <= 0.0) std::snprintf(status, sizeof status, "--.- FPS");
    else std::snprintf(status, sizeof status, "%.1f FPS", fps);
    const std::string line1 = std::string(time) + "  " + part;
    const std::string line2 = std::string(status) + (qvn_viewer::LoopPart() ? "  LOOP" : "");
    const int columns = static_cast<int>(std::max(line1.size(), line2.size()));
    picture.width = columns * 6 + 5;
    picture.height = 2 * 9 + 5;
    picture.argb.assign(static_cast<size_t>(picture.width) * picture.height, 0xC0000000u);
    qvn_cStoryboard::DrawText(picture.argb.data(), picture.width, picture.height, 3, 3, line1.c_str(), 0xFFFFFFFFu);
    qvn_cStoryboard::DrawText(picture.argb.data(), picture.width, picture.height, 3, 12, line2.c_str(), 0xFFFFFF80u);
    return &picture;
}

// The display is told the overlay after every frame shown, and while
// paused before it shows the last frame again; it draws it at its presents.
}  // namespace

void PushOverlay() {
    if (g_pDisplay) g_pDisplay->SetOverlay(Overlay());
}

}  // namespace qvn_viewer
