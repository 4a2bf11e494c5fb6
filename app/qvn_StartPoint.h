// Starting the show somewhere else than its beginning. The parts keep state
// from frame to frame (statics, pictures blurred or faded in place, the random
// sequence, scene positions), so the only faithful way to a later point is to
// play every frame from the start. Until the start point the frames are played
// on a virtual clock and not presented: the frame loop skips the display work
// whose result nobody reads (scene drawing, compositing, the flip).
#pragma once

#include <cstdint>
#include <string>

class qvn_cRunObserver;

struct qvn_SStartPoint {
    enum class eKind { kNone, kTime, kHalf2, kPart };
    eKind kind = eKind::kNone;
    // kTime: milliseconds on the show's timeline (the first half's clock,
    // continued through the interlude and the second half).
    int32_t ms = 0;
    // kPart: the part's class name.
    std::string part;
};

// A part of the show as a place names it, in programme order.
struct qvn_SStartPart {
    const char* shortName;
    const char* className;
    int half;  // 1 or 2
    // Where it begins on the default show's timeline, measured on a capture
    // of it: an estimate for the video export's progress line, nothing more.
    int32_t beginsMs;
};
// The program hands its parts over before any place is parsed (the array
// outlives the program's use of it); none until then.
void qvn_SetStartParts(const qvn_SStartPart* parts, int count);
const qvn_SStartPart* qvn_StartParts(int* count);

// "mm:ss", "mm:ss.mmm", milliseconds, "half2" or a part's short name; false
// with a message in *error otherwise.
bool qvn_ParseStartPoint(const char* text, qvn_SStartPoint* out, std::string* error);

namespace qvn_start {

// What the run does at the moment the start point is reached (capture: the
// numbering of frames starts; live: the real clock takes over and the music
// is positioned).
using ReachedFn = void (*)(int32_t showMs, void* context);
// A frame that is played but not presented still takes one frame period of
// the clock: the capture session or the virtual clock below counts it.
using SkippedFlipFn = void (*)(void* context);
// Every message pump (may be null: the capture session counts its own).
using PumpedFn = void (*)(void* context);

// Arms a start point (kNone: every frame is presented, as without the option).
void Arm(const qvn_SStartPoint& point, ReachedFn reached, SkippedFlipFn skipped, PumpedFn pumped, void* context);
// Back to presenting every frame (end of a run, tests).
void Disarm();

// Whether frames are presented; false only while a start point is pending.
bool Presenting();

// The sequencer says where the show is: phase 0 (loading), 1 or 2 (a half
// plays); the running part's class name (null: none).
void SetPhase(int phase);
void SetPart(const char* className);

// The frame loop asks once per frame, with the show clock, before drawing:
// true when this frame is presented. The frame that reaches the start point
// is the first one presented.
bool BeginFrame(int32_t showMs);
// Instead of the flip of a frame that is not presented.
void SkippedFlip();
// The message pump calls this on every pass.
void Pumped();

// The show's timeline at the last frame (see qvn_SStartPoint::ms); -1
// before a half has played.
int32_t TimelineMs();
// Where the show is, as the sequencer last said (the stop point reads it).
int Phase();
const char* Part();

// The start point as the run's observer: it follows the phase and the part,
// judges every frame (unseen until the point), counts the skipped flips and
// the pumps through the armed hooks.
qvn_cRunObserver* Observer();

}  // namespace qvn_start
