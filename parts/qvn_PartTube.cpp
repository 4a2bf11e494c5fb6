#include "qvn_PartTube.h"

#include <cmath>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

static const char kName[] = "qvn_cPartTube";

qvn_cPartTube::SState qvn_cPartTube::s_State;

void qvn_cPartTube::resetState() { s_State = SState{}; }

qvn_cPartTube::qvn_cPartTube() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartTube::load() {
    static const qvn_eDataFileId pictures[] = {QVN_DF_LOST_JPG, QVN_DF_TUNER_JPG, QVN_DF_MAIN_JPG};
    for (qvn_eDataFileId id : pictures)
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : pictures)
        if (!qvn_ToDisplay(kName, id, getDisplayBpp())) return false;
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_MAXITUB_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartTube::beginRun() {
    qvn_cBitmap* black = screenBitmap();
    if (!black) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    struct SAdd {
        qvn_cBitmap* bitmap;
        int32_t fx;
        float x, y;
        bool visible;
    };
    // The travel picture and the two smileys are the travel and smileys
    // parts' pictures, loaded with them before the half starts.
    const SAdd adds[kLayers] = {
        {&qvn_Picture(QVN_DF_LOST_JPG), QVN_FX_ADDITIVE, 0, 0, true},
        {&qvn_Picture(QVN_DF_TUNER_JPG), QVN_FX_ADDITIVE, 0, 0, false},
        {&qvn_Picture(QVN_DF_TRAV3_4_JPG), QVN_FX_ADDITIVE, 215, 158, true},
        {&qvn_Picture(QVN_DF_SMILEY4_JPG), QVN_FX_COLORDODGE, 130, 209, true},
        {&qvn_Picture(QVN_DF_SMILEY7_JPG), QVN_FX_COLORDODGE, 0, 0, false},
        {&qvn_Picture(QVN_DF_MAIN_JPG), QVN_FX_NORMAL, 0, 0, false},
        {black, QVN_FX_NORMAL, 0, 0, true},
    };
    for (int i = 0; i < kLayers; ++i) {
        m_aLayer[i] = L.add(adds[i].bitmap, adds[i].fx);
        L.setPosXY(m_aLayer[i], adds[i].x, adds[i].y);
        L.setVisible(m_aLayer[i], adds[i].visible);
    }
    m_bTuner = true;
    m_SmileyFlash = qvn_SFlash{};
    m_MainFlash = qvn_SFlash{};
    return true;
}

bool qvn_cPartTube::endsBeforeDrawing(int32_t t) { return t >= 126550; }

bool qvn_cPartTube::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    const float speed = m_fSpeed;

    if (s.m_MainAt118000.fire(t >= 118000)) m_MainFlash.start();

    // Lost flickers and jitters up to 15 pixels to the left.
    L.setVisible(m_aLayer[kLost], 1);
    const float lostScale = static_cast<float>(qvn_rand() % 255) / 256.0f;
    qvn_SetScale(L, m_aLayer[kLost], lostScale);
    const float lostX = static_cast<float>(-(qvn_rand() % 16));
    L.setPosX(m_aLayer[kLost], lostX);

    // The tuner swells once (about 57 frames at 60 frames per second) and is
    // gone for the rest of the run.
    if (m_bTuner) {
        L.setVisible(m_aLayer[kTuner], 1);
        const float z = std::sin(s.m_fTunerAngle) * 0.769231f + 1.5f;
        s.m_fTunerAngle += 0.065f * speed;
        qvn_Picture(QVN_DF_TUNER_JPG).zoom(z, z);
        qvn_SetScale(L, m_aLayer[kTuner], z - 1.1f);
        if (z - 1.1f <= 0.0f) {
            L.setVisible(m_aLayer[kTuner], 0);
            m_bTuner = false;
        }
    }

    // The scene comes out of black.
    if (L.getVisible(m_aLayer[kBlack])) {
        qvn_SetScale(L, m_aLayer[kBlack], s.m_fBlack);
        if (s.m_fBlack <= 0.0f) L.setVisible(m_aLayer[kBlack], 0);
        s.m_fBlack -= 0.08f * speed;
    }

    // The travel picture pulses on a sine; the compositor holds the negative
    // half at 0, so it is dark half the time.
    qvn_Picture(QVN_DF_TRAV3_4_JPG).horizontalBlurFast(qvn_rand() % 16);
    L.setVisible(m_aLayer[kTravel], 1);
    qvn_SetScale(L, m_aLayer[kTravel], std::sin(s.m_fPulseAngle));
    s.m_fPulseAngle += 0.05f * speed;

    qvn_Picture(QVN_DF_SMILEY4_JPG).horizontalBlurFast(qvn_rand() % 16);
    L.setVisible(m_aLayer[kSmiley], 1);

    if (s.m_SmileyAt110144.fire(t >= 110144)) m_SmileyFlash.start();
    if (s.m_SmileyAt112144.fire(t >= 112144)) m_SmileyFlash.start();
    m_SmileyFlash.step(L, m_aLayer[kFlash], qvn_Picture(QVN_DF_SMILEY7_JPG), 0.04f, 0.015f, speed);
    m_MainFlash.step(L, m_aLayer[kMain], qvn_Picture(QVN_DF_MAIN_JPG), 0.05f, 0.015f, speed);
    return true;
}
