#include "qvn_PartTravel.h"

#include <cmath>

#include "qvn_Bitmap.h"
#include "qvn_BitmapList.h"
#include "qvn_Random.h"

static const char kName[] = "qvn_cPartTravel";

namespace {
const qvn_eDataFileId kPictures[] = {QVN_DF_TRAV3_1_JPG, QVN_DF_TRAV3_2_JPG, QVN_DF_TRAV3_3_JPG, QVN_DF_TRAV3_4_JPG,
                                     QVN_DF_TRAV3_5_JPG, QVN_DF_TRAV3_6_JPG, QVN_DF_TRAV3_7_JPG};
constexpr int kCopies = 5;
const int kCopyBlurRadius[kCopies] = {32, 64, 128, 256, 512};
// Made by load() and kept to the program's end, like the pictures.
qvn_cBitmap g_aBlurredCopies[kCopies];
qvn_cBitmapList g_AnimList;
}  // namespace

qvn_cPartTravel::SState qvn_cPartTravel::s_State;

void qvn_cPartTravel::resetState() { s_State = SState{}; }

qvn_cBitmapList& qvn_cPartTravel::animation() { return g_AnimList; }

bool qvn_cPartTravel::load() {
    for (qvn_eDataFileId id : kPictures)
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : kPictures)
        if (!qvn_ToDisplay(kName, id, getDisplayBpp())) return false;
    qvn_cBitmap& first = qvn_Picture(QVN_DF_TRAV3_1_JPG);
    for (qvn_cBitmap& copy : g_aBlurredCopies)
        if (!copy.copyFrom(&first)) return qvn_LoadStepFailed(kName, "Can't copy picture", QVN_DF_TRAV3_1_JPG);
    // A second show loads again: the list is built afresh, not appended to.
    g_AnimList.clear();
    for (int i = 0; i < kAnimFrames - kCopies; ++i) g_AnimList.add(&first);
    for (qvn_cBitmap& copy : g_aBlurredCopies) g_AnimList.add(&copy);
    for (int i = 0; i < kCopies; ++i) {
        g_aBlurredCopies[i].horizontalBlur(kCopyBlurRadius[i]);
        // The blur goes into the master copy too: the white-out fades the
        // frame it finds from its master, and it must fade the blurred one.
        g_aBlurredCopies[i].syncPixels32();
    }
    return true;
}

bool qvn_cPartTravel::beginRun() {
    // The tube part blurs trav3_4's display copy every frame before this part
    // runs; every picture shown here starts from its master copy.
    for (qvn_eDataFileId id : kPictures) {
        qvn_cBitmap& picture = qvn_Picture(id);
        picture.setNbpp(picture.m_eBpp);
    }
    qvn_cBitmap* red = screenBitmap(1.0f, 0.0f, 0.0f, 0.3f);
    if (!red) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    m_aLayer[kRed] = L.add(red, QVN_FX_NORMAL);
    m_aLayer[kAnim] = L.add(&g_AnimList, QVN_ANIM_PINGPONG, QVN_FX_ADDITIVE, 0.0f, 0.0f, 0.0f);
    for (int i = kP2; i <= kP7; ++i) {
        const int32_t fx = i == kP7 ? QVN_FX_COLORDODGE : QVN_FX_ADDITIVE;
        m_aLayer[i] = L.add(&qvn_Picture(kPictures[i - kP2 + 1]), fx, 0.0f, 0.0f, 0.0f);
    }
    m_bFadeIn = m_bFlickerAnim = m_bFlicker2 = m_bPulse6 = true;
    m_ePhase = ePhase::kUp;
    m_fX = m_fY = 0.0f;
    m_fX5 = 320.0f;
    m_fY5 = static_cast<float>(qvn_rand() % 200);
    m_fV5 = 8.0f;
    return true;
}

bool qvn_cPartTravel::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    SState& s = s_State;
    const float speed = m_fSpeed;

    // The white-out: the animation's current frame turns white and strong,
    // whatever the choreography is doing.
    if (t >= 137200) {
        L.setFX(m_aLayer[kP7], QVN_FX_ADDITIVE);
        m_bFlickerAnim = m_bFlicker2 = m_bPulse6 = false;
        qvn_cBitmap* frame = L.getBitmap(m_aLayer[kAnim]);
        if (!frame) return false;
        frame->fadePixels(1.0f, 1.0f, 1.0f, s.m_fWhite);
        qvn_SetScale(L, m_aLayer[kAnim], s.m_fWhite);
        if (s.m_fWhite > 1.0f + 0.02f * speed) return false;
        s.m_fWhite += 0.02f * speed;
    }

    L.setScaleR(m_aLayer[kRed], s.m_fRed);
    s.m_fRed = qvn_Pulse(s.m_fRedAngle, 0.06f * speed);

    if (m_bFadeIn) {
        if (s.m_fFadeIn > 1.0f) s.m_fFadeIn = 1.0f;
        for (int i = kAnim; i <= kP7; ++i) qvn_SetScale(L, m_aLayer[i], s.m_fFadeIn);
        if (s.m_fFadeIn >= 1.0f) m_bFadeIn = false;
        s.m_fFadeIn += 0.05f * speed;
    } else {
        if (m_bFlickerAnim) qvn_SetScale(L, m_aLayer[kAnim], static_cast<float>((qvn_rand() & 255) + 64) / 256.0f);
        if (m_bFlicker2) qvn_SetScale(L, m_aLayer[kP2], static_cast<float>(qvn_rand() & 255) / 256.0f);
        qvn_SetScale(L, m_aLayer[kP3], static_cast<float>(qvn_rand() & 255) / 256.0f);
        qvn_SetScale(L, m_aLayer[kP4], static_cast<float>(qvn_rand() & 255) / 256.0f);
        if (m_bPulse6) qvn_SetScale(L, m_aLayer[kP6], qvn_Pulse(s.m_fP6Angle, 0.06f * speed) * 0.5f);
    }

    choreography();
    crossing();
    return true;
}

void qvn_cPartTravel::choreography() {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;
    auto setY = [&] {
        L.setPosY(m_aLayer[kP6], m_fY);
        L.setPosY(m_aLayer[kP7], m_fY);
    };
    auto setX = [&] {
        L.setPosX(m_aLayer[kP6], m_fX);
        L.setPosX(m_aLayer[kP7], m_fX);
    };
    switch (m_ePhase) {
    case ePhase::kUp:
        setY();
        if (m_fY >= -120.0f)
            m_fY -= 8.0f * speed;
        else
            m_ePhase = ePhase::kRight;
        break;
    case ePhase::kRight:
        setX();
        if (m_fX > 320.0f) {
            m_fX = -600.0f;
            m_ePhase = ePhase::kIn;
        } else {
            m_fX += 16.0f * speed;
        }
        break;
    case ePhase::kIn:
        setX();
        if (m_fX <= 170.0f) {
            m_fX += 16.0f * speed;
            break;
        }
        // The way down starts in the same frame.
        m_ePhase = ePhase::kDown;
        [[fallthrough]];
    case ePhase::kDown:
        setY();
        if (m_fY > 240.0f) {
            m_fY = -400.0f;
            m_ePhase = ePhase::kBack;
        } else {
            m_fY += 8.0f * speed;
        }
        break;
    case ePhase::kBack:
        setY();
        if (m_fY > 0.0f) {
            m_fY = 0.0f;
            m_ePhase = ePhase::kStill;
        } else {
            m_fY += 8.0f * speed;
        }
        break;
    case ePhase::kStill:
        break;
    }
}

// Trav3_5 crosses from the right edge to the left again and again, each new
// pass at a random height and speed.
void qvn_cPartTravel::crossing() {
    if (m_fX5 > -650.0f) {
        m_pLayers->setPosXY(m_aLayer[kP5], m_fX5, m_fY5);
        m_fX5 -= m_fV5 * m_fSpeed;
        return;
    }
    m_fX5 = 320.0f;
    m_fY5 = static_cast<float>(qvn_rand() % 200);
    m_fV5 = static_cast<float>(qvn_rand() % 65 + 16);
}

void qvn_cPartTravel::afterFlip() { m_pLayers->updateLayersAnims(m_fSpeed * 0.25f); }
