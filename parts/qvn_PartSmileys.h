// Seven smiley pictures stacked in different blend modes: a flickering base,
// two strips scrolling down at different speeds, three pictures pulsing on
// sines (two of them blurred at random every frame) and a picture that
// flashes on two beats. The "nawak" scene joins over the pictures from
// 104000 ms, and a black layer fades in at the end, leaving the scene alone.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartSmileys : public qvn_cFramePart {
public:
    qvn_cPartSmileys();
    bool load() override;

    // What lasts the program's life: the black-out value, the pulse angles
    // and the flashes that fire once per program.
    struct SState {
        float k = 0.0f;          // black layer strength
        float a3 = 4.712385f;    // pulse angles; 3 and 6 start at the sine's low point
        float a4 = 0.0f;
        float a6 = 4.712385f;
        qvn_SLatch openingFlash;  // white flash of the first frame
        qvn_SLatch flash102000;   // smiley7 flashes on the two beats
        qvn_SLatch flash104000;
    };
    static SState s_State;
    static void resetState() { s_State = SState(); }

protected:
    bool beginRun() override;
    // The opening white is decided before the frame is even cleared.
    void beforeClear(int32_t t) override;
    bool frame(int32_t t) override;

private:
    qvn_cScenePlayer m_Scene;
    enum { kBase, kStripA, kPulse3, kPulse4, kStripB, kPulse6, kFlash, kBlack, kWhite, kLayers };
    int32_t m_aLayer[kLayers] = {};
    float m_fWhite = 1.0f;  // the opening white cover's fade (1: opaque white)
    float m_fFlash = 1.0f;  // the flash picture's fade, restarted at 102 and 104 s
    // The two scrolling strips' tops, in pixels (they wrap every 240).
    float m_fStripA = -240.0f, m_fStripB = -240.0f;
};
