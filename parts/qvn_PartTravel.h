// The travel: seven frames of one photographic sequence added over a pulsing
// dark red. The first frame plays as an animation that ends in a ramp of ever
// wider blurs, three frames flicker, one pulses, a pair travels up, right, in
// from the left, down and back in from the top, one more crosses the screen
// at random heights and speeds, and the animation washes out to white.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"

class qvn_cBitmapList;

class qvn_cPartTravel : public qvn_cFramePart {
public:
    bool load() override;

    // Puts the program-lifetime state back to a fresh program's.
    static void resetState();

    // The 55 frames of the animation (fifty times trav3_1, then its five
    // blurred copies), as load() made them.
    static qvn_cBitmapList& animation();
    static constexpr int kAnimFrames = 55;

protected:
    bool beginRun() override;
    bool frame(int32_t t) override;
    void afterFlip() override;

private:
    void choreography();
    void crossing();

    // What lasts the program's life: the white-out and fade-in values and
    // the two pulse angles.
    struct SState {
        float m_fWhite = 0.1f;     // the closing white-out: how far the frame turns white (ends past 1)
        float m_fRed = 1.0f;       // the red background's red scale (a pulse, 0 to 1)
        float m_fRedAngle = 0.0f;  // the red pulse's angle, in radians
        float m_fP6Angle = 0.0f;   // the sixth picture's pulse angle, in radians
        float m_fFadeIn = 0.0f;    // the pictures' strength as they come in (0 to 1)
    };
    static SState s_State;

    enum { kRed, kAnim, kP2, kP3, kP4, kP5, kP6, kP7, kLayers };
    int32_t m_aLayer[kLayers] = {};
    bool m_bFadeIn = true;
    bool m_bFlickerAnim = true;
    bool m_bFlicker2 = true;
    bool m_bPulse6 = true;
    // The pair (trav3_6 and trav3_7) moves up, right, in from the left,
    // down, back in from the top, then stays.
    enum class ePhase { kUp, kRight, kIn, kDown, kBack, kStill };
    ePhase m_ePhase = ePhase::kUp;
    float m_fX = 0.0f, m_fY = 0.0f;
    // The crossing picture (trav3_5).
    float m_fX5 = 320.0f, m_fY5 = 0.0f, m_fV5 = 8.0f;
};
