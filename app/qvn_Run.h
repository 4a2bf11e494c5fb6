// What happens while the show runs, told to whoever listens. The sequencer
// and the frame loop say what they do (a half plays, a part begins, a frame
// begins at a show time, is shown or played unseen, a part ends, the pump
// runs) and ask the few questions a run has (is it held, is it to end, is
// this frame presented); the features around the show (capture session,
// start and stop points, viewer, statistics) answer as observers. Neither
// the sequencer nor the frame loop names a feature, so a run with none of
// them plays exactly as the show is written.
#pragma once

#include <cstdint>

// What the frame the loop is about to play is.
enum class eQvnFrame {
    kShown,   // drawn and presented
    kUnseen,  // played before the start point: its state moves, nothing is presented
    kStop,    // the show ends before it (a stop point)
};

class qvn_cRunObserver {
public:
    virtual ~qvn_cRunObserver() = default;

    // The sequencer: phase 0 while loading (and between halves), 1 or 2 while
    // a half plays.
    virtual void OnPhase(int /*phase*/) {}
    // A part, a loading screen or the interlude starts its run (class name),
    // and its run is over.
    virtual void OnPartBegins(const char* /*className*/) {}
    virtual void OnPartEnds() {}

    // True while no frame may be played (the viewer paused); the observer
    // that holds gives the processor a rest before it answers.
    virtual bool Holds() { return false; }
    // True when the run is to end as on a quit (a seek restarts the show).
    virtual bool EndsRun() { return false; }
    // A part waits for its start time and draws nothing.
    virtual void OnWait() {}
    // A frame begins at the show time (ms on the track's clock).
    virtual eQvnFrame OnFrameBegins(int32_t /*showMs*/) { return eQvnFrame::kShown; }
    // Whether frames are presented now (false while a start point is pending).
    virtual bool Presents() { return true; }
    // After the flip of a presented frame; instead of the flip of an unseen one.
    virtual void OnFrameShown() {}
    virtual void OnFrameSkipped() {}
    // Every pass of the message pump, before it takes its input.
    virtual void OnPump() {}
    // A key press (qvn_Keys codes) that does not end the show; true when the
    // observer used it.
    virtual bool OnKey(int /*key*/) { return false; }
};

// The run's observers, told in the order they were added.
namespace qvn_run {

void Add(qvn_cRunObserver* observer);
void Remove(qvn_cRunObserver* observer);
void Clear();

// The sequencer.
void Phase(int phase);
void PartBegins(const char* className);
void PartEnds();

// The frame loop and the pump.
bool Holding();
bool Interrupting();
void Waiting();
// Every observer is asked; any kStop stops, else any kUnseen leaves the
// frame unseen.
eQvnFrame BeginFrame(int32_t showMs);
bool Presenting();
void FrameShown();
void FrameSkipped();
void Pumped();
// The first observer that uses the key takes it.
bool Key(int key);

}  // namespace qvn_run
