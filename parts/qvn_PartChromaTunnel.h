// The chroma tunnel opens the second half: two photographs cross-fade in
// from black, a tunnel scene is drawn over them, then two tunnels run under
// scrolling, colour-dodged smiley strips with white flashes on the beats,
// and the vampire photograph fades in over everything for the metaballs
// part to start from.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartChromaTunnel : public qvn_cFramePart {
public:
    bool load() override;
    static void resetState();

protected:
    bool beginRun() override;
    bool endsBeforeDrawing(int32_t t) override;
    void beforeClear(int32_t t) override;
    bool frame(int32_t t) override;
    void drawScene(eScenePass pass) override;

private:
    qvn_cScenePlayer m_Scene1;  // chromatunnel1: over the photos, then under the strips
    qvn_cScenePlayer m_Scene2;  // chromatunnel2: under the strips, drawn first
    enum { kPhotoA, kPhotoB, kPulse, kFlash, kVampire, kStrip1, kStrip2, kLayers };
    int32_t m_aLayer[kLayers] = {};
    qvn_SFlash m_Flash;
    bool m_bOverlayScene = false;  // scene 1 after the compositing
    bool m_bScenes = false;        // both scenes before the compositing
    bool m_bScroll1 = false, m_bScroll2 = false;
    float m_fY1 = -240.0f, m_fY2 = -240.0f;
    bool m_bLate = false;
};
