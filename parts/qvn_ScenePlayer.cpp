#include "qvn_ScenePlayer.h"

#include <cmath>
#include <new>

#include "qvn_EngDisplay.h"
#include "qvn_Run.h"
#include "qvn_cImporter.h"
#include "qvn_cScene.h"
#include "qvn_cTextureCache.h"

qvn_cScenePlayer::qvn_cScenePlayer() : m_pScene(nullptr), m_dPosition(0.0) {}

qvn_cScenePlayer::~qvn_cScenePlayer() { finish(); }

bool qvn_cScenePlayer::load() {
    if (m_pScene) return true;
    m_pScene = new (std::nothrow) qvn_cScene;
    return m_pScene != nullptr;
}

bool qvn_cScenePlayer::loadScene(const char* path) {
    if (!load()) return false;
    qvn_cImporter* importer = new (std::nothrow) qvn_cImporter;
    if (!importer) return false;
    const bool ok = importer->LoadData(path, m_pScene);
    delete importer;
    return ok;
}

void qvn_cScenePlayer::run() {
    if (!m_pScene) return;
    m_dPosition += m_FrameTimer.getSpeedFactor();
    m_pScene->m_nFrame = static_cast<int32_t>(std::floor(m_dPosition));
    // A frame nobody sees still moves the scene on; its picture is not needed.
    if (qvn_run::Presenting()) m_pScene->Render();
}

void qvn_cScenePlayer::finish() {
    delete m_pScene;
    m_pScene = nullptr;
}

void qvn_cScenePlayer::registerTextures(bool resetCache) {
    if (!m_pScene || !g_pDisplay || g_pDisplay->m_eRenderMode != QVN_RENDER_SOFTWARE) return;
    if (g_pTextureStore) g_pTextureStore->RegisterScene(m_pScene, resetCache);
}
