#include "qvn_PartSmileys.h"

#include <initializer_list>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

static const char kName[] = "qvn_cPartSmileys";

qvn_cPartSmileys::SState qvn_cPartSmileys::s_State;

qvn_cPartSmileys::qvn_cPartSmileys() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kOver;
}

bool qvn_cPartSmileys::load() {
    static const qvn_eDataFileId smileys[] = {QVN_DF_SMILEY1_JPG, QVN_DF_SMILEY2_JPG, QVN_DF_SMILEY3_JPG,
                                              QVN_DF_SMILEY4_JPG, QVN_DF_SMILEY5_JPG, QVN_DF_SMILEY6_JPG,
                                              QVN_DF_SMILEY7_JPG};
    for (qvn_eDataFileId id : smileys)
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : smileys)
        if (!qvn_ToDisplay(kName, id, getDisplayBpp())) return false;

    // Strip A: a dimmed negative where pure black (and only pure black) stays
    // black, three pictures high so it can wrap every 240 rows.
    qvn_cBitmap& strip = qvn_Picture(QVN_DF_SMILEY2_JPG);
    const size_t pixels = static_cast<size_t>(strip.m_nSizeX) * static_cast<size_t>(strip.m_nSizeY);
    for (size_t i = 0; i < pixels; ++i)
        if (strip.m_p32bitsPixels[i] == 0) strip.m_p32bitsPixels[i] = 0xFFFFFF;
    strip.invertColors();
    if (!strip.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep inverted picture", QVN_DF_SMILEY2_JPG);
    strip.fadePixels(0.0f, 0.0f, 0.0f, 0.3f);
    if (!strip.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep faded picture", QVN_DF_SMILEY2_JPG);
    if (!strip.tile(1, 3)) return qvn_LoadStepFailed(kName, "Can't tile picture", QVN_DF_SMILEY2_JPG);
    if (!strip.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep tiled picture", QVN_DF_SMILEY2_JPG);

    qvn_cBitmap& stripB = qvn_Picture(QVN_DF_SMILEY5_JPG);
    if (!stripB.tile(1, 3)) return qvn_LoadStepFailed(kName, "Can't tile picture", QVN_DF_SMILEY5_JPG);
    if (!stripB.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep tiled picture", QVN_DF_SMILEY5_JPG);

    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_NAWAK_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartSmileys::beginRun() {
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    qvn_cBitmap* black = screenBitmap();
    if (!white || !black) return false;
    struct SAdd {
        qvn_cBitmap* bitmap;
        int32_t fx;
        float scale, x, y;
        uint8_t visible;
    };
    const SAdd adds[kLayers] = {
        {&qvn_Picture(QVN_DF_SMILEY1_JPG), QVN_FX_NORMAL, 1.0f, 0, 0, 1},
        {&qvn_Picture(QVN_DF_SMILEY2_JPG), QVN_FX_ADDITIVE, 0.1f, 0, 0, 1},
        {&qvn_Picture(QVN_DF_SMILEY3_JPG), QVN_FX_COLORDODGE, 1.0f, 0, 0, 1},
        {&qvn_Picture(QVN_DF_SMILEY4_JPG), QVN_FX_COLORDODGE, 1.0f, 45, 209, 1},
        {&qvn_Picture(QVN_DF_SMILEY5_JPG), QVN_FX_COLORDODGE, 1.0f, 0, 0, 1},
        {&qvn_Picture(QVN_DF_SMILEY6_JPG), QVN_FX_COLORDODGE, 1.0f, 0, 0, 1},
        {&qvn_Picture(QVN_DF_SMILEY7_JPG), QVN_FX_ADDITIVE, 1.0f, 0, 0, 0},
        {black, QVN_FX_NORMAL, 0.0f, 0, 0, 0},
        {white, QVN_FX_NORMAL, 1.0f, 0, 0, 0},
    };
    qvn_cBitmapLayers& L = *m_pLayers;
    for (int i = 0; i < kLayers; ++i) {
        m_aLayer[i] = L.add(adds[i].bitmap, adds[i].fx, adds[i].scale, adds[i].scale, adds[i].scale);
        L.setPosXY(m_aLayer[i], adds[i].x, adds[i].y);
        L.setVisible(m_aLayer[i], adds[i].visible);
    }
    m_fWhite = 1.0f;
    m_fFlash = 1.0f;
    m_fStripA = m_fStripB = -240.0f;
    m_bScene = false;
    return true;
}

void qvn_cPartSmileys::beforeClear(int32_t t) {
    (void)t;
    if (s_State.openingFlash.fire(true)) m_fWhite = 1.0f;
    qvn_SetFade(*m_pLayers, m_aLayer[kWhite], m_fWhite);
    m_fWhite -= 0.06f * m_fSpeed;
}

bool qvn_cPartSmileys::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    if (t >= 108500) return false;

    // The black-out: once it fully covers the pictures they are dropped, and
    // the scene stays alone over black (removing them again does nothing).
    if (t >= 107000) {
        L.setVisible(m_aLayer[kBlack], 1);
        qvn_SetScale(L, m_aLayer[kBlack], s.k);
        if (s.k > 1.0f)
            for (int i : {kBase, kStripA, kPulse3, kPulse4, kStripB, kPulse6, kFlash}) L.remove(m_aLayer[i]);
        s.k += 0.15f * m_fSpeed;
    }

    if (s.flash102000.fire(t >= 102000)) m_fFlash = 1.0f;
    if (s.flash104000.fire(t >= 104000)) m_fFlash = 1.0f;
    if (t >= 102000) {
        qvn_SetFade(L, m_aLayer[kFlash], m_fFlash);
        m_fFlash -= 0.08f * m_fSpeed;
    }

    if (t >= 104000) m_bScene = true;

    qvn_SetScale(L, m_aLayer[kBase], static_cast<float>(qvn_rand() % 255) / 512.0f + 0.75f);

    L.setPosY(m_aLayer[kStripA], m_fStripA);
    m_fStripA = (m_fStripA > 0.0f ? m_fStripA - 240.0f : m_fStripA) + 1.0f * m_fSpeed;

    L.setVisible(m_aLayer[kPulse3], 1);
    qvn_SetScale(L, m_aLayer[kPulse3], qvn_Pulse(s.a3, 0.1f * m_fSpeed));

    qvn_Picture(QVN_DF_SMILEY4_JPG).horizontalBlurFast(qvn_rand() % 16);
    L.setVisible(m_aLayer[kPulse4], 1);
    qvn_SetScale(L, m_aLayer[kPulse4], qvn_Pulse(s.a4, 0.05f * m_fSpeed));

    L.setPosY(m_aLayer[kStripB], m_fStripB);
    m_fStripB = (m_fStripB > 0.0f ? m_fStripB - 540.0f : m_fStripB) + 0.3f * m_fSpeed;

    qvn_Picture(QVN_DF_SMILEY6_JPG).horizontalBlurFast(qvn_rand() % 16);
    L.setVisible(m_aLayer[kPulse6], 1);
    qvn_SetScale(L, m_aLayer[kPulse6], qvn_Pulse(s.a6, 0.01f * m_fSpeed));
    return true;
}
