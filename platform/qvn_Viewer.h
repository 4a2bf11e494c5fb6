// The viewer mode (--viewer): pause, step, seek, jump between parts, loop a
// part, screenshots and an information overlay, on top of the show's own
// behaviour. Every seek lands on the state of straight play: the parts keep
// state in statics and in their pictures' pixels, and the random sequence
// depends on every frame drawn, so a seek ends the run, the show is set back
// to a fresh program's state, and the new run plays from the start unseen up
// to the target (the start point machinery) on a virtual clock.
//
// The viewer owns the show's clock while it is on: virtual while the show
// fast-forwards, the system's (or the capture's) while it plays, frozen while
// it is paused. A step while paused moves it by one frame period exactly.
#pragma once

#include <cstdint>

#include "qvn_StartPoint.h"
#include "qvn_System.h"

class qvn_cViewerClock : public qvn_cSystemServices {
public:
    // rate: the frame rate a straight run is compared with (60 live, the
    // capture's rate in capture mode).
    qvn_cViewerClock(qvn_cSystemServices* inner, int rate);
    uint32_t TickCount() override;
    void DebugOutput(const char* text) override { m_pInner->DebugOutput(text); }
    void ShowMessageBox(const char* text, const char* caption, unsigned flags) override {
        m_pInner->ShowMessageBox(text, caption, flags);
    }
    void SetCursorVisible(bool visible) override { m_pInner->SetCursorVisible(visible); }

    // Fast-forward: one frame period per frame played unseen, and per pump
    // with no frame before it (a part waiting for its time).
    void StartFastForward();
    void OnSkippedFlip();
    void OnPump();
    // Playing: the inner clock carries on from the current value.
    void Run();
    // Paused: the value stays until Run; Step adds one frame period (the
    // frame drawn at the frozen time has been shown).
    void Freeze();
    void Step();
    bool FastForwarding() const { return m_eMode == eMode::kVirtual; }

    // The capture's clock counts frame periods: reading them instead of its
    // milliseconds keeps every value on the rounding a straight capture has.
    using PeriodSource = uint32_t (*)(void* context);
    void SetPeriodSource(PeriodSource fn, void* context);

private:
    enum class eMode { kReal, kVirtual, kFrozen };
    uint32_t At(uint32_t periods) const {
        return m_nBase + static_cast<uint32_t>(static_cast<uint64_t>(periods) * 1000u / static_cast<uint32_t>(m_nRate));
    }
    uint32_t CurrentPeriods() const;
    qvn_cSystemServices* m_pInner;
    int m_nRate;
    eMode m_eMode = eMode::kReal;
    // Every value is m_nBase plus whole frame periods, except live while
    // playing, where it is the inner clock minus m_nOffset.
    uint32_t m_nBase = 0;
    uint32_t m_nPeriods = 0;
    bool m_bFlipped = false;
    uint32_t m_nOffset = 0;
    PeriodSource m_pfnPeriods = nullptr;
    void* m_pPeriodContext = nullptr;
    uint32_t m_nSourceAtRun = 0;  // the source's periods when play last started
};

namespace qvn_viewer {

// What the viewer asks of the program around it.
struct SHooks {
    // The music stops (pause) and starts again at a show time (resume, or a
    // landing that is not paused).
    void (*stopMusic)() = nullptr;
    void (*startMusic)(int32_t showMs) = nullptr;
    // F9: a screenshot named after the show time (timeline ms).
    void (*screenshot)(int32_t timelineMs) = nullptr;
    // Called instead of a frame while paused: show the last frame again (the
    // overlay may have changed) and give the processor a rest.
    void (*idle)() = nullptr;
    // After every frame shown: the overlay can be brought up to date.
    void (*frameShown)() = nullptr;
};

// Turns the viewer on with its clock (installed by the caller) and hooks.
void Enable(qvn_cViewerClock* clock, const SHooks& hooks);
void Disable();
bool Enabled();

// Arms the start machinery for the next run: at the point a restart asked
// for, or at the first run's start point (kNone: from the start).
void ArmRun(const qvn_SStartPoint& point);

// A key press (qvn_Keys codes); true when the viewer used it. Escape and F12
// are never the viewer's: they end the show.
bool OnKey(int key);

// The frame loop: while Holding, no frame is played (paused, no step
// pending); FrameShown after every presented frame; Interrupting: a restart
// is pending, the run ends (frame loops and the sequencer stop as on a quit).
bool Holding();
// Holding, and the idle hook called: for every loop that waits on the clock.
bool HoldAndIdle();
void FrameShown();
bool Interrupting();
// Whether the clock is virtual (a seek's fast-forward): the capture's own
// clock and its scripted keys wait meanwhile.
bool FastForwarding();

// The sequencer names every part run (class name), including the loading
// screen and the interlude.
void OnPart(const char* className);

// After a run: true, with the point the next run starts at, when the run
// ended for a restart (the caller resets the show and runs it again), or
// when the show ended inside a looped part. Never after a quit.
bool TakeRestart(qvn_SStartPoint* point, bool quit);

// For the overlay (Tab shows it): paused, looping part (null: none), the
// running part.
bool OverlayShown();
bool Paused();
const char* LoopPart();
const char* CurrentPart();

}  // namespace qvn_viewer
