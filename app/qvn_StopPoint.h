// Ending the show before its end (--stop). A stop point is named as a start
// point is (a time on the show's timeline, half2 or a part) and means the
// moment it begins: the frame that reaches it is not shown and the show ends
// there as if Escape had been pressed, so "--start tube --stop glon" shows
// everything from the tube's first frame up to the frame before glon's first.
#pragma once

#include <cstdint>
#include <string>

#include "qvn_StartPoint.h"

namespace qvn_stop {

// The syntax of --start, with messages that name --stop.
bool Parse(const char* text, qvn_SStartPoint* out, std::string* error);

// False with a message when the stop plainly does not come after the start:
// two times, or two places of the programme (parts, half2) in that order or
// equal. A time against a part cannot be judged before the show plays.
bool CheckOrder(const qvn_SStartPoint& start, const qvn_SStartPoint& stop, std::string* error);

// Arms a stop point (kNone: the show plays to its end).
void Arm(const qvn_SStartPoint& point);
void Disarm();

// The frame loop asks once per frame, after qvn_start::BeginFrame has read
// the clock and the timeline: true when this frame reaches the stop point
// (and for every frame after it).
bool Reached();

// The stop point as the run's observer: a frame that reaches it is kStop.
qvn_cRunObserver* Observer();

}  // namespace qvn_stop

// The run's length from its start to --stop, --quit-at or the show's end, in
// ms; -1 when it cannot be told (the video export's progress line). Where a
// part begins is taken from the default show, so it is an estimate for a
// progress line, nothing more.
int64_t qvn_VideoPlannedMs(const qvn_SStartPoint& start, const qvn_SStartPoint& stop, int quitAtMs);
