#include "qvn_VideoExport.h"

#include <cctype>
#include <cstdio>
#include <cstring>

qvn_eVideoContainer qvn_VideoContainerOf(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return qvn_eVideoContainer::kUnknown;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "mkv") return qvn_eVideoContainer::kMkv;
    if (ext == "mp4") return qvn_eVideoContainer::kMp4;
    return qvn_eVideoContainer::kUnknown;
}

std::string qvn_VideoProgressLine(const qvn_SVideoProgress& p) {
    char text[160];
    int n = 0;
    const double runSeconds = p.runMs / 1000.0;
    const double speed = p.wallSeconds > 0 ? runSeconds / p.wallSeconds : 0.0;
    if (p.plannedMs > 0) {
        double fraction = static_cast<double>(p.runMs) / static_cast<double>(p.plannedMs);
        // The plan is an estimate where a part names the end: never claim
        // the whole before the run has ended.
        if (fraction > 0.99) fraction = 0.99;
        n = std::snprintf(text, sizeof text, "video: %3d%%  ", static_cast<int>(fraction * 100));
    } else {
        n = std::snprintf(text, sizeof text, "video: ");
    }
    n += std::snprintf(text + n, sizeof text - n, "%u frames  %d:%02d  %.2fx real time", p.frames,
                       static_cast<int>(runSeconds) / 60, static_cast<int>(runSeconds) % 60, speed);
    if (p.plannedMs > 0 && speed > 0) {
        double left = (static_cast<double>(p.plannedMs) / 1000.0 - runSeconds) / speed;
        if (left < 0) left = 0;
        const int s = static_cast<int>(left + 0.5);
        std::snprintf(text + n, sizeof text - n, "  %d:%02d left", s / 60, s % 60);
    }
    return text;
}

namespace {

// Where the default show's parts begin on the timeline, measured on a
// capture of it; the run of a capture without --start begins with the
// loading screen, before the titles.
struct SPartStart {
    const char* className;
    int32_t timelineMs;
};
const SPartStart kPartStarts[] = {
    {"qvn_cPartTitles", -450},          {"qvn_cPartPillars", 22050},      {"qvn_cPartDigits", 44500},
    {"qvn_cPartCredits", 72516},        {"qvn_cPartSmileys", 101300},     {"qvn_cPartTube", 108500},
    {"qvn_cPartTravel", 126550},        {"qvn_cPartGlon", 137966},        {"qvn_cPartChromaTunnel", 163666},
    {"qvn_cPartMetaballs", 202116},     {"qvn_cPartShadow", 246700},      {"qvn_cPartGel", 280316},
    {"qvn_cPartJoys", 297116},          {"qvn_cPartScroller", 332416},
};
constexpr int32_t kShowOpeningMs = -2150;
constexpr int32_t kShowEndMs = 430100;

// The timeline at a place; false when it is not known.
bool PlaceMs(const qvn_SStartPoint& point, int32_t noneMs, int32_t* ms) {
    switch (point.kind) {
    case qvn_SStartPoint::eKind::kNone:
        *ms = noneMs;
        return true;
    case qvn_SStartPoint::eKind::kTime:
        *ms = point.ms;
        return true;
    case qvn_SStartPoint::eKind::kHalf2:
        *ms = kPartStarts[8].timelineMs;
        return true;
    case qvn_SStartPoint::eKind::kPart:
        for (const SPartStart& s : kPartStarts) {
            if (point.part == s.className) {
                *ms = s.timelineMs;
                return true;
            }
        }
        return false;
    }
    return false;
}

}  // namespace

int64_t qvn_VideoPlannedMs(const qvn_SStartPoint& start, const qvn_SStartPoint& stop, int quitAtMs) {
    int32_t from = 0, to = 0;
    if (!PlaceMs(start, kShowOpeningMs, &from)) return quitAtMs >= 0 ? quitAtMs : -1;
    if (!PlaceMs(stop, kShowEndMs, &to)) to = kShowEndMs;
    if (to > kShowEndMs) to = kShowEndMs;
    int64_t planned = static_cast<int64_t>(to) - from;
    if (quitAtMs >= 0 && quitAtMs < planned) planned = quitAtMs;
    return planned > 0 ? planned : -1;
}
