// Recipes for the twelve scenes of the show.
#pragma once

#include "mkd_Scene.h"

#include <string>

namespace mkd {

// The scene for a data file base name ("glon.qvn"); false when the name has no recipe.
bool MakeScene(const std::string& baseName, uint64_t seed, sScene& out);

} // namespace mkd
