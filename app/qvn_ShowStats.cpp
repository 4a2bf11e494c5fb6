#include "qvn_ShowStats.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "qvn_Run.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SPartRecord {
    const char* name;
    size_t firstFrame;  // index into g_Frames
    size_t frameCount;
};

bool g_bEnabled = false;
bool g_bCapture = false;
int g_nRefreshHz = 60;
std::vector<float> g_Frames;       // frame times in ms, in show order
std::vector<SPartRecord> g_Parts;  // one per run of a part
Clock::time_point g_LastFrame;
Clock::time_point g_Start;
bool g_bHaveLast = false;

// Two hours of frames at 60 Hz: a run longer than that stops recording
// rather than allocate while the show plays.
constexpr size_t kMaxFrames = 2 * 3600 * 60;
constexpr size_t kMaxParts = 256;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

void qvn_ShowStatsEnable(bool capture, int refreshHz) {
    g_bEnabled = true;
    g_bCapture = capture;
    g_nRefreshHz = refreshHz > 0 ? refreshHz : 60;
    g_Frames.reserve(kMaxFrames);
    g_Parts.reserve(kMaxParts);
    g_Start = Clock::now();
}

bool qvn_ShowStatsEnabled() { return g_bEnabled; }

void qvn_ShowStatsSetRefreshHz(int refreshHz) {
    if (refreshHz > 0 && !g_bCapture) g_nRefreshHz = refreshHz;
}

void qvn_ShowStatsReset() {
    g_bEnabled = false;
    g_Frames.clear();
    g_Parts.clear();
    g_bHaveLast = false;
}

void qvn_ShowStatsBeginPart(const char* name) {
    if (!g_bEnabled || !name || g_Parts.size() == kMaxParts) return;
    g_Parts.push_back({name, g_Frames.size(), 0});
    // A part's first frame counts from the moment it starts, not from the
    // previous part's last flip (loading in between is not frame time).
    g_LastFrame = Clock::now();
    g_bHaveLast = true;
}

void qvn_ShowStatsFrame() {
    if (!g_bEnabled || g_Parts.empty() || g_Frames.size() == kMaxFrames) return;
    const Clock::time_point now = Clock::now();
    g_Frames.push_back(g_bHaveLast ? static_cast<float>(Ms(now - g_LastFrame)) : 0.0f);
    g_LastFrame = now;
    g_bHaveLast = true;
    ++g_Parts.back().frameCount;
}

void qvn_ShowStatsIdle() {
    if (!g_bEnabled) return;
    g_LastFrame = Clock::now();
    g_bHaveLast = true;
}

void qvn_ShowStatsReport(FILE* out, double showSeconds) {
    if (!g_bEnabled) return;
    const double periodMs = 1000.0 / g_nRefreshHz;
    std::fprintf(out, "%-24s %7s %9s %9s %9s %s\n", "part", "frames", "median", "p99", "max",
                 g_bCapture ? "x real time" : "late");
    std::vector<float> sorted;
    sorted.reserve(g_Frames.size());
    double totalMs = 0.0;
    size_t totalFrames = 0, totalLate = 0;
    for (const SPartRecord& p : g_Parts) {
        if (p.frameCount == 0) continue;
        sorted.assign(g_Frames.begin() + p.firstFrame, g_Frames.begin() + p.firstFrame + p.frameCount);
        double sum = 0.0;
        size_t late = 0;
        for (float f : sorted) {
            sum += f;
            // A frame that took more than one and a half refresh periods
            // missed at least one refresh of the display.
            late += f > 1.5 * periodMs;
        }
        std::sort(sorted.begin(), sorted.end());
        const float median = sorted[sorted.size() / 2];
        const float p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
        const float mx = sorted.back();
        totalMs += sum;
        totalFrames += p.frameCount;
        totalLate += late;
        if (g_bCapture) {
            // Capture frames stand for one period each of the virtual clock.
            const double virtualMs = double(p.frameCount) * periodMs;
            std::fprintf(out, "%-24s %7zu %7.2fms %7.2fms %7.2fms %8.1fx\n", p.name, p.frameCount, median, p99, mx,
                         sum > 0 ? virtualMs / sum : 0.0);
        } else {
            std::fprintf(out, "%-24s %7zu %7.2fms %7.2fms %7.2fms %6zu\n", p.name, p.frameCount, median, p99, mx, late);
        }
    }
    const double wallS = Ms(Clock::now() - g_Start) / 1000.0;
    if (g_bCapture) {
        std::fprintf(out, "total: %zu frames, %.1f s of show in %.2f s: %.1fx real time (frames alone %.1fx)\n",
                     totalFrames, showSeconds, wallS, wallS > 0 ? showSeconds / wallS : 0.0,
                     totalMs > 0 ? double(totalFrames) * periodMs / totalMs : 0.0);
    } else {
        std::fprintf(out, "total: %zu frames, %zu later than the display's refresh (%d Hz)\n", totalFrames,
                     totalLate, g_nRefreshHz);
    }
}

qvn_cRunObserver* qvn_ShowStatsObserver() {
    class cStatsObserver : public qvn_cRunObserver {
        void OnPartBegins(const char* className) override { qvn_ShowStatsBeginPart(className); }
        void OnWait() override { qvn_ShowStatsIdle(); }
        void OnFrameShown() override { qvn_ShowStatsFrame(); }
    };
    static cStatsObserver observer;
    return &observer;
}
