// The video export of a program built without the FFmpeg libraries.
#include "qvn_VideoExport.h"

bool qvn_VideoExportBuilt() { return false; }

std::unique_ptr<qvn_cVideoExport> qvn_cVideoExport::Open(const qvn_SVideoSettings&, std::string* error) {
    *error = "video export is not built into this program (it needs the FFmpeg libraries at build time)";
    return nullptr;
}
