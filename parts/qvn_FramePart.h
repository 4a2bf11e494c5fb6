// The frame loop every part of the show runs, written once. A part says what
// it does inside it: the layers it builds, its per-frame timeline, where its
// end test sits and whether its scene goes under or over the pictures.
#pragma once

#include <cstdint>

#include "qvn_BitmapLayers.h"
#include "qvn_Part.h"

class qvn_cBitmap;
class qvn_cScenePlayer;

class qvn_cFramePart : public qvn_cPart {
public:
    qvn_cFramePart();
    ~qvn_cFramePart() override;

    // Builds the run's layers, then clear, (scene), lock, copy, work, merge,
    // copy back, unlock, (scene), flip, speed, pump until the part's end or a
    // quit; then unlocks if still locked and frees what the run made.
    void run() final;
    void finish() override {}

protected:
    // Where the part's scene is drawn: under the pictures (rendered onto the
    // back surface before it is copied out) or over them (after the merged
    // picture is back on the surface).
    enum class eScenePass { kNone, kUnder, kOver };

    // The run's layers; false when the part cannot run (it then asks the
    // window to quit, as a part that cannot even make its background must).
    virtual bool beginRun() = 0;
    // A part that starts at a later time than the previous part ends: while
    // this holds, a pass only pumps messages (no clear, no flip), so the last
    // frame shown stays on screen and the music keeps flowing.
    virtual bool waiting(int32_t t) { (void)t; return false; }
    // Step 2: the end test before anything of the frame is drawn.
    virtual bool endsBeforeDrawing(int32_t t) { (void)t; return false; }
    // Work that the part does before the display is cleared.
    virtual void beforeClear(int32_t t) { (void)t; }
    // Drawing onto the back surface right after the scene pass under the
    // pictures (whether or not a scene was drawn), before the loop's Lock. A
    // part that locks the display here unlocks it before returning.
    virtual void afterScene() {}
    // The frame's work between the copy into the scratch frame and the merge.
    // false ends the part right there (the display stays locked until the
    // loop's end unlocks it, and this frame is not shown).
    virtual bool frame(int32_t t) = 0;
    // Work after the flip (and the new speed factor), before the pump.
    virtual void afterFlip() {}
    // Frees what beginRun made beside the layers and screen bitmaps.
    virtual void endRun() {}
    // Draws the part's scene for one pass, under or over the pictures. By
    // default m_pScenePlayer in m_eScenePass while m_bScene is set; a part
    // with more than one scene says which goes where.
    virtual void drawScene(eScenePass pass);

    // A 320 x 240 bitmap at the display depth, black, or turned toward
    // (r, g, b) by amount; the loop frees it when the run ends. Null when out
    // of memory.
    qvn_cBitmap* screenBitmap(float r = 0.0f, float g = 0.0f, float b = 0.0f, float amount = 0.0f);
    // Pumps messages without drawing until the show clock reaches t; false
    // when the viewer quits meanwhile.
    static bool waitForClock(int32_t t);

    qvn_cBitmapLayers* m_pLayers;      // the run's compositor
    float m_fSpeed;                    // frame-speed factor: 1.0 at 60 frames per second
    qvn_cScenePlayer* m_pScenePlayer;  // the part's scene, if it has one
    eScenePass m_eScenePass;
    bool m_bScene;                     // the scene is drawn while set
    // The locked back surface of this frame (null when the lock failed): a
    // part that draws straight into it gets it here.
    uint16_t* m_pSurface;

private:
    void freeRun();
    static constexpr int kMaxScreenBitmaps = 4;
    qvn_cBitmap* m_apScreenBitmaps[kMaxScreenBitmaps];
    int m_nScreenBitmaps;
};
