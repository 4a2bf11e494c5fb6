// The two loading screens: a picture that fades in before a half loads and
// out once it has. Both fade by a fixed step per frame (not by the speed
// factor): loading takes no show time, so only the number of frames counts.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"

class qvn_cFadeScreen : public qvn_cFramePart {
public:
    bool load() override;

protected:
    qvn_cFadeScreen(const char* name, qvn_eDataFileId picture, float step, uint8_t* fadeIn);
    bool beginRun() override;
    bool frame(int32_t t) override;
    void endRun() override;

private:
    const char* m_pszName;
    qvn_eDataFileId m_ePicture;
    float m_fStep;
    uint8_t* m_pbFadeIn;  // the class's own "next run fades in" flag
    int32_t m_nPicture;
    float m_fX;
};

// Shown while the first half's parts load.
class qvn_cLoadingScreen : public qvn_cFadeScreen {
public:
    qvn_cLoadingScreen();
    static uint8_t s_bFadeIn;
};

// Shown between the two halves; one object for the whole show.
class qvn_cInterlude : public qvn_cFadeScreen {
public:
    qvn_cInterlude();
    static uint8_t s_bFadeIn;
};
