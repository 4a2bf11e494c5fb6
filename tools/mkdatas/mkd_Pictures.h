// Recipes for every picture of the show, composed for how its part uses it.
#pragma once

#include "mkd_Image.h"

#include <string>

namespace mkd {

// The picture for a data file base name ("opa.jpg"); false when the name has no recipe.
bool MakePicture(const std::string& baseName, int width, int height, uint64_t seed, cImage& out);
// The shiny environment map of the metaballs, 256 x 256.
cImage MakeEnvironmentMap();

// Strip rows the parts cut out of the text pictures (y, height), so the
// generator puts one line of text in each and the tests can check it.
struct sStrip { const char* pszPicture; int y, h; };
const sStrip* TextStrips(int* pnCount);

} // namespace mkd
