// The viewer's overlay: a small picture the live displays draw over the
// scaled window picture, never into the show's frame (so no capture, frame
// CRC or exact screenshot ever holds it).
#pragma once

#include <cstdint>
#include <vector>

struct qvn_SOverlayPicture {
    std::vector<uint32_t> argb;  // 0xAARRGGBB, row 0 on top
    int width = 0;
    int height = 0;
};

// Where the overlay goes over a frame shown at (frameX, frameY, frameW,
// frameH) in the window: the frame's corner, a margin in, magnified by the
// frame's own whole-number scale (at most 3) so the text stays sharp.
struct qvn_SOverlayRect {
    int x, y, w, h;
};
qvn_SOverlayRect qvn_OverlayRect(int frameX, int frameY, int frameW, int frameH, int overlayW, int overlayH);
