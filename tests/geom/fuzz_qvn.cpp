// Fuzz entry point: a scene file's bytes through the importer and, when they
// load, two frames through the whole renderer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "qvn_cImporter.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qvn_cPixelFormat* pf = [] {
        auto* p = new qvn_cPixelFormat();
        p->SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
        return p;
    }();
    static qvn_cTextureCache* cache = [] {
        auto* c = new qvn_cTextureCache();
        c->Create(pf);
        return c;
    }();
    static std::vector<uint16_t> screen(320 * 240);
    static qvn_cSoftRenderer* renderer = [] {
        auto* r = new qvn_cSoftRenderer();
        r->SetTarget(screen.data(), 320, 240, 320, *pf);
        r->SetTextureCache(cache);
        return r;
    }();

    qvn_cScene scene;
    scene.m_pRenderer = renderer;
    qvn_cImporter importer;
    if (importer.LoadBuffer(data, size, &scene)) {
        cache->Reset();
        renderer->m_pCurrentMaterial = nullptr;
        cache->PrepareScene(&scene);
        for (int frame : {0, 37}) {
            scene.m_nFrame = frame;
            scene.Render();
        }
    }
    renderer->m_pCurrentMaterial = nullptr;
    return 0;
}
