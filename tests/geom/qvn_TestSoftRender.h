// A scene file's frame drawn by the software rasteriser, the way a part
// draws it: the cache emptied, the scene's textures registered, the renderer
// with no material selected. The renderer draws into whatever target it has.
#pragma once

#include <cstdint>
#include <vector>

#include "qvn_cImporter.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

namespace qvntest {

// False when the bytes are not a scene (nothing is drawn then).
inline bool RenderSoft(qvn_cSoftRenderer& renderer, qvn_cTextureCache& cache, const std::vector<uint8_t>& bytes,
                       int frame) {
    qvn_cScene scene;
    scene.m_pRenderer = &renderer;
    qvn_cImporter importer;
    if (!importer.LoadBuffer(bytes.data(), bytes.size(), &scene)) return false;
    cache.Reset();
    renderer.m_pCurrentMaterial = nullptr;
    cache.PrepareScene(&scene);
    scene.m_nFrame = frame;
    scene.Render();
    return true;
}

}  // namespace qvntest
