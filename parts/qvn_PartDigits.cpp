#include "qvn_PartDigits.h"

#include <cmath>
#include <initializer_list>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

static const char kName[] = "qvn_cPartDigits";

namespace {
// The falling mirror of the digit column: a copy of the tiled digits made
// once, so the per-frame zoom of the rising column does not show in it.
qvn_cBitmap g_Mirror;
}  // namespace

qvn_cPartDigits::SState qvn_cPartDigits::s_State;

qvn_cPartDigits::qvn_cPartDigits() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartDigits::load() {
    const int bpp = getDisplayBpp();
    for (qvn_eDataFileId id : {QVN_DF_BINAIRE_JPG, QVN_DF_TECHNOLOGY_JPG, QVN_DF_STAY_JPG, QVN_DF_ARTIST_JPG,
                               QVN_DF_ESCLAVE_JPG, QVN_DF_CRY3_JPG})
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id :
         {QVN_DF_BINAIRE_JPG, QVN_DF_TECHNOLOGY_JPG, QVN_DF_STAY_JPG, QVN_DF_ARTIST_JPG, QVN_DF_ESCLAVE_JPG})
        if (!qvn_ToDisplay(kName, id, bpp)) return false;

    // The dodge picture is twice the screen each way so that its random
    // offsets always cover the screen; its blur is kept in the master copy.
    qvn_cBitmap& esclave = qvn_Picture(QVN_DF_ESCLAVE_JPG);
    if (!esclave.setSize(640, 480)) return qvn_LoadStepFailed(kName, "Can't resize picture", QVN_DF_ESCLAVE_JPG);
    esclave.horizontalBlurFast(8);
    if (!esclave.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep blurred picture", QVN_DF_ESCLAVE_JPG);
    esclave.verticalBlurFast(8);
    if (!esclave.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep blurred picture", QVN_DF_ESCLAVE_JPG);

    if (!qvn_ToDisplay(kName, QVN_DF_CRY3_JPG, bpp)) return false;

    qvn_cBitmap& binaire = qvn_Picture(QVN_DF_BINAIRE_JPG);
    if (!binaire.tile(1, 2)) return qvn_LoadStepFailed(kName, "Can't tile picture", QVN_DF_BINAIRE_JPG);
    if (!g_Mirror.copyFrom(&binaire)) return qvn_LoadStepFailed(kName, "Can't copy picture", QVN_DF_BINAIRE_JPG);

    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_VERTA_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartDigits::beginRun() {
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    struct SAdd {
        qvn_cBitmap* bitmap;
        int32_t fx;
        float scale, x, y;
    };
    const SAdd adds[kLayers] = {
        {&g_Mirror, QVN_FX_ADDITIVE, 0.6f, 40, -718},
        {&qvn_Picture(QVN_DF_BINAIRE_JPG), QVN_FX_ADDITIVE, 1, -80, 0},
        {&qvn_Picture(QVN_DF_TECHNOLOGY_JPG), QVN_FX_ADDITIVE, 1, 320, 160},
        {&qvn_Picture(QVN_DF_STAY_JPG), QVN_FX_ADDITIVE, 1, 10, 10},
        {&qvn_Picture(QVN_DF_ARTIST_JPG), QVN_FX_ADDITIVE, 1, 0, 240},
        {&qvn_Picture(QVN_DF_ESCLAVE_JPG), QVN_FX_COLORDODGE, 1, 96, 240},
        {&qvn_Picture(QVN_DF_CRY3_JPG), QVN_FX_NORMAL, 1, 0, 0},
        {white, QVN_FX_NORMAL, 1, 0, 0},
    };
    for (int i = 0; i < kLayers; ++i) {
        m_aLayer[i] = L.add(adds[i].bitmap, adds[i].fx, adds[i].scale, adds[i].scale, adds[i].scale);
        L.setPosXY(m_aLayer[i], adds[i].x, adds[i].y);
        L.setVisible(m_aLayer[i], 0);
    }
    m_fWhite = 1.0f;
    m_DigitsStart = m_TechnologyStart = m_StayStart = m_ArtistStart = qvn_SLatch();
    m_bDigits = m_bTechnology = m_bStay = m_bArtist = false;
    m_bScene = true;
    return true;
}

void qvn_cPartDigits::beforeClear(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;

    if (m_DigitsStart.fire(t >= 49380)) m_bDigits = true;
    if (m_TechnologyStart.fire(t >= 54380)) m_bTechnology = true;
    if (m_StayStart.fire(t >= 57625)) m_bStay = true;
    if (m_ArtistStart.fire(t >= 64000)) m_bArtist = true;

    // The closing photograph: once it is fully in, the scene and the words are
    // gone for good (removing them again on later frames does nothing).
    if (t >= 69565) {
        L.setVisible(m_aLayer[kPhoto], 1);
        if (s.cy > 1.0f) {
            m_bScene = false;
            for (int i : {kDigits, kMirror, kTechnology, kStay, kArtist, kDodge}) L.remove(m_aLayer[i]);
        } else {
            qvn_SetScale(L, m_aLayer[kPhoto], s.cy);
            s.cy += 0.01f * m_fSpeed;
        }
    }

    if (s.openingFlash.fire(true)) m_fWhite = 1.0f;
    qvn_SetFade(L, m_aLayer[kWhite], m_fWhite);
    const float d = 0.01f * m_fSpeed;
    m_fWhite -= d;

    if (m_bDigits) digits();
    if (m_bTechnology) technology();
    if (m_bStay) stay(d);
    if (m_bArtist) artist();

    // The blurred photograph jitters over everything, pulsing on a sine.
    const float dodgeY = static_cast<float>(-(qvn_rand() % 240));
    const float dodgeX = static_cast<float>(-(qvn_rand() % 320));
    L.setVisible(m_aLayer[kDodge], 1);
    L.setPosXY(m_aLayer[kDodge], dodgeX, dodgeY);
    qvn_SetScale(L, m_aLayer[kDodge], qvn_Pulse(s.pe, 0.05f * m_fSpeed));
}

// The digit column rises while its mirror falls by as much: the two cross
// at the middle of their runs.
void qvn_cPartDigits::digits() {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    const int32_t digits = m_aLayer[kDigits], mirror = m_aLayer[kMirror];
    L.setVisible(digits, 1);
    L.setVisible(mirror, 1);
    const float y = L.getPosY(digits) - 3.0f * m_fSpeed;
    L.setPosY(digits, y);
    const float mirrorX = static_cast<float>(qvn_rand() % 32 + 40);
    L.setPosXY(mirror, mirrorX, -y - 718.0f);
    qvn_SetScale(L, digits, s.sb);
    qvn_SetScale(L, mirror, s.sb);
    if (y > -179.0f)
        s.sb += 0.05f * m_fSpeed;
    else
        s.sb -= 0.05f * m_fSpeed;
    if (y <= -718.0f) {
        m_bDigits = false;
        L.setVisible(digits, 0);
        L.setVisible(mirror, 0);
    }
    if (L.getVisible(digits)) {
        const float z = std::sin(s.zb) * 0.16666667f + 1.1666666f;
        qvn_Picture(QVN_DF_BINAIRE_JPG).zoom(z, z);
        s.zb += 0.05f * m_fSpeed;
    }
}

void qvn_cPartDigits::technology() {
    qvn_cBitmapLayers& L = *m_pLayers;
    const int32_t id = m_aLayer[kTechnology];
    L.setVisible(id, 1);
    const float x = L.getPosX(id) - 6.0f * m_fSpeed;
    L.setPosX(id, x);
    qvn_SetScale(L, id, static_cast<float>(qvn_rand() % 255) / 512.0f + 0.5f);
    if (x <= -1000.0f) {
        m_bTechnology = false;
        L.setVisible(id, 0);
    }
}

// "stay" comes with its own white flash (once per program), which fades at
// twice the opening flash's rate as both decays run; the word itself starts
// over-bright and fades slowly.
void qvn_cPartDigits::stay(float d) {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    const int32_t id = m_aLayer[kStay];
    if (s.stayFlash.fire(true)) {
        m_fWhite = 1.0f;
        L.setVisible(id, 1);
    }
    qvn_SetFade(L, m_aLayer[kWhite], m_fWhite);
    m_fWhite -= d;
    if (s.st > 0.0f)
        qvn_SetScale(L, id, s.st);
    else
        L.setVisible(id, 0);
    s.st -= 0.005f * m_fSpeed;
}

// "artist" rises from below the screen, shaking sideways and blurred by a
// random amount each frame.
void qvn_cPartDigits::artist() {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    const int32_t id = m_aLayer[kArtist];
    L.setVisible(id, 1);
    const float y = L.getPosY(id) - 2.0f * m_fSpeed;
    const float x = static_cast<float>((qvn_rand() & 15) - 8);
    L.setPosXY(id, x, y);
    if (y <= -240.0f) {
        qvn_SetScale(L, id, s.sa);
        s.sa -= 0.05f * m_fSpeed;
    } else if (y >= -120.0f) {
        qvn_SetScale(L, id, s.sa);
        s.sa += 0.05f * m_fSpeed;
    }
    if (y <= -480.0f) {
        m_bArtist = false;
        L.setVisible(id, 0);
    }
    if (L.getVisible(id)) qvn_Picture(QVN_DF_ARTIST_JPG).horizontalBlurFast(qvn_rand() & 15);
}
