#include "qvn_PartMetaballs.h"

#include <new>

#include "qvn_BitmapLayers.h"
#include "qvn_EngDisplay.h"
#include "qvn_PictureReaders.h"
#include "qvn_Random.h"
#include "qvn_Run.h"

namespace {

const char kName[] = "qvn_cPartMetaballs";

// The greetings lines S1 to S11 cut out of greets.jpg (greets itself, cut
// down, is S12), and S2 smeared wide: each line sharpens out of it.
qvn_cBitmap g_aStrips[11];
qvn_cBitmap g_MorphSource;

// Strip numbers (1 to 12) to their bitmaps.
qvn_cBitmap& Strip(int number) {
    return number == 12 ? qvn_Picture(QVN_DF_GREETS_JPG) : g_aStrips[number - 1];
}

// Bottom to top.
const int kStackOrder[12] = {11, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
// Where strip number n sits in the stack.
int Slot(int number) {
    for (int k = 0; k < 12; ++k)
        if (kStackOrder[k] == number) return k;
    return 0;
}

// What lasts for the program's life.
struct SState {
    float ballTime = 0.0f;  // the ball clock
    bool ballsOn = false;
    qvn_SLatch ballsLatch;
    float black = 1.0f;       // the opening black cover's strength (0: gone)
    float smileyY = -720.0f;  // the smileys' column's top, in pixels (wraps every 540)
    float opaIn = 0.0f;       // the opa picture's strength as it comes in (0 to 1)
    // The closing pictures: each fades out (1 to 0) while it zooms in (a
    // factor from 1).
    float vampireFade = 1.0f, vampireZoom = 1.0f;
    float opaFade = 1.0f, opaZoom = 1.0f;
    float live = 0.0f;
    float white = 0.0f;  // the closing white-out's strength (the part ends past 1.5)
    float stripAmount[13] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};  // by strip number
    qvn_SLatch stripPlaced[13];
};
SState s;

}  // namespace

void qvn_cPartMetaballs::resetState() { s = SState(); }

qvn_cPartMetaballs::qvn_cPartMetaballs() : m_pEnvMap(nullptr) {
    m_pScenePlayer = &m_Scene;
    m_eScenePass = eScenePass::kUnder;
    m_bScene = false;
}

qvn_cPartMetaballs::~qvn_cPartMetaballs() { delete[] m_pEnvMap; }

bool qvn_cPartMetaballs::load() {
    const int bpp = getDisplayBpp();
    // The map is checked here, with the part's other files, so a missing or
    // short one stops the half with the file named instead of drawing from
    // a texture that was never read.
    delete[] m_pEnvMap;
    m_pEnvMap = loadMapTGA(qvn_DataFileName(QVN_DF_MAPBL_TGA), bpp == 16 ? 16 : 15);
    if (!m_pEnvMap) return qvn_LoadStepFailed(kName, "Can't read environment map", QVN_DF_MAPBL_TGA);

    for (qvn_eDataFileId id : {QVN_DF_OPA_JPG, QVN_DF_SMILEY5_JPG, QVN_DF_LIVE_JPG, QVN_DF_GREETS_JPG})
        if (!qvn_LoadPicture(kName, id)) return false;
    if (!qvn_ToDisplay(kName, QVN_DF_OPA_JPG, bpp) || !qvn_ToDisplay(kName, QVN_DF_SMILEY5_JPG, bpp)) return false;
    qvn_cBitmap& smileys = qvn_Picture(QVN_DF_SMILEY5_JPG);
    if (!smileys.tile(1, 3) || !smileys.syncPixels32())
        return qvn_LoadStepFailed(kName, "Can't tile picture", QVN_DF_SMILEY5_JPG);
    // The chroma tunnel before this part has normally loaded it already.
    if (qvn_PictureEmpty(QVN_DF_VAMPIRE_JPG) && !qvn_LoadAndConvert(kName, QVN_DF_VAMPIRE_JPG, bpp)) return false;
    if (!qvn_ToDisplay(kName, QVN_DF_LIVE_JPG, bpp) || !qvn_ToDisplay(kName, QVN_DF_GREETS_JPG, bpp)) return false;

    // The lines of greets.jpg, as (number, top row, height), in cutting order.
    struct SCut {
        int number, y, height;
    };
    static const SCut kCuts[] = {{1, 209, 32}, {2, 380, 38},  {3, 0, 38},   {4, 310, 35},
                                 {5, 276, 32}, {6, 241, 33},  {7, 175, 31}, {8, 140, 32},
                                 {9, 72, 32},  {10, 39, 32},  {11, 343, 33}};
    qvn_cBitmap& greets = qvn_Picture(QVN_DF_GREETS_JPG);
    for (const SCut& cut : kCuts) {
        qvn_cBitmap& strip = Strip(cut.number);
        if (!strip.copyFrom(&greets) || !strip.cropTo(0, cut.y, 320, cut.height))
            return qvn_LoadStepFailed(kName, "Can't cut greetings line from picture", QVN_DF_GREETS_JPG);
        if (cut.number == 2) {
            if (!g_MorphSource.copyFrom(&strip))
                return qvn_LoadStepFailed(kName, "Can't copy greetings line of picture", QVN_DF_GREETS_JPG);
            g_MorphSource.horizontalBlurFast(128);
            if (!g_MorphSource.syncPixels32())
                return qvn_LoadStepFailed(kName, "Can't keep blurred line of picture", QVN_DF_GREETS_JPG);
        }
    }
    if (!greets.cropTo(0, 107, 320, 33))
        return qvn_LoadStepFailed(kName, "Can't cut greetings line from picture", QVN_DF_GREETS_JPG);

    if (!qvn_LoadScene(kName, m_Scene, QVN_DF_SALLEMETABALLS_QVN)) return false;
    m_Scene.registerTextures(false);

    // Without its arrays the field has nowhere to sample or build triangles.
    if (!m_Field.init()) {
        LogMessage("%s::load() : Can't make the metaball field.\n", kName);
        return false;
    }
    m_Field.randomiseMotion();
    return true;
}

bool qvn_cPartMetaballs::beginRun() {
    qvn_cBitmap* black = screenBitmap();
    qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
    if (!black || !white) return false;
    qvn_cBitmapLayers& L = *m_pLayers;
    m_aLayer[kBlack] = L.add(black);
    m_aLayer[kOpa] = L.add(&qvn_Picture(QVN_DF_OPA_JPG), QVN_FX_NORMAL);
    m_aLayer[kVampire] = L.add(&qvn_Picture(QVN_DF_VAMPIRE_JPG), QVN_FX_ADDITIVE);
    m_aLayer[kSmileys] = L.add(&qvn_Picture(QVN_DF_SMILEY5_JPG), QVN_FX_COLORDODGE);
    m_aLayer[kLive] = L.add(&qvn_Picture(QVN_DF_LIVE_JPG), QVN_FX_ADDITIVE);
    for (int i = 0; i < kStrips; ++i) m_aLayer[kStrip0 + i] = L.add(&Strip(kStackOrder[i]), QVN_FX_ADDITIVE);
    m_aLayer[kWhite] = L.add(white, QVN_FX_NORMAL);
    for (int i = 0; i < kLayers; ++i)
        if (i != kVampire) L.setVisible(m_aLayer[i], 0);
    L.setPosX(m_aLayer[kLive], 70);
    m_bScene = s.ballsOn;
    return true;
}

void qvn_cPartMetaballs::drawBalls(qvn_cMetaballField& field, float T, const uint16_t* envMap,
                                   const qvn_SEnvTarget& target) {
    field.moveBalls(T);
    field.polygonise();
    field.drawTriangles(target, envMap);
}

// Between the room and the loop's Lock: the balls go straight onto the back
// surface, then the black layer lets the room fade in.
void qvn_cPartMetaballs::afterScene() {
    if (!s.ballsOn) return;
    s.ballTime += 0.08f * m_fSpeed;
    qvn_cEngDisplay* display = g_pDisplay;
    // The balls are made anew from their time every frame: a frame nobody
    // sees needs none.
    if (qvn_run::Presenting()) display->Lock();
    if (uint16_t* surface = qvn_run::Presenting() ? display->m_pSurfacePixels : nullptr) {
        m_bLocked = 1;
        const qvn_SEnvTarget target = {surface, display->m_nPitchPixels, display->m_nWidth < 320 ? display->m_nWidth : 320,
                                       display->m_nHeight < 240 ? display->m_nHeight : 240};
        drawBalls(m_Field, s.ballTime, m_pEnvMap, target);
    }
    if (m_bLocked) {
        display->Unlock();
        m_bLocked = 0;
    }
    qvn_cBitmapLayers& L = *m_pLayers;
    qvn_SetScale(L, m_aLayer[kBlack], s.black);
    if (s.black <= 0.0f) L.setVisible(m_aLayer[kBlack], 0);
    s.black -= 0.025f * m_fSpeed;
}

bool qvn_cPartMetaballs::frame(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;

    // The smiley strip scrolls down with a period of 540 rows and flickers.
    L.setVisible(m_aLayer[kSmileys], 1);
    L.setPosY(m_aLayer[kSmileys], s.smileyY);
    s.smileyY = (s.smileyY > 0.0f ? s.smileyY - 540.0f : s.smileyY) + 0.5f * speed;
    qvn_SetScale(L, m_aLayer[kSmileys], static_cast<float>(qvn_rand() & 255) / 256.0f);

    if (t >= 39450) {
        L.setVisible(m_aLayer[kOpa], 1);
        qvn_SetScale(L, m_aLayer[kOpa], s.opaIn);
        if (s.opaIn <= 1.0f) s.opaIn += 0.01f * speed;
    }

    if (t >= 46000) {
        qvn_SetFade(L, m_aLayer[kVampire], s.vampireFade);
        if (s.vampireFade > 0.0f) s.vampireFade -= 0.01f * speed;
        qvn_Picture(QVN_DF_VAMPIRE_JPG).zoom(s.vampireZoom, s.vampireZoom);
        s.vampireZoom += 0.02f * speed;
        qvn_SetFade(L, m_aLayer[kOpa], s.opaFade);
        if (s.opaFade > 0.0f) s.opaFade -= 0.01f * speed;
        qvn_Picture(QVN_DF_OPA_JPG).zoom(s.opaZoom, s.opaZoom);
        s.opaZoom += 0.005f * speed;
    }

    if (s.ballsLatch.fire(t >= 47410)) {
        s.ballsOn = true;
        m_bScene = true;
        L.setVisible(m_aLayer[kBlack], 1);
    }

    if (t >= 55000) {
        if (s.live == 0.0f) L.setVisible(m_aLayer[kLive], 1);
        if (s.live < 1.0f) {
            qvn_SetScale(L, m_aLayer[kLive], s.live);
            s.live += 0.05f * speed;
        }
        if (t < 82300) {
            qvn_SetScale(L, m_aLayer[kLive], static_cast<float>((qvn_rand() & 255) + 128) / 256.0f);
            qvn_Picture(QVN_DF_LIVE_JPG).horizontalBlurFast(qvn_rand() % 15);
        }
        if (t >= 82300) {
            // White-out: the part ends once the white has been full for a
            // few frames.
            L.setVisible(m_aLayer[kWhite], 1);
            qvn_SetScale(L, m_aLayer[kWhite], s.white);
            if (s.white >= 1.5f + 0.1f * speed) return false;
            s.white += 0.1f * speed;
        } else {
            greetings(t);
        }
        L.updateLayersAnims(speed);
    }
    return true;
}

// One line every two seconds from 57000 ms; the first matching row applies.
void qvn_cPartMetaballs::greetings(int32_t t) {
    struct SRow {
        int32_t fromMs;
        int strip;
    };
    static const SRow kRows[] = {{79000, 10}, {77000, 9}, {75000, 8}, {73000, 7}, {71000, 6}, {69000, 5},
                                 {67000, 4},  {65000, 3}, {63000, 2}, {61000, 1}, {59000, 12}, {57000, 11}};
    const int rows = static_cast<int>(sizeof kRows / sizeof kRows[0]);
    for (int i = 0; i < rows; ++i) {
        if (t < kRows[i].fromMs) continue;
        if (i + 1 < rows) m_pLayers->setVisible(m_aLayer[kStrip0 + Slot(kRows[i + 1].strip)], 0);
        showStrip(kRows[i].strip);
        return;
    }
}

// A line sharpens out of the smear over about ten frames, at a random height
// chosen on its first frame.
void qvn_cPartMetaballs::showStrip(int strip) {
    const int32_t layer = m_aLayer[kStrip0 + Slot(strip)];
    qvn_cBitmapLayers& L = *m_pLayers;
    L.setVisible(layer, 1);
    Strip(strip).fadePixels(&g_MorphSource, s.stripAmount[strip]);
    s.stripAmount[strip] -= 0.1f * m_fSpeed;
    if (s.stripPlaced[strip].fire(true)) L.setPosY(layer, static_cast<float>(qvn_rand() % 200));
}
