#include "qvn_PartPillars.h"

#include <cmath>

#include "qvn_Random.h"

namespace {

const char kName[] = "qvn_cPartPillars";

// The dodge overlay is trav3_7 cut to the screen; the travel part shows the
// whole picture, so this part keeps a copy of its own.
qvn_cBitmap g_Dodge;
// im02 blurred with radius 4, 8, 16, 32, 64 and 128, and the list that plays
// im02 and its six blurs as an animation.
qvn_cBitmap g_aBlurred[6];
qvn_cBitmapList g_BlurList;

// What lasts for the program's life.
struct SState {
    qvn_SLatch text1, text2, text3, dodgeShown, blurShown, flash24000, flash38000, flash41000;
    float v1 = 1.0f, v2 = 1.0f, v3 = 1.0f, v4 = 0.0f, v5 = 0.0f;
    // The dodge layer's strength (0 to 1) and the angle of the sine it
    // follows, in radians.
    float pulse = 0.0f, pulseAngle = 0.0f;
    // The blur animation's strength (it grows from 0) and the angle of its
    // zoom's sine, in radians.
    float blurScale = 0.0f, zoomAngle = 0.0f;
};
SState s;

}  // namespace

void qvn_cPartPillars::resetState() { s = SState(); }

qvn_cBitmapList& qvn_cPartPillars::blurFrames() { return g_BlurList; }

qvn_cPartPillars::qvn_cPartPillars() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartPillars::load() {
    const int bpp = getDisplayBpp();
    static const qvn_eDataFileId pictures[] = {QVN_DF_WEDEPAINT_JPG, QVN_DF_TRAGEDY_JPG, QVN_DF_OFEXISTANCE_JPG,
                                               QVN_DF_CRY4_JPG,      QVN_DF_CRY5_JPG,    QVN_DF_IM02_JPG,
                                               QVN_DF_NOFATE_JPG,    QVN_DF_VELLOR1_JPG};
    for (qvn_eDataFileId id : pictures)
        if (!qvn_LoadPicture(kName, id)) return false;
    if (!g_Dodge.loadFromFile(qvn_DataFileName(QVN_DF_TRAV3_7_JPG)))
        return qvn_LoadStepFailed(kName, "Can't load picture", QVN_DF_TRAV3_7_JPG);
    for (qvn_eDataFileId id : {QVN_DF_WEDEPAINT_JPG, QVN_DF_TRAGEDY_JPG, QVN_DF_OFEXISTANCE_JPG, QVN_DF_CRY4_JPG,
                               QVN_DF_CRY5_JPG})
        if (!qvn_ToDisplay(kName, id, bpp)) return false;
    if (!g_Dodge.setNbpp(bpp) || !g_Dodge.cropTo(0, 80, 320, 240))
        return qvn_LoadStepFailed(kName, "Can't convert or crop picture", QVN_DF_TRAV3_7_JPG);
    if (!qvn_ToDisplay(kName, QVN_DF_IM02_JPG, bpp) || !qvn_ToDisplay(kName, QVN_DF_NOFATE_JPG, bpp)) return false;
    qvn_cBitmap& im02 = qvn_Picture(QVN_DF_IM02_JPG);
    for (qvn_cBitmap& copy : g_aBlurred)
        if (!copy.copyFrom(&im02)) return qvn_LoadStepFailed(kName, "Can't copy picture", QVN_DF_IM02_JPG);
    g_BlurList.clear();
    g_BlurList.add(&im02);
    for (qvn_cBitmap& copy : g_aBlurred) g_BlurList.add(&copy);
    // The blurs are kept in the master copies: the animation zooms its
    // frames every frame, and a zoom redraws from the master.
    int radius = 4;
    for (qvn_cBitmap& copy : g_aBlurred) {
        copy.horizontalBlurFast(radius);
        copy.syncPixels32();
        radius *= 2;
    }
    if (!qvn_ToDisplay(kName, QVN_DF_VELLOR1_JPG, bpp)) return false;
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_PILLIERS_QVN)) return false;
    m_Scene.registerTextures(true);
    return true;
}

bool qvn_cPartPillars::beginRun() {
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    m_aLayer[kWhite] = L.add(white);
    m_aLayer[kText1] = L.add(&qvn_Picture(QVN_DF_WEDEPAINT_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kText2] = L.add(&qvn_Picture(QVN_DF_TRAGEDY_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kText3] = L.add(&qvn_Picture(QVN_DF_OFEXISTANCE_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kPhoto1] = L.add(&qvn_Picture(QVN_DF_CRY4_JPG), QVN_FX_NORMAL);
    m_aLayer[kPhoto2] = L.add(&qvn_Picture(QVN_DF_CRY5_JPG), QVN_FX_NORMAL);
    m_aLayer[kNoise] = L.add(&qvn_Picture(QVN_DF_VELLOR1_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kDodge] = L.add(&g_Dodge, QVN_FX_COLORDODGE);
    m_aLayer[kBlurAnim] = L.add(&g_BlurList, QVN_ANIM_PINGPONG, QVN_FX_ADDITIVE);
    m_aLayer[kFlash] = L.add(&qvn_Picture(QVN_DF_NOFATE_JPG), QVN_FX_ADDITIVE);
    for (int i = kText1; i < kLayers; ++i) L.setVisible(m_aLayer[i], 0);
    L.setPosY(m_aLayer[kText2], 79);
    L.setPosY(m_aLayer[kText3], 168);
    L.setPosXY(m_aLayer[kBlurAnim], 32, 72);
    for (int i : {kPhoto1, kPhoto2, kDodge}) qvn_SetScale(L, m_aLayer[i], 0.0f);
    m_fW = 1.0f;
    m_fDW = 0.25f;
    m_bWhiteFading = true;
    m_fT1 = m_fT2 = m_fT3 = 1.0f;
    m_Flash = qvn_SFlash();
    m_bScene = true;
    return true;
}

// A text line lights up with the white layer's flash, then fades.
void qvn_cPartPillars::textLine(int32_t layer, float& scale, qvn_SLatch& once) {
    qvn_cBitmapLayers& L = *m_pLayers;
    if (once.fire(true)) {
        L.setVisible(m_aLayer[layer], 1);
        m_fW = 1.0f;
        m_fDW = 0.1f;
        m_bWhiteFading = true;
    }
    qvn_SetScale(L, m_aLayer[layer], scale);
    if (scale <= 0.0f) L.setVisible(m_aLayer[layer], 0);
    scale -= 0.02f * m_fSpeed;
}

bool qvn_cPartPillars::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;

    if (t >= 30000) {
        L.setVisible(m_aLayer[kNoise], 0);
    } else if (t >= 25000) {
        L.setVisible(m_aLayer[kNoise], 1);
        qvn_SetScale(L, m_aLayer[kNoise], static_cast<float>(qvn_rand() & 255) / 256.0f);
        L.setPosX(m_aLayer[kNoise], static_cast<float>(qvn_rand() & 63));
        // From the unblurred master each time: the noise never builds up.
        qvn_Picture(QVN_DF_VELLOR1_JPG).horizontalBlurFast(qvn_rand() & 31);
    }

    if (t >= 44500) return false;

    // The first row that matches applies.
    if (t >= 43430) {
        qvn_SetScale(L, m_aLayer[kBlurAnim], s.v1);
        qvn_SetScale(L, m_aLayer[kPhoto2], s.v1);
        s.v1 -= 0.05f * speed;
    } else if (t >= 43200) {
        qvn_SetScale(L, m_aLayer[kPhoto2], s.v2);
        s.v2 -= 0.008f * speed;
    } else if (t >= 42000) {
        qvn_SetScale(L, m_aLayer[kPhoto2], s.v3);
        s.v3 -= 0.003f * speed;
    } else if (t >= 40350) {
        L.setVisible(m_aLayer[kPhoto2], 1);
        qvn_SetScale(L, m_aLayer[kPhoto2], s.v4);
        if (s.v4 >= 1.0f) L.setVisible(m_aLayer[kPhoto1], 0);
        s.v4 += 0.03f * speed;
    } else if (t >= 36620) {
        L.setVisible(m_aLayer[kPhoto1], 1);
        qvn_SetScale(L, m_aLayer[kPhoto1], s.v5);
        if (s.v5 >= 1.0f) {
            // The photo covers the screen: the scene is not drawn again.
            m_bScene = false;
            for (int i : {kDodge, kWhite, kText1, kText2, kText3}) L.setVisible(m_aLayer[i], 0);
        }
        s.v5 += 0.025f * speed;
    } else if (t >= 31425) {
        textLine(kText3, m_fT3, s.text3);
    } else if (t >= 29611) {
        textLine(kText2, m_fT2, s.text2);
    } else if (t >= 26912) {
        textLine(kText1, m_fT1, s.text1);
    }

    // The dodge overlay pulses by a fixed angle per frame.
    if (t >= 23000 && t < 40350) {
        if (s.dodgeShown.fire(true)) L.setVisible(m_aLayer[kDodge], 1);
        qvn_SetScale(L, m_aLayer[kDodge], s.pulse);
        s.pulse = std::sin(s.pulseAngle) * 0.5f + 0.5f;
        s.pulseAngle += 0.15f;
    }

    if (t >= 36620 && t < 43430) {
        if (s.blurShown.fire(true)) L.setVisible(m_aLayer[kBlurAnim], 1);
        L.updateLayersAnims(speed);
        qvn_SetScale(L, m_aLayer[kBlurAnim], s.blurScale);
        s.blurScale += 0.01f * speed;
        if (qvn_cBitmap* current = L.getBitmap(m_aLayer[kBlurAnim])) {
            const float z = std::sin(s.zoomAngle) * 0.0625f + 1.0f;
            current->zoom(z, z);
            s.zoomAngle += 0.1f * speed;
        }
    }

    // Every latch is asked, so each one that is due is spent on this frame.
    const bool at24000 = s.flash24000.fire(t >= 24000);
    const bool at38000 = s.flash38000.fire(t >= 38000);
    const bool at41000 = s.flash41000.fire(t >= 41000);
    if (at24000 || at38000 || at41000) m_Flash.start();

    if (m_bWhiteFading) {
        qvn_SetScale(L, m_aLayer[kWhite], m_fW);
        if (m_fW > 0.0f) {
            L.setVisible(m_aLayer[kWhite], 1);
            m_fW -= m_fDW * speed;
        } else {
            L.setVisible(m_aLayer[kWhite], 0);
            m_bWhiteFading = false;
        }
    }

    m_Flash.step(L, m_aLayer[kFlash], qvn_Picture(QVN_DF_NOFATE_JPG), 0.05f, 0.015f, speed);
    return true;
}
