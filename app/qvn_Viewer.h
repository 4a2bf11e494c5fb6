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

#include "qvn_FrameClock.h"
#include "qvn_StartPoint.h"
#include "qvn_System.h"

class qvn_cRunObserver;

namespace qvn_viewer {

// What the viewer asks of the program around it.
struct SHooks {
    // The music stops (pause) and starts again at a show time (resume, or a
    // landing that is not paused).
    void (*stopMusic)() = nullptr;
    void (*startMusic)(int32_t showMs) = nullptr;
    // Called instead of a frame while paused: show the last frame again (the
    // overlay may have changed) and give the processor a rest.
    void (*idle)() = nullptr;
};

// F9: the frame exactly as the show made it (320 x 240) and, live, the
// window's picture as the viewer sees it, named after the show's time
// (timeline ms): into the working folder, or the capture's folder.
void Screenshot(int32_t timelineMs);
// Tells the display the overlay as it is now (Tab: shown or not); after
// every frame shown, and while paused before the last frame is shown again.
void PushOverlay();

// Turns the viewer on with its clock (installed by the caller) and hooks.
void Enable(qvn_cFrameClock* clock, const SHooks& hooks);
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

// The viewer as the run's observer: it holds the run while paused, ends it
// for a seek, follows the parts, steps its clock on every frame shown and
// takes its keys.
qvn_cRunObserver* Observer();

}  // namespace qvn_viewer
