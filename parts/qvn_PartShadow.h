// The shadow: after waiting for its start it shows the piecef scene under a
// fading white opening, a flickering shadow picture, a jittering colour-dodge
// photograph that pulses, and a black layer that dims the frame on six
// beats; it ends by fading to black.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartShadow : public qvn_cFramePart {
public:
    qvn_cPartShadow();
    bool load() override;
    static void resetState();

protected:
    bool beginRun() override;
    bool waiting(int32_t t) override { return t < 82300; }
    bool frame(int32_t t) override;

private:
    qvn_cScenePlayer m_Scene;
    enum { kShadow, kDodge, kBlack, kWhite, kLayers };
    int32_t m_aLayer[kLayers] = {};
    bool m_bShadow = true;
    float m_fKb = 0.65f;  // beat dimming
};
