#include "qvn_PartCredits.h"

#include <initializer_list>

#include "qvn_Bitmap.h"
#include "qvn_Random.h"

static const char kName[] = "qvn_cPartCredits";

namespace {
// Text strips cut from the comment and name pictures at load time; the
// fourth name strip is the name picture itself, cropped.
qvn_cBitmap g_aNameStrips[3];     // the name strips of the first three credits
qvn_cBitmap g_aCommentStrips[5];  // the five strips cut from the comment picture

struct SStrip {
    qvn_cBitmap* bitmap;
    int y, height;
};

bool CutStrip(qvn_cBitmap& strip, qvn_eDataFileId from, int y, int height) {
    if (!strip.copyFrom(&qvn_Picture(from))) return qvn_LoadStepFailed(kName, "Can't copy picture", from);
    if (!strip.cropTo(0, y, 320, height)) return qvn_LoadStepFailed(kName, "Can't cut strip from picture", from);
    return true;
}
}  // namespace

// A credit: its picture, the strip sliding down (y = offset) and the one
// sliding up (y = 240 - offset), when it comes in out of white and when it
// starts fading out. It stays until the next credit comes in.
struct qvn_cPartCredits::SCredit {
    int picture, down, up;
    qvn_eDataFileId file;
    int32_t appearMs, fadeOutMs;
};

// In the order they are shown.
const qvn_cPartCredits::SCredit qvn_cPartCredits::kCredits[4] = {
    {kK4, kC3, kN3, QVN_DF_CREDITS4_JPG, 72565, 73565},
    {kK1, kC1, kN4, QVN_DF_CREDITS1_JPG, 79760, 80760},
    {kK3, kC5, kN2, QVN_DF_CREDITS3_JPG, 87209, 88209},
    {kK2, kC4, kN1, QVN_DF_CREDITS2_JPG, 94440, 95440},
};

qvn_cPartCredits::SState qvn_cPartCredits::s_State;

qvn_cPartCredits::qvn_cPartCredits() {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
}

bool qvn_cPartCredits::load() {
    const int bpp = getDisplayBpp();
    for (qvn_eDataFileId id : {QVN_DF_CREDITS1_JPG, QVN_DF_CREDITS2_JPG, QVN_DF_CREDITS3_JPG, QVN_DF_CREDITS4_JPG,
                               QVN_DF_COMMENT_JPG, QVN_DF_NOMS_JPG})
        if (!qvn_LoadPicture(kName, id)) return false;
    for (qvn_eDataFileId id : {QVN_DF_CREDITS1_JPG, QVN_DF_CREDITS2_JPG, QVN_DF_CREDITS3_JPG, QVN_DF_CREDITS4_JPG,
                               QVN_DF_NOMS_JPG, QVN_DF_COMMENT_JPG})
        if (!qvn_ToDisplay(kName, id, bpp)) return false;
    const SStrip names[] = {{&g_aNameStrips[0], 198, 35}, {&g_aNameStrips[1], 22, 35}, {&g_aNameStrips[2], 134, 35}};
    for (const SStrip& s : names)
        if (!CutStrip(*s.bitmap, QVN_DF_NOMS_JPG, s.y, s.height)) return false;
    if (!qvn_Picture(QVN_DF_NOMS_JPG).cropTo(0, 77, 320, 62))
        return qvn_LoadStepFailed(kName, "Can't cut strip from picture", QVN_DF_NOMS_JPG);
    const SStrip comments[] = {{&g_aCommentStrips[0], 164, 32},
                               {&g_aCommentStrips[1], 196, 32},
                               {&g_aCommentStrips[2], 107, 32},
                               {&g_aCommentStrips[3], 5, 29},
                               {&g_aCommentStrips[4], 64, 32}};
    for (const SStrip& s : comments)
        if (!CutStrip(*s.bitmap, QVN_DF_COMMENT_JPG, s.y, s.height)) return false;
    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_HORROR_QVN)) return false;
    m_Scene.registerTextures(false);
    return true;
}

bool qvn_cPartCredits::beginRun() {
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!white) return false;
    qvn_cBitmap* const bitmaps[kLayers] = {
        &qvn_Picture(QVN_DF_CREDITS1_JPG), &qvn_Picture(QVN_DF_CREDITS2_JPG),
        &qvn_Picture(QVN_DF_CREDITS3_JPG), &qvn_Picture(QVN_DF_CREDITS4_JPG),
        &g_aCommentStrips[0],              &g_aCommentStrips[1],
        &g_aCommentStrips[2],              &g_aCommentStrips[3],
        &g_aCommentStrips[4],              &qvn_Picture(QVN_DF_NOMS_JPG),
        &g_aNameStrips[0],                 &g_aNameStrips[1],
        &g_aNameStrips[2],                 white,
    };
    qvn_cBitmapLayers& L = *m_pLayers;
    for (int i = 0; i < kLayers; ++i) {
        const bool strip = i >= kC1 && i <= kN3;
        m_aLayer[i] = L.add(bitmaps[i], strip ? QVN_FX_ADDITIVE : QVN_FX_NORMAL);
        L.setVisible(m_aLayer[i], 0);
    }
    m_fFadeIn = 1.0f;
    m_fFadeOut = 0.0f;
    m_fFlash = 1.0f;
    for (int i = 0; i < 4; ++i) m_afOffset[i] = m_afJitter[i] = 0.0f;
    m_fCrossX = 320.0f;
    m_fCrossY = 40.0f;
    m_bScene = true;
    return true;
}

void qvn_cPartCredits::whiteDecay(float d) {
    qvn_SetFade(*m_pLayers, m_aLayer[kWhite], m_fFlash);
    m_fFlash -= d;
}

bool qvn_cPartCredits::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    if (s_State.firstFrame.fire(true)) m_fFlash = 1.0f;
    const float d = 0.01f * m_fSpeed;
    whiteDecay(d);
    if (t >= 101300) return false;
    if (t < kCredits[0].appearMs) return true;

    int c = 3;
    while (t < kCredits[c].appearMs) --c;
    const SCredit& k = kCredits[c];
    if (t < k.fadeOutMs) {
        // Appear window: the previous credit leaves, this one comes out of
        // white under a fresh flash.
        if (c > 0) {
            const SCredit& p = kCredits[c - 1];
            for (int i : {p.picture, p.down, p.up}) L.setVisible(m_aLayer[i], 0);
        }
        // The crossing strip belongs to the second credit only.
        if (c == 2) L.setVisible(m_aLayer[kC2], 0);
        m_fFadeOut = 1.0f;
        for (int i : {k.picture, k.down, k.up}) L.setVisible(m_aLayer[i], 1);
        if (c == 1) L.setVisible(m_aLayer[kC2], 1);
        qvn_SetScale(L, m_aLayer[k.picture], 1.0f);
        qvn_Picture(k.file).fadePixels(1.0f, 1.0f, 1.0f, m_fFadeIn);
        m_fFadeIn -= 0.1f * m_fSpeed;
        if (s_State.appear[c].fire(true)) m_fFlash = 1.0f;
        slide(c, false);
        if (c == 1) crossing();
        // A second decay in the same frame: inside an appear window the flash
        // falls twice as fast.
        whiteDecay(d);
    } else {
        // Fade-out window: the picture fades while the strips carry on.
        m_fFadeIn = 1.0f;
        L.setVisible(m_aLayer[k.picture], 1);
        L.setVisible(m_aLayer[k.up], 1);
        qvn_SetScale(L, m_aLayer[k.picture], m_fFadeOut);
        if (m_fFadeOut <= 0.0f) L.setVisible(m_aLayer[k.picture], 0);
        m_fFadeOut -= d;
        slide(c, true);
        if (c == 1) crossing();
    }
    return true;
}

// The credit's two strips slide past each other, flickering and shaking
// sideways. Offsets are never reset: a strip that has left the screen stays
// gone; only the last pair is hidden, once it has crossed the whole screen.
void qvn_cPartCredits::slide(int credit, bool fadingOut) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const SCredit& k = kCredits[credit];
    float& o = m_afOffset[credit];
    float& jitter = m_afJitter[credit];
    const float r = static_cast<float>(qvn_rand() % 255) / 256.0f;
    L.setPosXY(m_aLayer[k.down], jitter, o);
    L.setPosXY(m_aLayer[k.up], jitter, 240.0f - o);
    qvn_SetScale(L, m_aLayer[k.down], r);
    qvn_SetScale(L, m_aLayer[k.up], r);
    jitter = static_cast<float>(qvn_rand() % 15) / 2.0f;
    o += 0.7f * m_fSpeed;
    if (credit == 3 && fadingOut && o >= 240.0f) {
        L.setVisible(m_aLayer[k.down], 0);
        L.setVisible(m_aLayer[k.up], 0);
    }
}

// The third strip of the second credit crosses from the right edge to the
// left, bouncing a little up and down.
void qvn_cPartCredits::crossing() {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float r2 = static_cast<float>(qvn_rand() % 255) / 256.0f;
    L.setPosXY(m_aLayer[kC2], m_fCrossX, m_fCrossY);
    qvn_SetScale(L, m_aLayer[kC2], r2);
    m_fCrossY = static_cast<float>(qvn_rand() % 15);
    m_fCrossX -= 2.1f * m_fSpeed;
}
