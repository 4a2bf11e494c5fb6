#include "qvn_ShowStats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "qvn_EngDisplay.h"
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
std::vector<uint8_t> g_Missed;     // refreshes each frame missed (capped at 255)
std::vector<float> g_Offsets;      // picture-to-sound offsets in ms (NaN: no sound)
int32_t g_nShowMs = 0;             // the show time of the frame being drawn
bool (*g_pfnHeardMs)(double*) = nullptr;
bool (*g_pfnSoundFigures)(qvn_SStatsSound*) = nullptr;
qvn_SStatsSound g_Sound;
bool g_bSoundKnown = false;
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
    g_Missed.reserve(kMaxFrames);
    g_Offsets.reserve(kMaxFrames);
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
    g_Missed.clear();
    g_Offsets.clear();
    g_Parts.clear();
    g_bSoundKnown = false;
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

void qvn_ShowStatsSetSound(bool (*heardMs)(double*), bool (*figures)(qvn_SStatsSound*)) {
    g_pfnHeardMs = heardMs;
    g_pfnSoundFigures = figures;
}

void qvn_ShowStatsFrameBegins(int32_t showMs) { g_nShowMs = showMs; }

void qvn_ShowStatsFrame(int refreshes, double heardMs) {
    if (!g_bEnabled || g_Parts.empty() || g_Frames.size() == kMaxFrames) return;
    const Clock::time_point now = Clock::now();
    g_Missed.push_back(static_cast<uint8_t>(std::min(refreshes > 1 ? refreshes - 1 : 0, 255)));
    g_Offsets.push_back(heardMs == heardMs ? static_cast<float>(heardMs - g_nShowMs)
                                           : std::numeric_limits<float>::quiet_NaN());
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

namespace {

// Median, 99th percentile and worst of a part's picture-to-sound offsets,
// the worst being the one furthest from zero (sign kept); false when no
// frame had sound.
struct SOffsets {
    float median, p99, worst;
};
bool OffsetFigures(const float* first, size_t count, std::vector<float>* work, SOffsets* out) {
    work->clear();
    for (size_t i = 0; i < count; ++i)
        if (first[i] == first[i]) work->push_back(first[i]);
    if (work->empty()) return false;
    std::sort(work->begin(), work->end());
    out->median = (*work)[work->size() / 2];
    out->worst = std::fabs(work->front()) > std::fabs(work->back()) ? work->front() : work->back();
    for (float& f : *work) f = std::fabs(f);
    std::sort(work->begin(), work->end());
    out->p99 = (*work)[std::min(work->size() - 1, work->size() * 99 / 100)];
    return true;
}

}  // namespace

void qvn_ShowStatsReport(FILE* out, double showSeconds) {
    if (!g_bEnabled) return;
    const double periodMs = 1000.0 / g_nRefreshHz;
    if (g_bCapture)
        std::fprintf(out, "%-24s %7s %9s %9s %9s %s\n", "part", "frames", "median", "p99", "max", "x real time");
    else
        std::fprintf(out, "%-24s %7s %9s %9s %9s %7s %9s %9s %9s\n", "part", "frames", "median", "p99", "max", "missed",
                     "a/v med", "a/v p99", "a/v max");
    std::vector<float> sorted, work;
    sorted.reserve(g_Frames.size());
    double totalMs = 0.0;
    size_t totalFrames = 0, totalMissed = 0;
    for (const SPartRecord& p : g_Parts) {
        if (p.frameCount == 0) continue;
        sorted.assign(g_Frames.begin() + p.firstFrame, g_Frames.begin() + p.firstFrame + p.frameCount);
        double sum = 0.0;
        for (float f : sorted) sum += f;
        size_t missed = 0;
        for (size_t i = p.firstFrame; i < p.firstFrame + p.frameCount; ++i) missed += g_Missed[i];
        std::sort(sorted.begin(), sorted.end());
        const float median = sorted[sorted.size() / 2];
        const float p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
        const float mx = sorted.back();
        totalMs += sum;
        totalFrames += p.frameCount;
        totalMissed += missed;
        if (g_bCapture) {
            // Capture frames stand for one period each of the virtual clock.
            const double virtualMs = double(p.frameCount) * periodMs;
            std::fprintf(out, "%-24s %7zu %7.2fms %7.2fms %7.2fms %8.1fx\n", p.name, p.frameCount, median, p99, mx,
                         sum > 0 ? virtualMs / sum : 0.0);
            continue;
        }
        std::fprintf(out, "%-24s %7zu %7.2fms %7.2fms %7.2fms %7zu", p.name, p.frameCount, median, p99, mx, missed);
        SOffsets o;
        if (OffsetFigures(&g_Offsets[p.firstFrame], p.frameCount, &work, &o))
            std::fprintf(out, " %7.1fms %7.1fms %7.1fms\n", o.median, o.p99, o.worst);
        else
            std::fprintf(out, " %9s %9s %9s\n", "-", "-", "-");
    }
    const double wallS = Ms(Clock::now() - g_Start) / 1000.0;
    if (g_bCapture) {
        std::fprintf(out, "total: %zu frames, %.1f s of show in %.2f s: %.1fx real time (frames alone %.1fx)\n",
                     totalFrames, showSeconds, wallS, wallS > 0 ? showSeconds / wallS : 0.0,
                     totalMs > 0 ? double(totalFrames) * periodMs / totalMs : 0.0);
        return;
    }
    std::fprintf(out, "total: %zu frames, %zu refreshes missed (%d Hz)\n", totalFrames, totalMissed, g_nRefreshHz);
    SOffsets o;
    if (OffsetFigures(g_Offsets.data(), g_Offsets.size(), &work, &o))
        std::fprintf(out,
                     "picture to sound: median %.1f ms, 99th percentile %.1f ms, worst %.1f ms (the track's time "
                     "heard at each present less the frame's show time)\n",
                     o.median, o.p99, o.worst);
    if (g_bSoundKnown) {
        std::fprintf(out, "sound: a buffer of %d sample frames (%.1f ms) at %d Hz, ", g_Sound.bufferFrames,
                     g_Sound.bufferMs, g_Sound.rate);
        // A card that takes from the ring on its own is never seen asking.
        if (g_Sound.callbackMs > 0) std::fprintf(out, "asked for every %.1f ms, ", g_Sound.callbackMs);
        std::fprintf(out, "output latency %.1f ms\n", g_Sound.latencyMs);
    } else
        std::fprintf(out, "sound: none heard\n");
}

qvn_cRunObserver* qvn_ShowStatsObserver() {
    class cStatsObserver : public qvn_cRunObserver {
        void OnPartBegins(const char* className) override { qvn_ShowStatsBeginPart(className); }
        void OnWait() override { qvn_ShowStatsIdle(); }
        eQvnFrame OnFrameBegins(int32_t showMs) override {
            qvn_ShowStatsFrameBegins(showMs);
            return eQvnFrame::kShown;
        }
        void OnFrameShown() override {
            double heard = std::numeric_limits<double>::quiet_NaN();
            if (g_pfnHeardMs && !g_pfnHeardMs(&heard)) heard = std::numeric_limits<double>::quiet_NaN();
            qvn_ShowStatsFrame(g_pDisplay ? g_pDisplay->LastPresentRefreshes() : 0, heard);
            // The card's figures now and then: the device is gone by the
            // time the report is printed.
            if (g_pfnSoundFigures && g_Frames.size() % 64 == 1) {
                qvn_SStatsSound sound;
                if (g_pfnSoundFigures(&sound)) {
                    g_Sound = sound;
                    g_bSoundKnown = true;
                }
            }
        }
    };
    static cStatsObserver observer;
    return &observer;
}
