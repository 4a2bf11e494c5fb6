#include "mkd_EngineCheck.h"

namespace mkd {

bool EngineAvailable() { return false; }

bool VerifyWithEngine(const std::string&, const std::vector<const qvn_SDataFile*>&, std::vector<std::string>&) {
    return true;
}

cImage EngineRender(const std::string&, int) { return cImage(); }

} // namespace mkd
