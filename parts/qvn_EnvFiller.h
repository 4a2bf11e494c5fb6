// The metaballs' triangle filler: environment-mapped, affine in 16.16 fixed
// point, no depth, straight into a 16-bit surface. Clipped to the frame by
// bisection, so nothing is ever written outside the target.
#pragma once

#include <cstdint>

// A screen vertex with its texel coordinates (0 to 255 in the map).
struct qvn_SEnvPoint {
    int x, y;
    int u, v;
};

// Where the filler draws: lines of pitchPixels pixels; x is clipped to
// [0, width) and y to [0, height). The show's frame is 320 x 240.
struct qvn_SEnvTarget {
    uint16_t* pixels;
    int pitchPixels;
    int width;
    int height;
};

// Fills the triangle with texture[(v << 8) | u] (256 x 256 16-bit texels, u
// and v wrapping). Vertices exactly on x = width or y = height are outside.
void qvn_FillEnvTriangle(const qvn_SEnvTarget& target, const uint16_t* texture, const qvn_SEnvPoint& a,
                         const qvn_SEnvPoint& b, const qvn_SEnvPoint& c);
