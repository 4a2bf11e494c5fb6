// The end scroller, the show's last part: over the theend scene a tall
// picture scrolls slowly upwards with flickering brightness, a chroma-keyed
// picture breathes in brightness and size, and a white flash opens it.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartScroller : public qvn_cFramePart {
public:
    qvn_cPartScroller();
    bool load() override;
    static void resetState();

protected:
    bool beginRun() override;
    bool endsBeforeDrawing(int32_t t) override { return t >= 266000; }
    bool frame(int32_t t) override;

private:
    qvn_cScenePlayer m_Scene;
    enum { kVodoo, kScroll, kWhite, kLayers };
    int32_t m_aLayer[kLayers] = {};
    float m_fW = 1.0f;    // white flash
    float m_fY = 300.0f;  // scroll position: starts below the screen
};
