#include "qvn_PartTools.h"

#include <cmath>

#include "qvn_Bitmap.h"
#include "qvn_BitmapLayers.h"
#include "qvn_ErrorLog.h"
#include "qvn_ScenePlayer.h"

namespace {
// Constructed before main, freed at exit: the pictures outlive the parts
// that load them, as a part freed with its half leaves its pictures loaded.
qvn_cBitmap g_aPictures[QVN_DF_COUNT];
}  // namespace

qvn_cBitmap& qvn_Picture(qvn_eDataFileId id) { return g_aPictures[id]; }

bool qvn_PictureEmpty(qvn_eDataFileId id) {
    const qvn_cBitmap& b = g_aPictures[id];
    return b.m_nSizeX <= 1 && b.m_nSizeY <= 1;
}

bool qvn_LoadStepFailed(const char* part, const char* what, qvn_eDataFileId id) {
    LogMessage("%s::load() : %s <%s>.\n", part, what, qvn_DataFileName(id));
    return false;
}

bool qvn_LoadPicture(const char* part, qvn_eDataFileId id) {
    if (g_aPictures[id].loadFromFile(qvn_DataFileName(id))) return true;
    return qvn_LoadStepFailed(part, "Can't load picture", id);
}

bool qvn_ToDisplay(const char* part, qvn_eDataFileId id, int eBpp) {
    if (g_aPictures[id].setNbpp(eBpp)) return true;
    return qvn_LoadStepFailed(part, "Can't convert picture", id);
}

bool qvn_LoadAndConvert(const char* part, qvn_eDataFileId id, int eBpp) {
    return qvn_LoadPicture(part, id) && qvn_ToDisplay(part, id, eBpp);
}

bool qvn_LoadScene(const char* part, qvn_cScenePlayer& player, qvn_eDataFileId id) {
    if (player.loadScene(qvn_DataFileName(id))) return true;
    return qvn_LoadStepFailed(part, "Can't load scene", id);
}

void qvn_SetFade(qvn_cBitmapLayers& layers, int32_t id, float v) {
    layers.setScaleRGB(id, v, v, v);
    layers.setVisible(id, v > 0.0f);
}

void qvn_SetScale(qvn_cBitmapLayers& layers, int32_t id, float v) { layers.setScaleRGB(id, v, v, v); }

void qvn_SFlash::step(qvn_cBitmapLayers& layers, int32_t id, qvn_cBitmap& picture, float whiteStep,
                      float scaleStep, float speed) {
    if (!m_bOn) return;
    picture.fadePixels(1.0f, 1.0f, 1.0f, m_fWhite);
    qvn_SetScale(layers, id, m_fScale);
    if (m_fScale > 0.0f) {
        layers.setVisible(id, 1);
        m_fWhite -= whiteStep * speed;
        m_fScale -= scaleStep * speed;
    } else {
        layers.setVisible(id, 0);
        m_bOn = false;
    }
}

float qvn_Pulse(float& angle, float step) {
    const float v = (std::sin(angle) + 1.0f) * 0.5f;
    angle += step;
    return v;
}
