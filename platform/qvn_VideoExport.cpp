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

