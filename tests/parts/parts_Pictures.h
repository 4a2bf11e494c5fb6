// Comparing a captured frame with a picture of the data set: how much of the
// frame shows that picture as it is.
#pragma once

#include <string>

#include "parts_Harness.h"

namespace parts_test {

// Share (0..1) of the frame's pixels, in the rectangle, whose three channels
// are each within tolerance of the data set's picture file (320 x 240) at the
// same place. -1 when the picture cannot be read or is not 320 x 240.
double PictureMatch(const SShot& shot, const std::string& leaf, int tolerance = 12, int x0 = 0, int y0 = 0,
                    int x1 = 320, int y1 = 240);

// Share of pixels, in the rectangle, whose three channels are all at most
// level.
double DarkShare(const SShot& shot, int level, int x0 = 0, int y0 = 0, int x1 = 320, int y1 = 240);

}  // namespace parts_test
