// The second half of the generator's check: the files it wrote from the
// formats are read back with the engine's own readers, and scenes are drawn by
// the engine's software rasteriser for the contact sheet.
#pragma once

#include "mkd_Image.h"
#include "qvn_DataFiles.h"

#include <string>
#include <vector>

namespace mkd {

// True when this build carries the engine's readers and rasteriser.
bool EngineAvailable();
// Reads each file in dir back: pictures must decode to their listed size,
// scenes must import, tracks must decode (to at least their minimum duration).
// One line per problem; true when there was none.
bool VerifyWithEngine(const std::string& dir, const std::vector<const qvn_SDataFile*>& files,
                      std::vector<std::string>& problems);
// A frame of a scene file drawn by the engine (320 x 240); an empty image when
// the engine is not available or the scene does not load.
cImage EngineRender(const std::string& path, int frame);

} // namespace mkd
