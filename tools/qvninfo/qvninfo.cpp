// qvninfo FILE.qvn [--verbose]: what a scene file holds, or why the loader
// refuses it.
#include <cstdio>
#include <cstring>

#include "qvn_ErrorLog.h"
#include "qvn_System.h"
#include "qvn_ToolArgs.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"

namespace {

const char kUsage[] =
    "usage: qvninfo FILE.qvn [--verbose]\n"
    "  counts what a scene file holds (materials, objects, tracks, keys, cameras,\n"
    "  meshes, faces), each material's render mode, and whether fog is on\n"
    "  --verbose, -v  also show the loader's own lines (one per animation track)\n"
    "  --help         this text\n"
    "  --version      the engine version\n";

// The loader reports through the engine's log; a tool has no log file, so a
// message box has nothing to add to the line the log already holds.
class cToolServices : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return 0; }
    void DebugOutput(const char*) override {}
    void ShowMessageBox(const char*, const char*, unsigned) override {}
    void SetCursorVisible(bool) override {}
};

// Copies what the loader logged to stderr: its reasons for refusing a file.
void ShowHeldLog(std::FILE* held) {
    if (!held) return;
    std::rewind(held);
    char line[512];
    while (std::fgets(line, sizeof line, held)) std::fputs(line, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (int code = qvn_tool::HelpOrVersion(argc, argv, "qvninfo", kUsage); code >= 0) return code;
    const char* path = nullptr;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0 || std::strcmp(argv[i], "-v") == 0) verbose = true;
        else if (argv[i][0] == '-' && argv[i][1] != 0) return qvn_tool::UsageError("qvninfo", kUsage, "unknown option", argv[i]);
        else if (!path) path = argv[i];
        else return qvn_tool::UsageError("qvninfo", kUsage, "one scene file at a time, not also", argv[i]);
    }
    if (!path) return qvn_tool::UsageError("qvninfo", kUsage, "no scene file given");
    if (!qvn_tool::CanOpen("qvninfo", path)) return 1;
    cToolServices services;
    qvn_sys::Install(&services);
    // The loader's own lines go to the terminal only with --verbose; otherwise
    // they are held, and shown only when they explain a refusal.
    std::FILE* held = verbose ? nullptr : std::tmpfile();
    qvn_SetLogEcho(verbose ? stderr : held);
    qvn_cSoftRenderer renderer;  // no display, no cache: only modes are asked of it
    qvn_cScene scene;
    scene.m_pRenderer = &renderer;
    qvn_cImporter importer;
    if (!importer.LoadData(path, &scene)) {
        ShowHeldLog(held);
        std::fprintf(stderr, "qvninfo: %s: not a usable scene file\n", path);
        return 1;
    }
    qvn_SetLogEcho(verbose ? stderr : nullptr);
    if (held) std::fclose(held);
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
    std::printf("file: %s\n", path);
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
