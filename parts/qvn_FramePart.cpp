#include "qvn_FramePart.h"

#include <cstring>
#include <new>

#include "qvn_Bitmap.h"
#include "qvn_EngDisplay.h"
#include "qvn_Run.h"
#include "qvn_ScenePlayer.h"
#include "qvn_SoundPlayer.h"
#include "qvn_Window.h"

namespace {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;

// The scratch frame is 320 x 240 whatever the surface's pitch: never copy more
// rows or columns than both hold.
int CopyRows() { return g_pDisplay->m_nHeight < kFrameHeight ? g_pDisplay->m_nHeight : kFrameHeight; }
int CopyColumns() { return g_pDisplay->m_nWidth < kFrameWidth ? g_pDisplay->m_nWidth : kFrameWidth; }

void SurfaceToScratch(const uint16_t* surface) {
    const int rows = CopyRows(), cols = CopyColumns(), pitch = g_pDisplay->m_nPitchPixels;
    for (int y = 0; y < rows; ++y)
        std::memcpy(g_p16bitsScreenBuffer + y * kFrameWidth, surface + static_cast<size_t>(y) * pitch, cols * 2u);
}

// A surface in memory laid out as the scratch frame (320 pixels a row, rows
// one after the other) is composited on directly: the same pixels as going
// through the scratch frame, without the two copies.
bool CompositeOnSurface() {
    return g_pDisplay->SurfaceInMemory() && g_pDisplay->m_nWidth == kFrameWidth &&
           g_pDisplay->m_nPitchPixels == kFrameWidth;
}

void ScratchToSurface(uint16_t* surface) {
    const int rows = CopyRows(), cols = CopyColumns(), pitch = g_pDisplay->m_nPitchPixels;
    for (int y = 0; y < rows; ++y)
        std::memcpy(surface + static_cast<size_t>(y) * pitch, g_p16bitsScreenBuffer + y * kFrameWidth, cols * 2u);
}

// A run the observers end (a viewer's seek) ends as on a quit, but the
// program goes on.
bool Quitting() { return (g_pWindow && g_pWindow->QuitSeen()) || qvn_run::Interrupting(); }
int32_t ShowClock() { return g_pMusic ? g_pMusic->GetTimePosition() : 0; }

}  // namespace

qvn_cFramePart::qvn_cFramePart()
    : m_pLayers(nullptr), m_fSpeed(1.0f), m_pScenePlayer(nullptr), m_eScenePass(eScenePass::kNone), m_bScene(true),
      m_pSurface(nullptr), m_apScreenBitmaps{}, m_nScreenBitmaps(0) {}

qvn_cFramePart::~qvn_cFramePart() { freeRun(); }

qvn_cBitmap* qvn_cFramePart::screenBitmap(float r, float g, float b, float amount) {
    if (m_nScreenBitmaps == kMaxScreenBitmaps) return nullptr;
    qvn_cBitmap* bitmap = new (std::nothrow) qvn_cBitmap;
    if (!bitmap) return nullptr;
    if (!bitmap->initBitmap(kFrameWidth, kFrameHeight, getDisplayBpp())) {
        delete bitmap;
        return nullptr;
    }
    if (amount != 0.0f) {
        // The master copy takes the colour too, so later effects start from it.
        bitmap->fadePixels(r, g, b, amount);
        bitmap->syncPixels32();
    }
    m_apScreenBitmaps[m_nScreenBitmaps++] = bitmap;
    return bitmap;
}

void qvn_cFramePart::freeRun() {
    for (int i = 0; i < m_nScreenBitmaps; ++i) delete m_apScreenBitmaps[i];
    m_nScreenBitmaps = 0;
    delete m_pLayers;
    m_pLayers = nullptr;
}

void qvn_cFramePart::drawScene(eScenePass pass) {
    if (pass == m_eScenePass && m_bScene && m_pScenePlayer) m_pScenePlayer->run();
}

bool qvn_cFramePart::waitForClock(int32_t t) {
    while (ShowClock() < t) {
        qvn_run::Holding();
        if (!g_pWindow || !g_pWindow->PumpMessages() || qvn_run::Interrupting()) return false;
    }
    return true;
}

void qvn_cFramePart::run() {
    m_fSpeed = 1.0f;
    m_bLocked = 0;
    m_pSurface = nullptr;
    m_pLayers = new (std::nothrow) qvn_cBitmapLayers;
    if (!m_pLayers || !g_pDisplay || !g_p16bitsScreenBuffer || !beginRun()) {
        if (g_pWindow) g_pWindow->RequestQuit();
        endRun();
        freeRun();
        return;
    }
    qvn_cDisplayBase* display = g_pDisplay;
    bool going = !Quitting();
    while (going) {
        if (qvn_run::Interrupting()) break;
        // Held (the viewer paused): no frame is played, so the show's state
        // and its random sequence stay those of straight play.
        if (qvn_run::Holding()) {
            going = g_pWindow && g_pWindow->PumpMessages();
            continue;
        }
        const int32_t t = ShowClock();
        if (waiting(t)) {
            // A part waiting for its start time is not a slow frame.
            qvn_run::Waiting();
            going = g_pWindow && g_pWindow->PumpMessages();
            continue;
        }
        if (endsBeforeDrawing(t)) break;
        // Before the start point frames are played but not presented: what
        // only makes the picture (compositing, flip) is skipped.
        const eQvnFrame kind = qvn_run::BeginFrame(t);
        const bool shown = kind == eQvnFrame::kShown;
        // The frame that reaches a stop point is not played: the show ends
        // before it, with no clock moved.
        if (kind == eQvnFrame::kStop) {
            if (g_pWindow) g_pWindow->EndShow();
            break;
        }
        beforeClear(t);
        display->Clear();
        drawScene(eScenePass::kUnder);
        afterScene();
        display->Lock();
        m_pSurface = g_pDisplay->m_pSurfacePixels;
        // A lock that failed leaves no surface: the part still keeps its
        // timeline, but nothing is read from or written to the screen.
        const bool direct = m_pSurface && CompositeOnSurface();
        if (m_pSurface) {
            m_bLocked = 1;
            if (!direct) SurfaceToScratch(m_pSurface);
        }
        if (!frame(t)) break;
        if (m_pSurface && shown) {
            if (direct) {
                m_pLayers->getMerged(m_pSurface, kFrameWidth, CopyRows());
            } else {
                m_pLayers->getMerged(g_p16bitsScreenBuffer, kFrameWidth, CopyRows());
                ScratchToSurface(m_pSurface);
            }
        }
        if (m_bLocked) {
            display->Unlock();
            m_bLocked = 0;
        }
        m_pSurface = nullptr;
        drawScene(eScenePass::kOver);
        if (shown) {
            display->Flip();
            qvn_run::FrameShown();
        } else {
            qvn_run::FrameSkipped();
        }
        m_fSpeed = m_FrameTimer.getSpeedFactor();
        afterFlip();
        going = g_pWindow && g_pWindow->PumpMessages();
    }
    if (m_bLocked) {
        display->Unlock();
        m_bLocked = 0;
    }
    m_pSurface = nullptr;
    endRun();
    freeRun();
}
