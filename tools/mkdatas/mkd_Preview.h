// A small z-buffered preview of a generated scene for the contact sheet. It
// works on the generator's own scene description, not on the engine's scene,
// so it shows what the generator meant to write.
#pragma once

#include "mkd_Image.h"
#include "mkd_Scene.h"

namespace mkd {

cImage RenderPreview(const sScene& s, int frame);

} // namespace mkd
