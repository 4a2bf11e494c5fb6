// Text rendered with FreeType from a DejaVu font that Debian ships.
#pragma once

#include "mkd_Image.h"

#include <string>

namespace mkd {

enum eFont { FONT_SANS_BOLD, FONT_SANS, FONT_SERIF_BOLD, FONT_MONO_BOLD, FONT_CONDENSED_BOLD };

// Folder the fonts are read from; overridable for tests and other systems.
void SetFontDir(const std::string& dir);
bool FontsAvailable();

struct sTextBox { int x0, y0, x1, y1; }; // ink bounds actually drawn (exclusive ends)

// Width in pixels of the string at that pixel size.
int TextWidth(const std::string& s, eFont f, int pixelSize);
// Draws the string with its baseline at y, starting at x; alpha-blended (or added
// when additive) in colour c. Returns the ink bounds.
sTextBox DrawText(cImage& im, const std::string& s, eFont f, int pixelSize, float x, int baseline, sRGB c,
                  bool additive = false);
// Centres the string's ink vertically in rows [y0, y1) and horizontally on cx.
sTextBox DrawTextInBand(cImage& im, const std::string& s, eFont f, int pixelSize, float cx, int y0, int y1, sRGB c,
                        bool additive = false);
// Largest pixel size (up to maxSize) whose ink fits in width x height.
int FitTextSize(const std::string& s, eFont f, int width, int height, int maxSize);

} // namespace mkd
