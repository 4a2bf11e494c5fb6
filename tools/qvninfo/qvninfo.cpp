// qvninfo FILE.qvn: what a scene file holds, or why the loader refuses it.
#include <cstdio>
#include <cstring>

#include "qvn_ErrorLog.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: qvninfo FILE.qvn\n");
        return 2;
    }
    // The loader's messages are the reasons a file is refused.
    qvn_SetLogEcho(stderr);
    qvn_cSoftRenderer renderer;  // no display, no cache: only modes are asked of it
    qvn_cScene scene;
    scene.m_pRenderer = &renderer;
    qvn_cImporter importer;
    if (!importer.LoadData(argv[1], &scene)) {
        std::fprintf(stderr, "qvninfo: %s: not a usable scene file\n", argv[1]);
        return 1;
    }
    int textures = 0;
    for (int i = 0; i < scene.m_nMaterialCount; ++i)
        for (qvn_cTexture* t : scene.m_pMaterials[i]->m_pTexture) textures += t != nullptr;
    int tracks = 0;
    long keys = 0;
    for (int i = 0; i < scene.m_nObjectCount; ++i) {
        const qvn_cObject* o = scene.m_pObjects[i];
        tracks += o->m_nAnimCount;
        for (int t = 0; t < o->m_nAnimCount; ++t) keys += o->m_pAnim[t]->m_nFrameCount;
    }
    long vertices = 0;
    for (int i = 0; i < scene.m_nMeshCount; ++i) vertices += scene.m_pMeshes[i]->m_nVertexCount;
    std::printf("file: %s\n", argv[1]);
    std::printf("materials: %d\n", scene.m_nMaterialCount);
    std::printf("textures: %d\n", textures);
    std::printf("objects: %d\n", scene.m_nObjectCount);
    std::printf("tracks: %d\n", tracks);
    std::printf("keys: %ld\n", keys);
    std::printf("cameras: %d\n", scene.m_nCameraCount);
    std::printf("targets: %d\n", scene.m_nTargetCount);
    std::printf("meshes: %d\n", scene.m_nMeshCount);
    std::printf("vertices: %ld\n", vertices);
    std::printf("faces: %d\n", scene.m_nTotalFaces);
    std::printf("fog: %s\n", scene.m_Fog.m_bEnabled ? "on" : "off");
    for (int i = 0; i < scene.m_nMaterialCount; ++i) {
        qvn_cMaterial* m = scene.m_pMaterials[i];
        renderer.m_pCurrentMaterial = nullptr;
        m->Select();
        std::printf("material %d: type %d, textures %c%c%c, render mode 0x%03X\n", i, m->m_nType,
                    m->m_pTexture[0] ? '0' : '-', m->m_pTexture[1] ? '1' : '-', m->m_pTexture[2] ? '2' : '-',
                    static_cast<unsigned>(renderer.m_nRenderMode));
    }
    return 0;
}
