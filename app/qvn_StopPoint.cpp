#include "qvn_StopPoint.h"

#include <cstring>

#include "qvn_Run.h"

namespace {

qvn_SStartPoint g_Point;
bool g_bReached = false;

// Where a place sits in the programme: a part's index in show order; half2
// is where the second half's first part begins.
int ProgrammeIndex(const qvn_SStartPoint& point) {
    int n = 0;
    const qvn_SStartPart* parts = qvn_StartParts(&n);
    for (int i = 0; i < n; ++i) {
        if (point.kind == qvn_SStartPoint::eKind::kPart && point.part == parts[i].className) return i;
        if (point.kind == qvn_SStartPoint::eKind::kHalf2 && parts[i].half == 2) return i;
    }
    return -1;
}

}  // namespace

namespace qvn_stop {

bool Parse(const char* text, qvn_SStartPoint* out, std::string* error) {
    if (qvn_ParseStartPoint(text, out, error)) return true;
    // The start point's parser names its own option.
    if (error->compare(0, 7, "--start") == 0) error->replace(0, 7, "--stop");
    return false;
}

bool CheckOrder(const qvn_SStartPoint& start, const qvn_SStartPoint& stop, std::string* error) {
    using eKind = qvn_SStartPoint::eKind;
    if (stop.kind == eKind::kNone) return true;
    const bool startTime = start.kind == eKind::kTime || start.kind == eKind::kNone;
    if (startTime && stop.kind == eKind::kTime) {
        const int32_t startMs = start.kind == eKind::kTime ? start.ms : -1;
        if (stop.ms <= startMs) {
            *error = "--stop must come after --start on the show's timeline";
            return false;
        }
        return true;
    }
    const int a = ProgrammeIndex(start), b = ProgrammeIndex(stop);
    if (a >= 0 && b >= 0 && b <= a) {
        *error = "--stop must name a place of the show after --start";
        return false;
    }
    return true;
}

void Arm(const qvn_SStartPoint& point) {
    g_Point = point;
    g_bReached = false;
}

void Disarm() { Arm(qvn_SStartPoint()); }

bool Reached() {
    if (g_bReached) return true;
    using eKind = qvn_SStartPoint::eKind;
    const int phase = qvn_start::Phase();
    const char* part = qvn_start::Part();
    switch (g_Point.kind) {
    case eKind::kNone:
        return false;
    case eKind::kTime:
        g_bReached = qvn_start::TimelineMs() >= g_Point.ms;
        break;
    case eKind::kHalf2:
        g_bReached = phase == 2;
        break;
    case eKind::kPart:
        g_bReached = phase != 0 && part && g_Point.part == part;
        break;
    }
    return g_bReached;
}

qvn_cRunObserver* Observer() {
    class cStopObserver : public qvn_cRunObserver {
        eQvnFrame OnFrameBegins(int32_t) override { return Reached() ? eQvnFrame::kStop : eQvnFrame::kShown; }
    };
    static cStopObserver observer;
    return &observer;
}

}  // namespace qvn_stop

namespace {

// The run of a capture without --start begins with the loading screen,
// before the first part; the default show ends here on the timeline.
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
    case qvn_SStartPoint::eKind::kPart: {
        int n = 0;
        const qvn_SStartPart* parts = qvn_StartParts(&n);
        for (int i = 0; i < n; ++i) {
            const bool here = point.kind == qvn_SStartPoint::eKind::kHalf2 ? parts[i].half == 2
                                                                            : point.part == parts[i].className;
            if (here) {
                *ms = parts[i].beginsMs;
                return true;
            }
        }
        return false;
    }
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
