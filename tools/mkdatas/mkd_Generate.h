// The default data set: every file of the show's data table, generated.
#pragma once

#include "mkd_Image.h"
#include "qvn_DataFiles.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mkd {

struct sOptions {
    std::string outDir;                // the data folder itself: files land as outDir/opa.jpg
    uint64_t seed = 1;
    std::string contactSheet;          // PNG path, empty for none
    std::vector<std::string> only;     // base names or "datas/..." names; empty for all
    bool verbose = false;
    bool verify = true;                // read the files back with the engine's readers when built in
    // Called after each file is written (from any thread, one call at a time).
    std::function<void(int done, int total)> progress;
};

// Writes one data file to path. preview receives the picture (or a rendered
// frame of a scene) for the contact sheet when non-null; left empty for tracks.
bool GenerateFile(const qvn_SDataFile& file, uint64_t seed, const std::string& path, cImage* preview);
// Writes the selected files (all by default) and the contact sheet. Returns
// false and fills err at the first file that cannot be made or written.
bool Generate(const sOptions& opt, std::string& err);

} // namespace mkd
