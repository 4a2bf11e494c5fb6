#include "qvn_PartGlon.h"

#include <cmath>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

static const char kName[] = "qvn_cPartGlon";

qvn_cPartGlon::SState qvn_cPartGlon::s_State;

void qvn_cPartGlon::resetState() { s_State = SState{}; }

qvn_cPartGlon::qvn_cPartGlon() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartGlon::load() {
    static const qvn_eDataFileId pictures[] = {QVN_DF_HALO_JPG, QVN_DF_FORGET_JPG, QVN_DF_GREED_JPG,
                                               QVN_DF_JUSTRY_JPG, QVN_DF_VELLOR4_JPG};
    for (qvn_eDataFileId id : pictures)
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : pictures)
        if (!qvn_ToDisplay(kName, id, getDisplayBpp())) return false;
    // The tube part loads the main picture earlier in the half.
    if (qvn_PictureEmpty(QVN_DF_MAIN_JPG) && !qvn_LoadAndConvert(kName, QVN_DF_MAIN_JPG, getDisplayBpp()))
        return false;
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_GLON_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartGlon::beginRun() {
    qvn_cBitmap* black = screenBitmap();
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!black || !white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    const qvn_cBitmap& forget = qvn_Picture(QVN_DF_FORGET_JPG);
    struct SAdd {
        qvn_cBitmap* bitmap;
        int32_t fx;
        float x, y;
    };
    // The forget picture's bottom-right corner sits at (365, 240).
    const SAdd adds[kLayers] = {
        {&qvn_Picture(QVN_DF_JUSTRY_JPG), QVN_FX_CHROMAKEY, 0, 0},
        {&qvn_Picture(QVN_DF_HALO_JPG), QVN_FX_ADDITIVE, 82, 39},
        {&qvn_Picture(QVN_DF_FORGET_JPG), QVN_FX_ADDITIVE, static_cast<float>(365 - forget.m_nSizeX),
         static_cast<float>(240 - forget.m_nSizeY)},
        {&qvn_Picture(QVN_DF_GREED_JPG), QVN_FX_COLORDODGE, 0, 0},
        {&qvn_Picture(QVN_DF_MAIN_JPG), QVN_FX_NORMAL, 0, 0},
        {black, QVN_FX_NORMAL, 0, 0},
        {white, QVN_FX_NORMAL, 0, 0},
        {&qvn_Picture(QVN_DF_VELLOR4_JPG), QVN_FX_ADDITIVE, 0, 0},
    };
    for (int i = 0; i < kLayers; ++i) {
        m_aLayer[i] = L.add(adds[i].bitmap, adds[i].fx);
        L.setPosXY(m_aLayer[i], adds[i].x, adds[i].y);
        L.setVisible(m_aLayer[i], i == kJustry);
    }
    // The halo fades in from its own strength, not from the full strength
    // every layer starts with.
    qvn_SetScale(L, m_aLayer[kHalo], s_State.m_fHalo);
    m_fWhite = 1.0f;
    m_fBlack = 0.85f;
    m_fBlackEnd = 0.0f;
    m_GreedFlash = qvn_SFlash{};
    m_MainFlash = qvn_SFlash{};
    return true;
}

bool qvn_cPartGlon::endsBeforeDrawing(int32_t t) { return t >= 163000; }

bool qvn_cPartGlon::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    const float speed = m_fSpeed;

    // The opening flash takes the chroma-keyed picture away with it.
    if (s.m_FirstFrame.fire(true)) m_fWhite = 1.0f;
    qvn_SetFade(L, m_aLayer[kWhite], m_fWhite);
    const float d = 0.025f * speed;
    m_fWhite -= d;
    qvn_SetFade(L, m_aLayer[kJustry], m_fWhite);

    if (s.m_MainAt149000.fire(t >= 149000)) m_MainFlash.start();

    L.setVisible(m_aLayer[kForget], 1);
    qvn_SetScale(L, m_aLayer[kForget], static_cast<float>(qvn_rand() & 255) / 256.0f);
    qvn_Picture(QVN_DF_FORGET_JPG).horizontalBlurFast(qvn_rand() & 32);

    // The scene darkens and the halo fades in; from 143600 it fades out.
    if (t >= 140600 && t < 143600) {
        if (s.m_HaloAt140600.fire(true)) {
            L.setVisible(m_aLayer[kHalo], 1);
            m_fBlack = 0.85f;
        }
        qvn_SetFade(L, m_aLayer[kBlack], m_fBlack);
        m_fBlack -= 0.05f * speed;
        if (m_fBlack <= 0.5f) {
            qvn_SetScale(L, m_aLayer[kHalo], s.m_fHalo);
            if (s.m_fHalo < 1.0f) s.m_fHalo += 0.05f * speed;
        }
    } else if (t >= 143600) {
        const float halo = L.getScaleR(m_aLayer[kHalo]) - d;
        qvn_SetScale(L, m_aLayer[kHalo], halo);
        if (halo <= 0.0f) L.setVisible(m_aLayer[kHalo], 0);
    }

    // One slow zooming pulse while the frame fades to black.
    if (t >= 151000) {
        L.setVisible(m_aLayer[kVellor4], 1);
        const float p = qvn_Pulse(s.m_fPulseAngle, d);
        qvn_SetScale(L, m_aLayer[kVellor4], p);
        // One whole sine period from the low point, then it is gone.
        if (s.m_fPulseAngle < 10.995565f)
            qvn_Picture(QVN_DF_VELLOR4_JPG).zoom(p * 0.25f + 1.0f, p * 0.25f + 1.0f);
        else
            L.setVisible(m_aLayer[kVellor4], 0);
        if (s.m_EndAt151000.fire(true)) m_fBlackEnd = 0.0f;
        qvn_SetFade(L, m_aLayer[kBlack], m_fBlackEnd);
        m_fBlackEnd += 0.0025f * speed;
    }

    if (s.m_GreedAt144800.fire(t >= 144800)) m_GreedFlash.start();
    if (s.m_GreedAt150800.fire(t >= 150800)) m_GreedFlash.start();
    m_GreedFlash.step(L, m_aLayer[kGreed], qvn_Picture(QVN_DF_GREED_JPG), 0.01f, 0.00375f, speed);
    m_MainFlash.step(L, m_aLayer[kMain], qvn_Picture(QVN_DF_MAIN_JPG), 0.05f, 0.015f, speed);
    return true;
}
