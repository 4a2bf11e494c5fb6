// The credits over the "horror" scene: four credit pictures, each coming out
// of a white flash with a pair of flickering text strips sliding past each
// other (one down, one up), then fading out slowly while the strips carry on.
// The second credit has a third strip crossing the screen from right to left.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartCredits : public qvn_cFramePart {
public:
    qvn_cPartCredits();
    bool load() override;

    // The white flashes fire once per program: at the part's first frame and
    // at the first frame of each credit's appear window.
    struct SState {
        qvn_SLatch firstFrame;
        qvn_SLatch appear[4];
    };
    static SState s_State;
    static void resetState() { s_State = SState(); }

protected:
    bool beginRun() override;
    bool frame(int32_t t) override;

private:
    enum {
        kK1, kK2, kK3, kK4,
        kC1, kC2, kC3, kC4, kC5,
        kN4, kN1, kN2, kN3,
        kWhite, kLayers
    };
    struct SCredit;
    static const SCredit kCredits[4];

    void whiteDecay(float d);
    void slide(int credit, bool fadingOut);
    void crossing();

    qvn_cScenePlayer m_Scene;
    int32_t m_aLayer[kLayers] = {};
    float m_fFadeIn = 1.0f;   // how white the appearing credit still is
    float m_fFadeOut = 0.0f;  // strength of the credit fading out
    float m_fFlash = 1.0f;    // white layer strength
    float m_afOffset[4] = {}; // each credit's slide offset, in show order
    float m_afJitter[4] = {}; // each credit's sideways shake, in show order
    float m_fCrossX = 320.0f, m_fCrossY = 40.0f;
};
