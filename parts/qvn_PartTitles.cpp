#include "qvn_PartTitles.h"

#include <initializer_list>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"
#include "qvn_SoundPlayer.h"

static const char kName[] = "qvn_cPartTitles";

bool qvn_cPartTitles::load() {
    static const qvn_eDataFileId pictures[] = {QVN_DF_ART_JPG,           QVN_DF_OF_JPG,
                                               QVN_DF_SELF_JPG,          QVN_DF_DESTRU_JPG,
                                               QVN_DF_LOGO_BRIMWICK_JPG, QVN_DF_LOGO_QUORVANE_JPG,
                                               QVN_DF_PARA_JPG,          QVN_DF_TETEFEUI_JPG};
    for (qvn_eDataFileId id : pictures)
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : pictures)
        if (!qvn_ToDisplay(kName, id, getDisplayBpp())) return false;
    return true;
}

bool qvn_cPartTitles::beginRun() {
    m_pBackground = screenBitmap();
    if (!m_pBackground) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    struct SAdd {
        qvn_cBitmap* bitmap;
        int32_t fx;
        float x, y;
    };
    const SAdd adds[kLayers] = {
        {m_pBackground, QVN_FX_NORMAL, 0, 0},
        {&qvn_Picture(QVN_DF_ART_JPG), QVN_FX_NORMAL, -100, 10},
        {&qvn_Picture(QVN_DF_OF_JPG), QVN_FX_NORMAL, 100, 120},
        {&qvn_Picture(QVN_DF_SELF_JPG), QVN_FX_NORMAL, 4, 45},
        {&qvn_Picture(QVN_DF_DESTRU_JPG), QVN_FX_NORMAL, 5, 40},
        {&qvn_Picture(QVN_DF_LOGO_BRIMWICK_JPG), QVN_FX_NORMAL, 0, 0},
        {&qvn_Picture(QVN_DF_LOGO_QUORVANE_JPG), QVN_FX_NORMAL, 0, 0},
        {&qvn_Picture(QVN_DF_PARA_JPG), QVN_FX_ADDITIVE, 0, 0},
        {&qvn_Picture(QVN_DF_TETEFEUI_JPG), QVN_FX_ADDITIVE, 0, 0},
    };
    for (int i = 0; i < kLayers; ++i) {
        m_aLayer[i] = L.add(adds[i].bitmap, adds[i].fx);
        L.setPosXY(m_aLayer[i], adds[i].x, adds[i].y);
        L.setVisible(m_aLayer[i], i == kBackground || i == kNoise);
    }
    m_fX = 1.0f;
    m_fR = 0.0f;
    m_fW = 1.0f;
    m_fN = 1.0f;
    m_bFlicker = true;
    m_bWhiteReady = false;
    if (g_pMusic) g_pMusic->Seek(0);
    return true;
}

// Blurs the word a little more each frame (the blur is kept in the master
// copy, so it builds up) while it darkens.
void qvn_cPartTitles::blurOut(int32_t layer, qvn_eDataFileId picture) {
    qvn_cBitmap& word = qvn_Picture(picture);
    word.horizontalBlurFast(32);
    word.syncPixels32();
    qvn_SetScale(*m_pLayers, m_aLayer[layer], m_fX);
    m_fX -= 0.15f * m_fSpeed;
}

void qvn_cPartTitles::flash() {
    qvn_SetScale(*m_pLayers, m_aLayer[kFlash], 1.0f);
    m_pLayers->setVisible(m_aLayer[kFlash], 1);
}

void qvn_cPartTitles::flashDecay() {
    qvn_SetScale(*m_pLayers, m_aLayer[kFlash], m_fX);
    m_fX -= 0.33f * m_fSpeed;
    if (m_fX <= 0.0f) m_pLayers->setVisible(m_aLayer[kFlash], 0);
}

bool qvn_cPartTitles::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float noiseX = static_cast<float>(-(qvn_rand() % 319));
    const float noiseY = static_cast<float>(-(qvn_rand() % 239));
    L.setPosXY(m_aLayer[kNoise], noiseX, noiseY);
    if (m_bFlicker) qvn_SetScale(L, m_aLayer[kNoise], static_cast<float>(qvn_rand() & 255) / 256.0f);

    // The first row that matches applies; a clock value on a boundary takes
    // the row of the higher time.
    if (t > 21850) {
        for (int i : {kWord1, kWord2, kWord3, kWord4, kLogo1, kLogo2, kFlash}) L.setVisible(m_aLayer[i], 0);
        if (!m_bWhiteReady) {
            m_bWhiteReady = true;
            m_pBackground->fadePixels(1.0f, 1.0f, 1.0f, 1.0f);
            // The white must cover everything, the noise included: it is
            // painted last from now on.
            L.drawLast(m_aLayer[kBackground]);
        }
        qvn_SetScale(L, m_aLayer[kBackground], m_fX);
        if (m_fX >= 1.0f) return false;
        m_fX += 0.1f * m_fSpeed;
    } else if (t >= 21780) {
        m_fX = 0.0f;
        flash();
    } else if (t >= 21631) {
        flashDecay();
    } else if (t >= 21560) {
        m_fX = 1.0f;
        flash();
    } else if (t >= 21406) {
        flashDecay();
    } else if (t >= 21335) {
        m_fX = 1.0f;
        flash();
    } else if (t >= 21290) {
        flashDecay();
    } else if (t >= 21219) {
        m_fX = 1.0f;
        flash();
    } else if (t >= 21061) {
        flashDecay();
    } else if (t >= 20990) {
        m_fX = 1.0f;
        flash();
    } else if (t >= 20700) {
        // nothing
    } else if (t >= 14678) {
        L.setVisible(m_aLayer[kLogo1], 0);
        qvn_SetScale(L, m_aLayer[kLogo2], 1.0f);
        L.setVisible(m_aLayer[kLogo2], 1);
    } else if (t >= 14300 && m_fR <= 1.0f) {
        qvn_Picture(QVN_DF_LOGO_BRIMWICK_JPG).fadePixels(&qvn_Picture(QVN_DF_LOGO_QUORVANE_JPG), m_fR);
        m_fR += 0.04f * m_fSpeed;
    } else if (t >= 7453) {
        m_fR = 0.0f;
        qvn_Picture(QVN_DF_LOGO_BRIMWICK_JPG).fadePixels(1.0f, 1.0f, 1.0f, m_fW);
        m_fW -= 0.04f * m_fSpeed;
        L.setVisible(m_aLayer[kWord4], 0);
        L.setVisible(m_aLayer[kLogo1], 1);
        m_bFlicker = false;
        if (m_fN > 0.3f) {
            m_fN -= 0.05f * m_fSpeed;
            if (m_fN < 0.3f) m_fN = 0.3f;
        }
        qvn_SetScale(L, m_aLayer[kNoise], m_fN);
    } else if (t >= 7150) {
        blurOut(kWord4, QVN_DF_DESTRU_JPG);
    } else if (t >= 5748) {
        m_fX = 1.0f;
        L.setVisible(m_aLayer[kWord3], 0);
        L.setVisible(m_aLayer[kWord4], 1);
    } else if (t >= 5400) {
        blurOut(kWord3, QVN_DF_SELF_JPG);
        if (m_fX <= 0.0f) L.setVisible(m_aLayer[kWord3], 0);
    } else if (t >= 3927) {
        m_fX = 1.0f;
        L.setVisible(m_aLayer[kWord3], 1);
        L.setVisible(m_aLayer[kWord2], 0);
    } else if (t >= 3600) {
        blurOut(kWord2, QVN_DF_OF_JPG);
        if (m_fX <= 0.0f) L.setVisible(m_aLayer[kWord2], 0);
    } else if (t >= 2137) {
        m_fX = 1.0f;
        L.setVisible(m_aLayer[kWord2], 1);
        L.setVisible(m_aLayer[kWord1], 0);
    } else if (t >= 1800) {
        blurOut(kWord1, QVN_DF_ART_JPG);
    } else if (t >= 339) {
        L.setVisible(m_aLayer[kWord1], 1);
    }
    return true;
}
