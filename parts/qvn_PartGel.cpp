#include "qvn_PartGel.h"

namespace {

const char kName[] = "qvn_cPartGel";

// What lasts for the program's life: the fade-in. A second run would start
// at full brightness.
struct SState {
    float g = 0.0f;
};
SState s;

}  // namespace

void qvn_cPartGel::resetState() { s = SState(); }

// gel4 is shared with the joys part, which zooms it away and loads it only
// if this part has not.
bool qvn_cPartGel::load() { return qvn_LoadAndConvert(kName, QVN_DF_GEL4_JPG, getDisplayBpp()); }

bool qvn_cPartGel::beginRun() {
    m_nLayer = m_pLayers->add(&qvn_Picture(QVN_DF_GEL4_JPG), QVN_FX_NORMAL);
    return true;
}

bool qvn_cPartGel::frame(int32_t t) {
    (void)t;
    // At scale 0 the compositor skips the layer: the first frame is black.
    qvn_SetScale(*m_pLayers, m_nLayer, s.g);
    if (s.g < 1.0f) s.g += 0.005f * m_fSpeed;
    return true;
}
