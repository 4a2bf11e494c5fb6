// The tube: a flickering, jittering picture over the tube scene, a tuner
// picture that swells once and vanishes, the travel picture pulsing on a sine
// in a corner, a blurred smiley, two white smiley flashes and the main picture coming
// out of white; the scene fades in from black.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartTube : public qvn_cFramePart {
public:
    qvn_cPartTube();
    bool load() override;

    // Puts the program-lifetime state back to a fresh program's.
    static void resetState();

protected:
    bool beginRun() override;
    bool endsBeforeDrawing(int32_t t) override;
    bool frame(int32_t t) override;

private:
    // What lasts the program's life: the tuner and pulse angles, the black
    // cover's strength and the flash triggers.
    struct SState {
        float m_fTunerAngle = 0.0f;  // the tuner's zoom sine's angle, in radians
        float m_fPulseAngle = 0.0f;  // the travel picture's pulse angle, in radians
        float m_fBlack = 1.0f;       // the opening black cover's strength (0: gone)
        qvn_SLatch m_MainAt118000;
        qvn_SLatch m_SmileyAt110144;
        qvn_SLatch m_SmileyAt112144;
    };
    static SState s_State;

    qvn_cScenePlayer m_Scene;
    enum { kLost, kTuner, kTravel, kSmiley, kFlash, kMain, kBlack, kLayers };
    int32_t m_aLayer[kLayers] = {};
    bool m_bTuner = true;
    qvn_SFlash m_SmileyFlash;  // smiley7 toward white
    qvn_SFlash m_MainFlash;    // the main picture toward white
};
