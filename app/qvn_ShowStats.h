// Frame statistics of a run (--stats): per part, how many frames were drawn
// and how long they took, printed when the program ends. Recording costs one
// clock read per frame and allocates nothing once enabled.
#pragma once

#include <cstdio>

// Turns recording on (reserves room for the frames); off by default.
void qvn_ShowStatsEnable(bool capture, int refreshHz);
bool qvn_ShowStatsEnabled();
// The live display's refresh rate, which makes a frame late.
void qvn_ShowStatsSetRefreshHz(int refreshHz);
// The sequencer names the part that runs next (null: none, e.g. loading).
void qvn_ShowStatsBeginPart(const char* name);
// The frame loop calls this after every flip.
void qvn_ShowStatsFrame();
// ... and this while a part waits without drawing: the wait does not count
// toward the next frame's time.
void qvn_ShowStatsIdle();
// Per part: frames, frame time median / 99th percentile / max; frames later
// than the display's refresh (live) or the capture's speed against real time.
void qvn_ShowStatsReport(FILE* out, double showSeconds);
// Forgets every record (tests).
void qvn_ShowStatsReset();

// The statistics as the run's observer: a part begins, a part waits, a frame
// is shown.
class qvn_cRunObserver;
qvn_cRunObserver* qvn_ShowStatsObserver();
