// The pillars: three lines of text lighting up with white flashes over the
// first 3D scene, a colour-dodge overlay pulsing on a sine, a noise picture,
// three beat flashes, and at the end a blur animation growing over photos
// that replace the scene.
#pragma once

#include "qvn_Bitmap.h"
#include "qvn_BitmapList.h"
#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartPillars : public qvn_cFramePart {
public:
    qvn_cPartPillars();
    bool load() override;
    static void resetState();
    // The seven-frame blur animation (im02, then blurred wider and wider), as
    // loaded.
    static qvn_cBitmapList& blurFrames();

protected:
    bool beginRun() override;
    bool frame(int32_t t) override;

private:
    void textLine(int32_t layer, float& scale, qvn_SLatch& once);

    qvn_cScenePlayer m_Scene;
    enum { kWhite, kText1, kText2, kText3, kPhoto1, kPhoto2, kNoise, kDodge, kBlurAnim, kFlash, kLayers };
    int32_t m_aLayer[kLayers] = {};
    float m_fW = 1.0f, m_fDW = 0.25f;  // white layer fade and its rate
    bool m_bWhiteFading = true;
    float m_fT1 = 1.0f, m_fT2 = 1.0f, m_fT3 = 1.0f;
    qvn_SFlash m_Flash;
};
