// The metaballs: the vampire and opa pictures zoom and fade away, a
// flickering strip of smileys scrolls, the room fades in from black with four
// environment-mapped metaballs floating in it, a flickering picture, and
// twelve lines of greetings sharpening out of a smear one every two seconds,
// then a white-out.
#pragma once

#include <cstdint>

#include "qvn_Bitmap.h"
#include "qvn_FramePart.h"
#include "qvn_MetaballField.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartMetaballs : public qvn_cFramePart {
public:
    qvn_cPartMetaballs();
    ~qvn_cPartMetaballs() override;
    bool load() override;
    static void resetState();

    // Samples the field at ball time T, extracts its surface and draws it
    // with the environment map into target (the part's metaball pass without
    // the display).
    static void drawBalls(qvn_cMetaballField& field, float T, const uint16_t* envMap, const qvn_SEnvTarget& target);

protected:
    bool beginRun() override;
    void afterScene() override;
    bool frame(int32_t t) override;

private:
    void greetings(int32_t t);
    void showStrip(int strip);

    qvn_cScenePlayer m_Scene;
    qvn_cMetaballField m_Field;
    uint16_t* m_pEnvMap;  // 256 x 256 texels in the display's format, new[]

    enum { kStrips = 12 };
    enum { kBlack, kOpa, kVampire, kSmileys, kLive, kStrip0, kWhite = kStrip0 + kStrips, kLayers };
    int32_t m_aLayer[kLayers] = {};
};
