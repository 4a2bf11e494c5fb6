#include "qvn_PartChromaTunnel.h"

#include "qvn_Bitmap.h"
#include "qvn_SoundPlayer.h"

namespace {

const char kName[] = "qvn_cPartChromaTunnel";

// Pictures this part changes for itself: its own nofate (the flash turns it
// white, the pillars flash theirs), smiley2 made a dark negative three times
// as tall, and smiley5 tiled three times down for the scrolling strips.
qvn_cBitmap g_Nofate;
qvn_cBitmap g_Strip1;
qvn_cBitmap g_Strip2;

// What lasts for the program's life.
struct SState {
    float pulseAngle = 4.712385f;  // radians, 3 pi / 2: the first pulse value is 0
    float c6 = 0.0f, c2 = 0.0f, vv = 0.0f;
    qvn_SLatch flash12000, flash16730, flash30592;
};
SState s;

}  // namespace

void qvn_cPartChromaTunnel::resetState() { s = SState(); }

bool qvn_cPartChromaTunnel::load() {
    const int bpp = getDisplayBpp();
    struct SPicture {
        qvn_eDataFileId id;
        qvn_cBitmap* own;  // null: the shared picture of the file
    };
    const SPicture pictures[] = {{QVN_DF_CRY6_JPG, nullptr},    {QVN_DF_CRY2_JPG, nullptr},
                                 {QVN_DF_VAMPIRE_JPG, nullptr}, {QVN_DF_NOFATE_JPG, &g_Nofate},
                                 {QVN_DF_SMILEY3_JPG, nullptr}, {QVN_DF_SMILEY2_JPG, &g_Strip1},
                                 {QVN_DF_SMILEY5_JPG, &g_Strip2}};
    for (const SPicture& p : pictures) {
        if (!p.own) {
            if (!qvn_LoadPicture(kName, p.id)) return false;
        } else if (!p.own->loadFromFile(qvn_DataFileName(p.id))) {
            return qvn_LoadStepFailed(kName, "Can't load picture", p.id);
        }
    }
    for (const SPicture& p : pictures) {
        if (!p.own) {
            if (!qvn_ToDisplay(kName, p.id, bpp)) return false;
        } else if (!p.own->setNbpp(bpp)) {
            return qvn_LoadStepFailed(kName, "Can't convert picture", p.id);
        }
    }
    // A dark negative of smiley2, three times as tall: each step is kept in
    // the master copy so the next one starts from it.
    g_Strip1.invertColors();
    if (!g_Strip1.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep the negative of", QVN_DF_SMILEY2_JPG);
    g_Strip1.fadePixels(0.0f, 0.0f, 0.0f, 0.3f);
    if (!g_Strip1.syncPixels32()) return qvn_LoadStepFailed(kName, "Can't keep the darkened", QVN_DF_SMILEY2_JPG);
    // An untiled strip would scroll gaps across the screen: a tile that
    // cannot get its memory fails the load like any other step.
    if (!g_Strip1.tile(1, 3) || !g_Strip1.syncPixels32())
        return qvn_LoadStepFailed(kName, "Can't tile picture", QVN_DF_SMILEY2_JPG);
    if (!g_Strip2.tile(1, 3) || !g_Strip2.syncPixels32())
        return qvn_LoadStepFailed(kName, "Can't tile picture", QVN_DF_SMILEY5_JPG);
    if (!qvn_LoadScene(kName, m_Scene1, QVN_DF_CHROMATUNNEL1_QVN)) return false;
    m_Scene1.registerTextures(true);
    if (!qvn_LoadScene(kName, m_Scene2, QVN_DF_CHROMATUNNEL2_QVN)) return false;
    m_Scene2.registerTextures(false);
    return true;
}

bool qvn_cPartChromaTunnel::beginRun() {
    qvn_cBitmapLayers& L = *m_pLayers;
    m_aLayer[kPhotoA] = L.add(&qvn_Picture(QVN_DF_CRY6_JPG), QVN_FX_NORMAL, 0.0f, 0.0f, 0.0f);
    m_aLayer[kPhotoB] = L.add(&qvn_Picture(QVN_DF_CRY2_JPG), QVN_FX_NORMAL, 0.0f, 0.0f, 0.0f);
    m_aLayer[kPulse] = L.add(&qvn_Picture(QVN_DF_SMILEY3_JPG), QVN_FX_COLORDODGE);
    m_aLayer[kFlash] = L.add(&g_Nofate, QVN_FX_ADDITIVE);
    m_aLayer[kVampire] = L.add(&qvn_Picture(QVN_DF_VAMPIRE_JPG), QVN_FX_NORMAL);
    m_aLayer[kStrip1] = L.add(&g_Strip1, QVN_FX_ADDITIVE, 0.15f, 0.15f, 0.15f);
    m_aLayer[kStrip2] = L.add(&g_Strip2, QVN_FX_COLORDODGE);
    for (int i = kPulse; i < kLayers; ++i) L.setVisible(m_aLayer[i], 0);
    m_Flash = qvn_SFlash();
    m_bOverlayScene = m_bScenes = false;
    m_bScroll1 = m_bScroll2 = false;
    m_fY1 = m_fY2 = -240.0f;
    m_bLate = false;
    // The second half's clock starts here: the first frames read slightly
    // negative, so the fades test t >= 0.
    if (g_pMusic) g_pMusic->Seek(0);
    return true;
}

bool qvn_cPartChromaTunnel::endsBeforeDrawing(int32_t t) { return t >= 38000; }

// The timeline runs before the display is cleared: it decides which scenes
// this very frame draws, and where.
void qvn_cPartChromaTunnel::beforeClear(int32_t t) {
    qvn_cBitmapLayers& L = *m_pLayers;
    const float speed = m_fSpeed;

    L.setVisible(m_aLayer[kPulse], 1);
    qvn_SetScale(L, m_aLayer[kPulse], qvn_Pulse(s.pulseAngle, 0.05f * speed));

    // Both latches are asked, so each one that is due is spent on this frame.
    const bool at12000 = s.flash12000.fire(t >= 12000);
    const bool at16730 = s.flash16730.fire(t >= 16730);
    if (at12000 || at16730) m_Flash.start();

    if (t >= 30592) {
        m_bLate = true;
        if (s.flash30592.fire(true)) m_Flash.start();
        m_bScroll1 = m_bScroll2 = false;
        L.setVisible(m_aLayer[kStrip1], 0);
        L.setVisible(m_aLayer[kStrip2], 0);
    }

    if (t >= 35648) {
        L.setVisible(m_aLayer[kVampire], 1);
        qvn_SetScale(L, m_aLayer[kVampire], s.vv);
        s.vv += 0.015f * speed;
    }

    // Both strips scroll downwards and wrap: strip 1 every 240 rows, strip 2
    // every 540.
    if (m_bScroll1) {
        L.setPosY(m_aLayer[kStrip1], m_fY1);
        m_fY1 = (m_fY1 > 0.0f ? m_fY1 - 240.0f : m_fY1) + 1.0f * speed;
    }
    if (m_bScroll2) {
        L.setPosY(m_aLayer[kStrip2], m_fY2);
        m_fY2 = (m_fY2 > 0.0f ? m_fY2 - 540.0f : m_fY2) + 0.3f * speed;
    }

    if (t >= 16730) {
        if (!m_bLate) {
            m_bScroll1 = m_bScroll2 = true;
            L.setVisible(m_aLayer[kStrip1], 1);
            L.setVisible(m_aLayer[kStrip2], 1);
        }
        for (int i : {kPhotoA, kPhotoB, kFlash}) L.setVisible(m_aLayer[i], 0);
        m_bScenes = true;
        m_bOverlayScene = false;
    } else if (t >= 12000) {
        m_bOverlayScene = true;
    } else {
        if (t >= 0) {
            qvn_SetScale(L, m_aLayer[kPhotoA], s.c6);
            s.c6 += 0.006f * speed;
        }
        if (t >= 6000) {
            qvn_SetScale(L, m_aLayer[kPhotoB], s.c2);
            if (s.c2 >= 1.0f) L.setVisible(m_aLayer[kPhotoA], 0);
            s.c2 += 0.006f * speed;
        }
    }

    // After the phase: from 16730 ms the phase hides the flash layer every
    // frame, and a flash still running shows it again.
    m_Flash.step(L, m_aLayer[kFlash], g_Nofate, 0.025f, 0.0075f, speed);
}

bool qvn_cPartChromaTunnel::frame(int32_t t) {
    (void)t;
    return true;
}

void qvn_cPartChromaTunnel::drawScene(eScenePass pass) {
    if (pass == eScenePass::kUnder && m_bScenes) {
        m_Scene2.run();
        m_Scene1.run();
    } else if (pass == eScenePass::kOver && m_bOverlayScene) {
        m_Scene1.run();
    }
}
