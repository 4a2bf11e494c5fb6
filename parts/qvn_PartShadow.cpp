#include "qvn_PartShadow.h"

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

namespace {

const char kName[] = "qvn_cPartShadow";

// This part's own esclave: doubled in size and blurred for the dodge layer,
// while the digits part shows the picture as it is.
qvn_cBitmap g_Esclave;

constexpr int kBeats = 6;
const int32_t kBeatMs[kBeats] = {82000, 85000, 99000, 100000, 105000, 107000};

// What lasts for the program's life.
struct SState {
    float wv = 1.0f;          // white opening
    float pe = 4.712385f;     // dodge pulse angle: starts dark
    float ke = 0.0f;          // the closing black
    qvn_SLatch beats[kBeats];
};
SState s;

}  // namespace

void qvn_cPartShadow::resetState() { s = SState(); }

qvn_cPartShadow::qvn_cPartShadow() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartShadow::load() {
    const int bpp = getDisplayBpp();
    if (!qvn_LoadPicture(kName, QVN_DF_SHADOW_JPG)) return false;
    if (!g_Esclave.loadFromFile(qvn_DataFileName(QVN_DF_ESCLAVE_JPG)))
        return qvn_LoadStepFailed(kName, "Can't load picture", QVN_DF_ESCLAVE_JPG);
    if (!qvn_ToDisplay(kName, QVN_DF_SHADOW_JPG, bpp)) return false;
    if (!g_Esclave.setNbpp(bpp)) return qvn_LoadStepFailed(kName, "Can't convert picture", QVN_DF_ESCLAVE_JPG);
    if (!g_Esclave.setSize(640, 480)) return qvn_LoadStepFailed(kName, "Can't resize picture", QVN_DF_ESCLAVE_JPG);
    // Blurred both ways, each pass kept in the master copy for the next.
    g_Esclave.horizontalBlurFast(8);
    if (!g_Esclave.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep the blur of", QVN_DF_ESCLAVE_JPG);
    g_Esclave.verticalBlurFast(8);
    if (!g_Esclave.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep the blur of", QVN_DF_ESCLAVE_JPG);
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_PIECEF_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartShadow::beginRun() {
    qvn_cBitmap* black = screenBitmap();
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!black || !white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    qvn_cBitmap& shadow = qvn_Picture(QVN_DF_SHADOW_JPG);
    m_aLayer[kShadow] = L.add(&shadow, QVN_FX_ADDITIVE);
    m_aLayer[kDodge] = L.add(&g_Esclave, QVN_FX_COLORDODGE);
    m_aLayer[kBlack] = L.add(black, QVN_FX_NORMAL);
    m_aLayer[kWhite] = L.add(white, QVN_FX_NORMAL);
    // The shadow starts in the bottom-right corner of the screen.
    L.setPosXY(m_aLayer[kShadow], static_cast<float>(320 - shadow.m_nSizeX), static_cast<float>(240 - shadow.m_nSizeY));
    L.setPosXY(m_aLayer[kDodge], 96, 240);
    L.setVisible(m_aLayer[kDodge], 0);
    L.setVisible(m_aLayer[kBlack], 0);
    m_bShadow = true;
    m_fKb = 0.65f;
    return true;
}

bool qvn_cPartShadow::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;

    // The ending: only the black layer changes, over the scene, until it is
    // past full strength.
    if (t >= 114000) {
        m_bShadow = false;
        L.setVisible(m_aLayer[kBlack], 1);
        qvn_SetScale(L, m_aLayer[kBlack], s.ke);
        if (s.ke > 1.1f) return false;
        s.ke += 0.025f * speed;
        return true;
    }

    // Every beat already reached dims the frame again: the dimming gets
    // shorter with each beat, as each one takes its own step off kb.
    for (int i = 0; i < kBeats; ++i) {
        if (t < kBeatMs[i]) break;
        if (s.beats[i].fire(true)) {
            L.setVisible(m_aLayer[kBlack], 1);
            m_fKb = 0.65f;
        }
        qvn_SetFade(L, m_aLayer[kBlack], m_fKb);
        m_fKb -= 0.01f * speed;
    }

    if (s.wv > 0.0f) {
        qvn_SetScale(L, m_aLayer[kWhite], s.wv);
        s.wv -= 0.05f * speed;
    } else {
        L.setVisible(m_aLayer[kWhite], 0);
    }

    // The shadow flickers in its corner until 85000 ms, then at (0, 0) from
    // 90000 to 95000 ms.
    if (t >= 85000) {
        L.setVisible(m_aLayer[kShadow], 0);
        m_bShadow = false;
    } else if (t >= 81300) {
        L.setVisible(m_aLayer[kShadow], 1);
        m_bShadow = true;
    }
    if (t >= 95000) {
        L.setVisible(m_aLayer[kShadow], 0);
        m_bShadow = false;
    } else {
        if (t >= 90000) {
            L.setVisible(m_aLayer[kShadow], 1);
            m_bShadow = true;
            L.setPosXY(m_aLayer[kShadow], 0, 0);
        }
        if (m_bShadow) {
            L.setVisible(m_aLayer[kShadow], 1);
            qvn_SetScale(L, m_aLayer[kShadow], static_cast<float>(qvn_rand() & 15));
            const int radius = qvn_rand() & 15;
            qvn_Picture(QVN_DF_SHADOW_JPG).horizontalBlurFast(radius);
        }
    }

    // The dodge photograph jitters; its y offset is drawn first.
    const int y = qvn_rand() % 240;
    const int x = qvn_rand() % 320;
    L.setVisible(m_aLayer[kDodge], 1);
    L.setPosXY(m_aLayer[kDodge], static_cast<float>(-x), static_cast<float>(-y));
    qvn_SetScale(L, m_aLayer[kDodge], qvn_Pulse(s.pe, 0.05f * speed));
    return true;
}
