#include "qvn_LoadingScreen.h"

#include "qvn_Bitmap.h"

uint8_t qvn_cLoadingScreen::s_bFadeIn = 1;
uint8_t qvn_cInterlude::s_bFadeIn = 1;

qvn_cFadeScreen::qvn_cFadeScreen(const char* name, qvn_eDataFileId picture, float step, uint8_t* fadeIn)
    : m_pszName(name), m_ePicture(picture), m_fStep(step), m_pbFadeIn(fadeIn), m_nPicture(-1), m_fX(0.0f) {}

bool qvn_cFadeScreen::load() { return qvn_LoadAndConvert(m_pszName, m_ePicture, getDisplayBpp()); }

bool qvn_cFadeScreen::beginRun() {
    qvn_cBitmap* background = screenBitmap();
    if (!background) return false;
    m_pLayers->add(background);
    m_nPicture = m_pLayers->add(&qvn_Picture(m_ePicture));
    m_fX = *m_pbFadeIn ? 0.0f : 1.0f;
    return true;
}

bool qvn_cFadeScreen::frame(int32_t) {
    qvn_SetScale(*m_pLayers, m_nPicture, m_fX);
    if (*m_pbFadeIn) {
        if (m_fX >= 1.0f) return false;
        m_fX += m_fStep;
    } else {
        if (m_fX <= 0.0f) return false;
        m_fX -= m_fStep;
    }
    return true;
}

// Also after a quit: the next run of the screen is its fade-out.
void qvn_cFadeScreen::endRun() { *m_pbFadeIn = 0; }

qvn_cLoadingScreen::qvn_cLoadingScreen() : qvn_cFadeScreen("qvn_cLoadingScreen", QVN_DF_LOADING_JPG, 0.02f, &s_bFadeIn) {}

qvn_cInterlude::qvn_cInterlude() : qvn_cFadeScreen("qvn_cInterlude", QVN_DF_LOADING2_JPG, 0.05f, &s_bFadeIn) {}
