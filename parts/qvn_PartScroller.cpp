#include "qvn_PartScroller.h"

#include <cmath>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

namespace {

const char kName[] = "qvn_cPartScroller";

// What lasts for the program's life.
struct SState {
    float v1 = 4.712385f, v2 = 4.712385f;  // breathing angles: both start at the minimum
    qvn_SLatch firstFrame;
};
SState s;

}  // namespace

void qvn_cPartScroller::resetState() { s = SState(); }

qvn_cPartScroller::qvn_cPartScroller() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartScroller::load() {
    const int bpp = getDisplayBpp();
    // vodoo is a BMP file; loadFromFile tells the formats apart.
    for (qvn_eDataFileId id : {QVN_DF_VODOO_BMP, QVN_DF_BIGSCROLL_JPG})
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : {QVN_DF_VODOO_BMP, QVN_DF_BIGSCROLL_JPG})
        if (!qvn_ToDisplay(kName, id, bpp)) return false;
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_THEEND_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartScroller::beginRun() {
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    m_aLayer[kVodoo] = L.add(&qvn_Picture(QVN_DF_VODOO_BMP), QVN_FX_CHROMAKEY);
    m_aLayer[kScroll] = L.add(&qvn_Picture(QVN_DF_BIGSCROLL_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kWhite] = L.add(white, QVN_FX_NORMAL);
    L.setPosXY(m_aLayer[kVodoo], -31, -94);
    L.setPosXY(m_aLayer[kScroll], 0, 300);
    L.setVisible(m_aLayer[kWhite], 0);
    m_fW = 1.0f;
    m_fY = 300.0f;
    return true;
}

bool qvn_cPartScroller::frame(int32_t t) {
    (void)t;
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;

    if (s.firstFrame.fire(true)) m_fW = 1.0f;
    qvn_SetFade(L, m_aLayer[kWhite], m_fW);
    m_fW -= 0.025f * speed;

    // Brightness and size breathe between 0.75 and 1.0.
    qvn_SetScale(L, m_aLayer[kVodoo], std::sin(s.v1) * 0.125f + 0.875f);
    s.v1 += 0.05f * speed;
    const float z = std::sin(s.v2) * 0.125f + 0.875f;
    qvn_Picture(QVN_DF_VODOO_BMP).zoom(z, z);
    s.v2 += 0.05f * speed;

    // Half a pixel a frame upwards; hidden once its bottom edge has left the
    // top of the screen.
    qvn_SetScale(L, m_aLayer[kScroll], static_cast<float>(qvn_rand() & 255) / 256.0f);
    L.setPosXY(m_aLayer[kScroll], 0, m_fY);
    if (m_fY <= -static_cast<float>(qvn_Picture(QVN_DF_BIGSCROLL_JPG).m_nSizeY))
        L.setVisible(m_aLayer[kScroll], 0);
    else
        m_fY -= 0.5f * speed;
    return true;
}
