// Digits and words over the "verta" scene: a column of digits rising with its
// mirror falling, a word sliding left, a word that fades slowly, a word
// rising from the bottom, a blurred photograph jittering over everything in
// colour dodge, and at the end a photograph that fades in and replaces the
// scene.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"
#include "qvn_ScenePlayer.h"

class qvn_cPartDigits : public qvn_cFramePart {
public:
    qvn_cPartDigits();
    bool load() override;

    // What lasts the program's life: fade values and angles that carry on from
    // run to run, and the two flashes that fire once per program.
    struct SState {
        float cy = 0.0f;         // photo fade-in
        float sb = 0.0f;         // digits and mirror strength
        float zb = 0.0f;         // digits zoom angle
        float sa = 0.0f;         // artist strength
        float st = 1.2f;         // stay strength (starts over-bright)
        float pe = 4.712385f;    // dodge pulse angle: starts at the sine's low point
        qvn_SLatch openingFlash; // the white the part opens with
        qvn_SLatch stayFlash;    // the white that comes with "stay"
    };
    static SState s_State;
    static void resetState() { s_State = SState(); }

protected:
    bool beginRun() override;
    bool endsBeforeDrawing(int32_t t) override { return t >= 72515; }
    // The whole timeline runs before the display is cleared: the frame that
    // takes the scene away already is drawn without it.
    void beforeClear(int32_t t) override;
    bool frame(int32_t t) override {
        (void)t;
        return true;
    }

private:
    void digits();
    void technology();
    void stay(float d);
    void artist();

    qvn_cScenePlayer m_Scene;
    enum { kMirror, kDigits, kTechnology, kStay, kArtist, kDodge, kPhoto, kWhite, kLayers };
    int32_t m_aLayer[kLayers] = {};
    float m_fWhite = 1.0f;  // the white cover's fade (1: opaque white), restarted by each white flash
    // Each word's phase starts once, at the first frame at or after its time,
    // and ends when its layer has left the screen.
    qvn_SLatch m_DigitsStart, m_TechnologyStart, m_StayStart, m_ArtistStart;
    bool m_bDigits = false, m_bTechnology = false, m_bStay = false, m_bArtist = false;
};
