// Frame statistics of a run (--stats): per part, how many frames were drawn
// and how long they took, how many refreshes of the display went by without
// a new frame, and how far picture and sound were apart (the track's time
// heard when the frame was presented, less the frame's show time), printed
// when the program ends. Recording costs a few clock reads per frame and
// allocates nothing once enabled.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>

// Turns recording on (reserves room for the frames); off by default.
void qvn_ShowStatsEnable(bool capture, int refreshHz);
bool qvn_ShowStatsEnabled();
// The live display's refresh rate, which makes a frame late.
void qvn_ShowStatsSetRefreshHz(int refreshHz);
// The sequencer names the part that runs next (null: none, e.g. loading).
void qvn_ShowStatsBeginPart(const char* name);
// A frame begins at this show time (ms).
void qvn_ShowStatsFrameBegins(int32_t showMs);
// The frame loop calls this after every flip: refreshes is how many
// refreshes the frame before stayed on the screen (0: unknown), heardMs the
// track's time heard now (NaN: no sound heard).
void qvn_ShowStatsFrame(int refreshes = 0, double heardMs = std::numeric_limits<double>::quiet_NaN());
// ... and this while a part waits without drawing: the wait does not count
// toward the next frame's time.
void qvn_ShowStatsIdle();
// Per part: frames, frame time median / 99th percentile / max; frames later
// than the display's refresh (live) or the capture's speed against real time.
void qvn_ShowStatsReport(FILE* out, double showSeconds);
// The sound card's figures for the report's sound line.
struct qvn_SStatsSound {
    int bufferFrames = 0, rate = 0;
    double bufferMs = 0.0, callbackMs = 0.0, latencyMs = 0.0;
};
// Where the observer asks, at each present, what is heard and what the card
// is (either may be null, or answer false: no sound).
void qvn_ShowStatsSetSound(bool (*heardMs)(double* ms), bool (*figures)(qvn_SStatsSound* figures));
// Forgets every record (tests).
void qvn_ShowStatsReset();

// The statistics as the run's observer: a part begins, a part waits, a frame
// is shown.
class qvn_cRunObserver;
qvn_cRunObserver* qvn_ShowStatsObserver();
