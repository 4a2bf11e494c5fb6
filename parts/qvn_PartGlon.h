// The glon: the last part of the first half. A white flash takes the
// chroma-keyed "just try" picture away, a flickering picture sits in the
// bottom-right corner, the scene darkens while the halo fades in and out,
// a colour-dodged picture flashes white twice, the main picture comes out of
// white, and one slow zooming pulse plays while the frame fades to black.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartGlon : public qvn_cFramePart {
public:
    qvn_cPartGlon();
    bool load() override;

    // Puts the program-lifetime state back to a fresh program's.
    static void resetState();

protected:
    bool beginRun() override;
    bool endsBeforeDrawing(int32_t t) override;
    bool frame(int32_t t) override;

private:
    // What lasts the program's life: the halo's strength, the pulse angle
    // and the triggers of the timeline's events.
    struct SState {
        float m_fHalo = 0.0f;             // the halo's strength (0 to 1), growing from 140.6 s
        float m_fPulseAngle = 4.712385f;  // radians; the pulse starts at its low point, 3 pi / 2
        qvn_SLatch m_FirstFrame;
        qvn_SLatch m_MainAt149000;
        qvn_SLatch m_HaloAt140600;
        qvn_SLatch m_EndAt151000;
        qvn_SLatch m_GreedAt144800;
        qvn_SLatch m_GreedAt150800;
    };
    static SState s_State;

    qvn_cScenePlayer m_Scene;
    enum { kJustry, kHalo, kForget, kGreed, kMain, kBlack, kWhite, kVellor4, kLayers };
    int32_t m_aLayer[kLayers] = {};
    float m_fWhite = 1.0f;      // the opening flash's fade (1: opaque white)
    float m_fBlack = 0.85f;     // the black cover's strength, darkening the scene under the halo
    float m_fBlackEnd = 0.0f;   // the closing black-out's strength (0 to 1)
    qvn_SFlash m_GreedFlash;
    qvn_SFlash m_MainFlash;
};
