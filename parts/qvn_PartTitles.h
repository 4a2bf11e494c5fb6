// The opening titles: four words that blur away one after the other, the
// guest group's logo cross-fading into ours over a flickering noise layer,
// five beat flashes and a white-out.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"

class qvn_cPartTitles : public qvn_cFramePart {
public:
    bool load() override;

protected:
    bool beginRun() override;
    bool frame(int32_t t) override;

private:
    void blurOut(int32_t layer, qvn_eDataFileId picture);
    void flash();
    void flashDecay();

    enum { kBackground, kWord1, kWord2, kWord3, kWord4, kLogo1, kLogo2, kNoise, kFlash, kLayers };
    int32_t m_aLayer[kLayers] = {};
    qvn_cBitmap* m_pBackground = nullptr;
    float m_fX = 1.0f;  // the shared fade value
    float m_fR = 0.0f;  // logo cross-fade amount
    float m_fW = 1.0f;  // logo 1's white amount
    float m_fN = 1.0f;  // noise strength once the flicker stops
    bool m_bFlicker = true;
    // The white-out's background is made once per run (it is this run's
    // bitmap: a second show in the same process needs it again).
    bool m_bWhiteReady = false;
};
