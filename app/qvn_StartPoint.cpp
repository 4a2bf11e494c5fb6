#include "qvn_StartPoint.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "qvn_Run.h"
#include "qvn_System.h"

namespace {

const qvn_SStartPart* g_pParts = nullptr;
int g_nParts = 0;

bool ParseWhole(const char* text, size_t length, long maximum, long* out) {
    if (length == 0 || length > 9) return false;
    long v = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    if (v > maximum) return false;
    *out = v;
    return true;
}

// mm:ss or mm:ss.f (up to milliseconds); false on anything else.
bool ParseClock(const char* text, int32_t* ms) {
    const char* colon = std::strchr(text, ':');
    long minutes = 0, seconds = 0, fraction = 0;
    if (!ParseWhole(text, static_cast<size_t>(colon - text), 999, &minutes)) return false;
    const char* s = colon + 1;
    const char* dot = std::strchr(s, '.');
    const size_t secLength = dot ? static_cast<size_t>(dot - s) : std::strlen(s);
    if (secLength != 2 || !ParseWhole(s, secLength, 59, &seconds)) return false;
    if (dot) {
        const size_t n = std::strlen(dot + 1);
        if (n < 1 || n > 3 || !ParseWhole(dot + 1, n, 999, &fraction)) return false;
        for (size_t i = n; i < 3; ++i) fraction *= 10;
    }
    *ms = static_cast<int32_t>((minutes * 60 + seconds) * 1000 + fraction);
    return true;
}

struct SState {
    bool armed = false;
    bool reached = true;
    qvn_SStartPoint point;
    qvn_start::ReachedFn reachedFn = nullptr;
    qvn_start::SkippedFlipFn skippedFn = nullptr;
    qvn_start::PumpedFn pumpedFn = nullptr;
    void* context = nullptr;
    int phase = 0;
    const char* part = nullptr;
    // Ticks at which the timeline reads 0: taken from the first half's clock
    // while it plays, so the interlude and the second half continue it.
    bool haveBase = false;
    uint32_t baseTicks = 0;
    int32_t timeline = 0;
};

SState g_State;

}  // namespace

void qvn_SetStartParts(const qvn_SStartPart* parts, int count) {
    g_pParts = parts;
    g_nParts = parts && count > 0 ? count : 0;
}

const qvn_SStartPart* qvn_StartParts(int* count) {
    *count = g_nParts;
    return g_pParts;
}

bool qvn_ParseStartPoint(const char* text, qvn_SStartPoint* out, std::string* error) {
    qvn_SStartPoint point;
    if (!text || !*text) {
        *error = "--start needs a place: mm:ss, milliseconds, half2 or a part's name (see --help)";
        return false;
    }
    long ms = 0;
    int32_t clock = 0;
    if (std::strchr(text, ':')) {
        if (!ParseClock(text, &clock)) {
            *error = std::string("--start ") + text + ": a time is mm:ss or mm:ss.mmm (seconds below 60)";
            return false;
        }
        point.kind = qvn_SStartPoint::eKind::kTime;
        point.ms = clock;
    } else if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        if (!ParseWhole(text, std::strlen(text), 999999999, &ms)) {
            *error = std::string("--start ") + text + ": milliseconds are a whole number";
            return false;
        }
        point.kind = qvn_SStartPoint::eKind::kTime;
        point.ms = static_cast<int32_t>(ms);
    } else if (!std::strcmp(text, "half2")) {
        point.kind = qvn_SStartPoint::eKind::kHalf2;
    } else {
        // A part is named by its short name or any beginning of it that no
        // other part's name shares ("chroma"); a whole name always wins.
        int n = 0;
        const qvn_SStartPart* parts = qvn_StartParts(&n);
        const size_t length = std::strlen(text);
        int found = -1, matches = 0;
        for (int i = 0; i < n; ++i) {
            if (!std::strcmp(text, parts[i].shortName)) {
                found = i;
                matches = 1;
                break;
            }
            if (!std::strncmp(text, parts[i].shortName, length)) {
                if (matches++ == 0) found = i;
            }
        }
        if (matches != 1) {
            std::string names;
            for (int i = 0; i < n; ++i) {
                const bool candidate = matches > 1 && !std::strncmp(text, parts[i].shortName, length);
                if (matches > 1 && !candidate) continue;
                names += names.empty() ? "" : ", ";
                names += parts[i].shortName;
            }
            *error = std::string("--start ") + text +
                     (matches > 1 ? ": more than one part begins so: " + names
                                  : ": not a time, half2 or a part's name; the parts are " + names);
            return false;
        }
        point.kind = qvn_SStartPoint::eKind::kPart;
        point.part = parts[found].className;
    }
    *out = point;
    return true;
}

namespace qvn_start {

void Arm(const qvn_SStartPoint& point, ReachedFn reached, SkippedFlipFn skipped, PumpedFn pumped, void* context) {
    g_State = SState();
    g_State.point = point;
    g_State.armed = point.kind != qvn_SStartPoint::eKind::kNone;
    g_State.reached = !g_State.armed;
    g_State.reachedFn = reached;
    g_State.skippedFn = skipped;
    g_State.pumpedFn = pumped;
    g_State.context = context;
}

void Disarm() { g_State = SState(); }

bool Presenting() { return g_State.reached; }

void SetPhase(int phase) { g_State.phase = phase; }
void SetPart(const char* className) { g_State.part = className; }

int32_t TimelineMs() { return g_State.timeline; }
int Phase() { return g_State.phase; }
const char* Part() { return g_State.part; }

bool BeginFrame(int32_t showMs) {
    const uint32_t ticks = qvn_sys::TickCount();
    // Until a half has played, loading frames are not on the timeline; when
    // the first half did not play, the second half's clock is the timeline.
    if (g_State.phase == 1 || (g_State.phase == 2 && !g_State.haveBase)) {
        g_State.baseTicks = ticks - static_cast<uint32_t>(showMs);
        g_State.haveBase = true;
    }
    g_State.timeline = g_State.haveBase ? static_cast<int32_t>(ticks - g_State.baseTicks) : -1;
    if (g_State.reached) return true;
    bool hit = false;
    switch (g_State.point.kind) {
    case qvn_SStartPoint::eKind::kTime:
        hit = g_State.haveBase && g_State.timeline >= g_State.point.ms;
        break;
    case qvn_SStartPoint::eKind::kHalf2:
        hit = g_State.phase == 2;
        break;
    case qvn_SStartPoint::eKind::kPart:
        hit = g_State.phase != 0 && g_State.part && g_State.point.part == g_State.part;
        break;
    case qvn_SStartPoint::eKind::kNone:
        hit = true;
        break;
    }
    if (!hit) return false;
    g_State.reached = true;
    if (g_State.reachedFn) g_State.reachedFn(showMs, g_State.context);
    return true;
}

void SkippedFlip() {
    if (g_State.skippedFn) g_State.skippedFn(g_State.context);
}

void Pumped() {
    if (g_State.pumpedFn) g_State.pumpedFn(g_State.context);
}

}  // namespace qvn_start

namespace {

class cStartObserver : public qvn_cRunObserver {
public:
    void OnPhase(int phase) override { qvn_start::SetPhase(phase); }
    void OnPartBegins(const char* className) override { qvn_start::SetPart(className); }
    void OnPartEnds() override { qvn_start::SetPart(nullptr); }
    eQvnFrame OnFrameBegins(int32_t showMs) override {
        return qvn_start::BeginFrame(showMs) ? eQvnFrame::kShown : eQvnFrame::kUnseen;
    }
    bool Presents() override { return qvn_start::Presenting(); }
    void OnFrameSkipped() override { qvn_start::SkippedFlip(); }
    void OnPump() override { qvn_start::Pumped(); }
};

}  // namespace

qvn_cRunObserver* qvn_start::Observer() {
    static cStartObserver observer;
    return &observer;
}
