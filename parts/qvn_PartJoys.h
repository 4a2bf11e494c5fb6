// The joys: over the train scene the gel picture zooms away and fades, a
// colour-dodged smiley pulses, and four pictures flicker in turn in fixed
// windows (joys, a blur ramp of vellor3, vellor2, nolove) before a white-out.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartJoys : public qvn_cFramePart {
public:
    qvn_cPartJoys();
    bool load() override;
    static void resetState();

protected:
    bool beginRun() override;
    bool waiting(int32_t t) override { return t < 133000; }
    bool frame(int32_t t) override;

private:
    void flicker(int32_t layer);

    qvn_cScenePlayer m_Scene;
    enum { kJoys, kAnim, kVellor2, kNolove, kSmiley, kGel, kWhite, kLayers };
    int32_t m_aLayer[kLayers] = {};
    bool m_bJoys = true;
    bool m_bGel = true;
};
