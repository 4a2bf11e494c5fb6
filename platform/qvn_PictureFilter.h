// How the 320 x 240 frame is put on a screen of any size: where it goes and
// what each screen pixel shows. Three looks:
//   nearest  whole-number scale when it fits, each frame pixel a block;
//   sharp    fills the screen at 4:3: the frame scaled up by a whole number
//            (k, the first one at least as large as the screen's scale) and
//            then bilinearly down to the screen, so each frame pixel keeps a
//            flat inside and its edges blend over at most one screen pixel;
//   crt      fills the screen at 4:3, sharp across each line, the lower part
//            of each frame row darkened toward a scanline gap, and a light
//            three-column mask of red, green and blue stripes.
// This file is the definition; the GL presenters run the same arithmetic in
// their fragment shader, and the video export and the tests use it as is.
#pragma once

#include <cstdint>
#include <string>

enum class qvn_eFilter { kNearest, kSharp, kCrt };

// "nearest", "sharp", "crt"; false for anything else.
bool qvn_ParseFilter(const std::string& name, qvn_eFilter* out);
const char* qvn_FilterName(qvn_eFilter filter);

struct qvn_SFilterRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Where a w x h frame goes in an outW x outH screen, centred: nearest takes
// the largest whole-number scale that fits (the largest 4:3 rectangle when
// not even 1 fits), the others the largest 4:3 rectangle.
qvn_SFilterRect qvn_FilterRect(qvn_eFilter filter, int outW, int outH, int w, int h);

// The look's constants; the shaders take them from here.
constexpr float kQvnCrtScanDepth = 0.6f;  // how much darker a row's last screen line is
constexpr float kQvnCrtMaskDim = 0.85f;   // the two other channels in each mask column
constexpr float kQvnCrtGain = 1.2f;       // brings the average back up (clamped at white)

// The integer pre-scale of the sharp look along one axis: the first whole
// number at least as large as out / in.
int qvn_SharpPrescale(int out, int in);

// The screen picture: outW x outH pixels, 0x00RRGGBB, rows top first, black
// around the rectangle. frame is 5-6-5, pitch in pixels.
void qvn_FilterPicture(qvn_eFilter filter, const uint16_t* frame, int w, int h, int pitch, int outW, int outH,
                       const qvn_SFilterRect& rect, uint32_t* out);
