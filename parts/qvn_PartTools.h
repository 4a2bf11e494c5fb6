// Small pieces every part's timeline is made of: the shared pictures of the
// data folder, loading with the file named on failure, one-shot latches, the
// decaying white flash and "visible only while its strength is above 0".
#pragma once

#include <cstdint>
#include <initializer_list>

#include "qvn_DataFiles.h"

class qvn_cBitmap;
class qvn_cBitmapLayers;
class qvn_cScenePlayer;

// The picture of one data file. One bitmap per file for the whole program
// (1 x 1 until loaded), so a picture that two parts show is loaded once and
// both see the same pixels.
qvn_cBitmap& qvn_Picture(qvn_eDataFileId id);
// Whether the picture still is the empty 1 x 1 placeholder.
bool qvn_PictureEmpty(qvn_eDataFileId id);

// Loading steps of a part's load(): each one logs "<part>::load() : ..."
// with the file named when it fails, so the error log says why a half did not
// play.
bool qvn_LoadPicture(const char* part, qvn_eDataFileId id);
bool qvn_ToDisplay(const char* part, qvn_eDataFileId id, int eBpp);
bool qvn_LoadAndConvert(const char* part, qvn_eDataFileId id, int eBpp);
bool qvn_LoadScene(const char* part, qvn_cScenePlayer& player, qvn_eDataFileId id);
// Logs a failed step of a part's load on a given picture ("Can't tile", ...).
bool qvn_LoadStepFailed(const char* part, const char* what, qvn_eDataFileId id);

// A one-shot trigger: fires on the first call whose condition holds, then
// never again until re-armed.
struct qvn_SLatch {
    uint8_t m_bArmed = 1;
    bool fire(bool condition) {
        if (!m_bArmed || !condition) return false;
        m_bArmed = 0;
        return true;
    }
};

// Sets a layer's three scales to v and shows it only while v > 0.
void qvn_SetFade(qvn_cBitmapLayers& layers, int32_t id, float v);
// Sets a layer's three scales to v (visibility unchanged).
void qvn_SetScale(qvn_cBitmapLayers& layers, int32_t id, float v);

// A picture that flashes from white and fades: each step turns its pixels
// toward white and sets its layer's strength; both decay until the strength
// reaches 0, when the layer hides and the flash is over.
struct qvn_SFlash {
    bool m_bOn = false;
    float m_fWhite = 1.0f;  // how far the pixels turn toward white (1: all white)
    float m_fScale = 1.0f;  // the layer's strength (0: gone)
    void start() {
        m_bOn = true;
        m_fWhite = 1.0f;
        m_fScale = 1.0f;
    }
    void step(qvn_cBitmapLayers& layers, int32_t id, qvn_cBitmap& picture, float whiteStep, float scaleStep,
              float speed);
};

// A value whose sine pulse is (sin(a) + 1) * 0.5; the angle advances after.
float qvn_Pulse(float& angle, float step);
