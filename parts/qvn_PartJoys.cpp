#include "qvn_PartJoys.h"

#include "qvn_Bitmap.h"
#include "qvn_BitmapList.h"
#include "qvn_Random.h"

namespace {

const char kName[] = "qvn_cPartJoys";

// vellor3 blurred with radius 8, 16, 32, 64 and 128, and the list that plays
// vellor3 and its blurs as an animation.
qvn_cBitmap g_aBlurred[5];
qvn_cBitmapList g_BlurList;

// What lasts for the program's life.
struct SState {
    float pulseAngle = 4.712385f;  // radians, 3 pi / 2: the smiley starts dark
    float gs = 1.0f, gz = 1.0f;    // gel strength and zoom
    float wv = 0.0f;               // white-out
};
SState s;

}  // namespace

void qvn_cPartJoys::resetState() { s = SState(); }

qvn_cPartJoys::qvn_cPartJoys() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartJoys::load() {
    const int bpp = getDisplayBpp();
    static const qvn_eDataFileId pictures[] = {QVN_DF_JOYS_JPG, QVN_DF_VELLOR3_JPG, QVN_DF_VELLOR2_JPG,
                                               QVN_DF_NOLOVE_JPG, QVN_DF_SMILEY3_JPG};
    for (qvn_eDataFileId id : pictures)
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : pictures)
        if (!qvn_ToDisplay(kName, id, bpp)) return false;
    qvn_cBitmap& vellor3 = qvn_Picture(QVN_DF_VELLOR3_JPG);
    int radius = 8;
    for (qvn_cBitmap& copy : g_aBlurred) {
        if (!copy.copyFrom(&vellor3)) return qvn_LoadStepFailed(kName, "Can't copy picture", QVN_DF_VELLOR3_JPG);
        copy.horizontalBlurFast(radius);
        radius *= 2;
    }
    g_BlurList.clear();
    g_BlurList.add(&vellor3);
    for (qvn_cBitmap& copy : g_aBlurred) g_BlurList.add(&copy);
    if (qvn_PictureEmpty(QVN_DF_GEL4_JPG) && !qvn_LoadAndConvert(kName, QVN_DF_GEL4_JPG, bpp)) return false;
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_TRAIN_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartJoys::beginRun() {
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    const qvn_cBitmap& nolove = qvn_Picture(QVN_DF_NOLOVE_JPG);
    m_aLayer[kJoys] = L.add(&qvn_Picture(QVN_DF_JOYS_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kAnim] = L.add(&g_BlurList, QVN_ANIM_PINGPONG, QVN_FX_ADDITIVE);
    m_aLayer[kVellor2] = L.add(&qvn_Picture(QVN_DF_VELLOR2_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kNolove] = L.add(&qvn_Picture(QVN_DF_NOLOVE_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kSmiley] = L.add(&qvn_Picture(QVN_DF_SMILEY3_JPG), QVN_FX_COLORDODGE);
    m_aLayer[kGel] = L.add(&qvn_Picture(QVN_DF_GEL4_JPG), QVN_FX_NORMAL);
    m_aLayer[kWhite] = L.add(white, QVN_FX_NORMAL);
    L.setPosXY(m_aLayer[kJoys], -10, -20);
    L.setPosXY(m_aLayer[kAnim], 28, -60);
    L.setPosXY(m_aLayer[kVellor2], 120, 135);
    L.setPosXY(m_aLayer[kNolove], static_cast<float>(160 - nolove.m_nSizeX / 2),
               static_cast<float>(120 - nolove.m_nSizeY / 2));
    for (int i : {kJoys, kAnim, kVellor2, kNolove, kWhite}) L.setVisible(m_aLayer[i], 0);
    m_bJoys = true;
    m_bGel = true;
    return true;
}

void qvn_cPartJoys::flicker(int32_t layer) {
    m_pLayers->setVisible(m_aLayer[layer], 1);
    qvn_SetScale(*m_pLayers, m_aLayer[layer], static_cast<float>(qvn_rand() & 255) / 256.0f);
}

bool qvn_cPartJoys::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;

    if (m_bJoys) {
        flicker(kJoys);
        L.setPosXY(m_aLayer[kJoys], static_cast<float>(-(qvn_rand() & 15)), 0);
    }

    L.setVisible(m_aLayer[kSmiley], 1);
    qvn_SetScale(L, m_aLayer[kSmiley], qvn_Pulse(s.pulseAngle, 0.05f * speed));

    // Each window below is "the later rule wins": joys sits at (40, 110)
    // from 155000 ms although it was moved above, and the anim layer's
    // second window shows it again after the first one has hidden it.
    if (t >= 155000) {
        L.setVisible(m_aLayer[kNolove], 0);
        m_bJoys = true;
        L.setVisible(m_aLayer[kJoys], 1);
        L.setPosXY(m_aLayer[kJoys], 40, 110);
    } else if (t >= 150000) {
        m_bJoys = false;
        L.setVisible(m_aLayer[kJoys], 0);
        flicker(kNolove);
        qvn_Picture(QVN_DF_NOLOVE_JPG).horizontalBlurFast(qvn_rand() & 15);
    }

    if (t >= 145000) {
        L.setVisible(m_aLayer[kVellor2], 0);
    } else if (t >= 140000) {
        flicker(kVellor2);
        qvn_Picture(QVN_DF_VELLOR2_JPG).horizontalBlurFast(qvn_rand() & 47);
    }

    if (t >= 139000) {
        L.setVisible(m_aLayer[kAnim], 0);
    } else if (t >= 136000) {
        flicker(kAnim);
        L.updateLayersAnims(speed);
    }
    if (t >= 153000) {
        L.setVisible(m_aLayer[kAnim], 0);
    } else if (t >= 150000) {
        L.setPosXY(m_aLayer[kAnim], 0, 0);
        flicker(kAnim);
        L.updateLayersAnims(speed);
    }

    // The gel picture of the previous part zooms away while it fades; the
    // zoom uses gz as it was before this frame's step.
    if (m_bGel) {
        L.setVisible(m_aLayer[kGel], 1);
        qvn_SetScale(L, m_aLayer[kGel], s.gs);
        if (s.gs > 0.0f) {
            s.gs -= 0.015f * speed;
            qvn_Picture(QVN_DF_GEL4_JPG).zoom(s.gz, s.gz);
            s.gz += 0.1f * speed;
        } else {
            m_bGel = false;
            L.setVisible(m_aLayer[kGel], 0);
        }
    }

    if (t >= 168000) {
        L.setVisible(m_aLayer[kWhite], 1);
        qvn_SetScale(L, m_aLayer[kWhite], s.wv);
        if (s.wv > 1.05f) return false;
        s.wv += 0.06f * speed;
    }
    return true;
}
