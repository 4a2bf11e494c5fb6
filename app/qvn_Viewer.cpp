#include "qvn_Viewer.h"

#include <cstring>

#include "qvn_Keys.h"
#include "qvn_Run.h"

namespace qvn_viewer {
namespace {

constexpr int32_t kSeekMs = 10000;

struct SState {
    bool enabled = false;
    qvn_cFrameClock* clock = nullptr;
    SHooks hooks;
    bool paused = false;
    bool overlay = false;
    bool stepPending = false;
    // After a seek the frame that lands is drawn even when paused, so the
    // screen shows where the show is.
    bool landingPending = false;
    bool restartPending = false;
    qvn_SStartPoint target;
    // The part being looped (class name; null: none) and whether its run has
    // been seen since the last restart.
    const char* loopPart = nullptr;
    bool loopPartRan = false;
    const char* currentPart = nullptr;
    int lastShowPart = -1;  // index into the start parts of the last show part seen
};

SState g_State;

int ShowPartIndex(const char* className) {
    if (!className) return -1;
    int n = 0;
    const qvn_SStartPart* parts = qvn_StartParts(&n);
    for (int i = 0; i < n; ++i)
        if (!std::strcmp(parts[i].className, className)) return i;
    return -1;
}

void RequestRestart(const qvn_SStartPoint& point) {
    g_State.restartPending = true;
    g_State.target = point;
}

void RestartAtPart(int index) {
    int n = 0;
    const qvn_SStartPart* parts = qvn_StartParts(&n);
    if (index < 0) index = 0;
    if (index >= n) return;
    qvn_SStartPoint point;
    point.kind = qvn_SStartPoint::eKind::kPart;
    point.part = parts[index].className;
    RequestRestart(point);
}

// Where the show is for a relative seek: a pending target counts, so two
// quick presses go twice as far.
int32_t Position() {
    if (g_State.restartPending && g_State.target.kind == qvn_SStartPoint::eKind::kTime) return g_State.target.ms;
    const int32_t t = qvn_start::TimelineMs();
    return t > 0 ? t : 0;
}

// The part a jump counts from: a pending jump's target, the running show
// part, or (between parts) the last one.
int PartPosition(bool* between) {
    *between = false;
    if (g_State.restartPending && g_State.target.kind == qvn_SStartPoint::eKind::kPart)
        return ShowPartIndex(g_State.target.part.c_str());
    const int running = ShowPartIndex(g_State.currentPart);
    if (running >= 0) return running;
    *between = true;
    return g_State.lastShowPart;
}

void Pause() {
    g_State.paused = true;
    g_State.stepPending = false;
    if (g_State.clock->FastForwarding()) return;  // the landing freezes it
    g_State.clock->Freeze();
    if (g_State.hooks.stopMusic) g_State.hooks.stopMusic();
}

void Resume() {
    g_State.paused = false;
    g_State.stepPending = false;
    if (g_State.clock->FastForwarding()) return;  // the landing starts it
    g_State.clock->Run();
    if (g_State.hooks.startMusic) g_State.hooks.startMusic(-1);
}

}  // namespace

void Enable(qvn_cFrameClock* clock, const SHooks& hooks) {
    g_State = SState();
    g_State.enabled = clock != nullptr;
    g_State.clock = clock;
    g_State.hooks = hooks;
}

void Disable() { g_State = SState(); }

bool Enabled() { return g_State.enabled; }

void ArmRun(const qvn_SStartPoint& point) {
    if (!g_State.enabled) return;
    g_State.restartPending = false;
    g_State.target = qvn_SStartPoint();
    g_State.stepPending = false;
    g_State.loopPartRan = false;
    g_State.currentPart = nullptr;
    g_State.lastShowPart = -1;
    const bool seeking = point.kind != qvn_SStartPoint::eKind::kNone;
    g_State.landingPending = seeking;
    if (!seeking) {
        // From the show's start: nothing to skip, the clock runs (or stays
        // frozen when the viewer paused before the run began).
        if (g_State.paused) g_State.clock->Freeze();
        else g_State.clock->Run();
        qvn_start::Arm(point, nullptr, nullptr, nullptr, nullptr);
        return;
    }
    g_State.clock->StartFastForward();
    qvn_start::Arm(
        point,
        [](int32_t showMs, void*) {
            // A seek away from a looped part ends the loop.
            if (g_State.loopPart && (!g_State.currentPart || std::strcmp(g_State.currentPart, g_State.loopPart)))
                g_State.loopPart = nullptr;
            if (g_State.paused) {
                g_State.clock->Freeze();
                return;
            }
            g_State.clock->Run();
            if (g_State.hooks.startMusic) g_State.hooks.startMusic(showMs);
        },
        [](void*) { g_State.clock->OnFrame(); }, [](void*) { g_State.clock->OnPump(); }, nullptr);
}

bool OnKey(int key) {
    if (!g_State.enabled) return false;
    bool between = false;
    int part = 0;
    qvn_SStartPoint point;
    switch (key) {
    case kQvnKeySpace:
        if (g_State.paused) Resume();
        else Pause();
        return true;
    case '.':
        // The frame is drawn at the frozen time; the clock moves on after it.
        if (g_State.paused && !g_State.clock->FastForwarding()) g_State.stepPending = true;
        return true;
    case kQvnKeyRight:
    case kQvnKeyLeft:
        point.kind = qvn_SStartPoint::eKind::kTime;
        point.ms = Position() + (key == kQvnKeyRight ? kSeekMs : -kSeekMs);
        if (point.ms < 0) point.ms = 0;
        RequestRestart(point);
        return true;
    case kQvnKeyPageDown:
        part = PartPosition(&between);
        RestartAtPart(part + 1);
        return true;
    case kQvnKeyPageUp:
        part = PartPosition(&between);
        // Between parts the previous part is the one that just ended.
        RestartAtPart(between ? part : part - 1);
        return true;
    case 'l':
        if (g_State.loopPart) {
            g_State.loopPart = nullptr;
        } else if (ShowPartIndex(g_State.currentPart) >= 0) {
            g_State.loopPart = g_State.currentPart;
            g_State.loopPartRan = true;
        }
        return true;
    case kQvnKeyTab:
        g_State.overlay = !g_State.overlay;
        return true;
    case kQvnKeyF1 + 8:  // F9
        Screenshot(qvn_start::TimelineMs());
        return true;
    default:
        return false;
    }
}

bool Holding() {
    return g_State.enabled && g_State.paused && !g_State.stepPending && !g_State.landingPending &&
           !g_State.restartPending && !g_State.clock->FastForwarding() && qvn_start::Presenting();
}

bool HoldAndIdle() {
    if (!Holding()) return false;
    if (g_State.hooks.idle) g_State.hooks.idle();
    return true;
}

void FrameShown() {
    if (!g_State.enabled) return;
    if (g_State.landingPending) g_State.landingPending = false;
    else g_State.stepPending = false;
    // A frame shown while paused (the landing or a step) takes its period,
    // as every frame of straight play does.
    g_State.clock->Step();
    PushOverlay();
}

bool Interrupting() { return g_State.restartPending; }

bool FastForwarding() { return g_State.enabled && g_State.clock->FastForwarding(); }

void OnPart(const char* className) {
    if (!g_State.enabled) return;
    g_State.currentPart = className;
    const int index = ShowPartIndex(className);
    if (index >= 0) g_State.lastShowPart = index;
    if (!g_State.loopPart || g_State.restartPending) return;
    if (className && !std::strcmp(className, g_State.loopPart)) {
        g_State.loopPartRan = true;
    } else if (g_State.loopPartRan && qvn_start::Presenting()) {
        // The looped part has ended: back to its first frame.
        RestartAtPart(ShowPartIndex(g_State.loopPart));
    }
}

bool TakeRestart(qvn_SStartPoint* point, bool quit) {
    if (!g_State.enabled || quit) return false;
    if (!g_State.restartPending && g_State.loopPart && g_State.loopPartRan)
        RestartAtPart(ShowPartIndex(g_State.loopPart));  // the looped part ended the show
    if (!g_State.restartPending) return false;
    *point = g_State.target;
    g_State.restartPending = false;
    return true;
}

bool OverlayShown() { return g_State.overlay; }
bool Paused() { return g_State.paused; }
const char* LoopPart() { return g_State.loopPart; }
const char* CurrentPart() { return g_State.currentPart; }

qvn_cRunObserver* Observer() {
    class cViewerObserver : public qvn_cRunObserver {
        bool Holds() override { return HoldAndIdle(); }
        bool EndsRun() override { return Interrupting(); }
        void OnPartBegins(const char* className) override { OnPart(className); }
        void OnFrameShown() override { FrameShown(); }
        bool OnKey(int key) override { return qvn_viewer::OnKey(key); }
    };
    static cViewerObserver observer;
    return &observer;
}

}  // namespace qvn_viewer
