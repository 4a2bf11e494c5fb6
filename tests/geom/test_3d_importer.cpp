// Scene files: well-formed ones load into the model the renderer expects,
// malformed ones fail cleanly with a message and never read out of bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../peak_memory.h"
#include "qvn_ErrorLog.h"
#include "qvn_TestScene.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"

namespace {

namespace fs = std::filesystem;
using namespace qvntest;

class Importer : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qvn_3d_importer_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        logPath_ = (dir_ / "log.txt").string();
        log_ = new qvn_cErrorLog(logPath_.c_str());
    }
    void TearDown() override {
        delete log_;
        fs::remove_all(dir_);
    }
    std::string Log() const {
        std::ifstream in(logPath_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Loads bytes written as a file (plain or gzip'd) into scene_.
    bool Load(const std::vector<uint8_t>& bytes, bool gzip = false) {
        const std::string path = (dir_ / (gzip ? "scene.qvn.gz" : "scene.qvn")).string();
        EXPECT_TRUE(WriteFile(path, bytes, gzip));
        scene_.reset(new qvn_cScene());
        scene_->m_pRenderer = &renderer_;
        qvn_cImporter importer;
        return importer.LoadData(path.c_str(), scene_.get());
    }
    bool Load(const Scene& s, bool gzip = false) { return Load(s.Build(), gzip); }

    fs::path dir_;
    std::string logPath_;
    qvn_cErrorLog* log_ = nullptr;
    qvn_cSoftRenderer renderer_;
    std::unique_ptr<qvn_cScene> scene_;
};

TEST_F(Importer, BasicSceneLoadsPlainAndGzipped) {
    for (bool gzip : {false, true}) {
        ASSERT_TRUE(Load(BasicScene(), gzip)) << Log();
        qvn_cScene& s = *scene_;
        EXPECT_EQ(s.m_nMaterialCount, 1);
        EXPECT_EQ(s.m_nObjectCount, 3);
        EXPECT_EQ(s.m_nCameraCount, 1);
        EXPECT_EQ(s.m_nTargetCount, 1);
        EXPECT_EQ(s.m_pTargets[0]->m_nObjectIndex, 1);
        ASSERT_EQ(s.m_nMeshCount, 1);
        EXPECT_EQ(s.m_nTotalFaces, 2);
        EXPECT_EQ(s.m_pCamera, s.m_pCameras[0]);
        EXPECT_EQ(s.m_DrawList.m_nCapacity, 2);
        const qvn_cMesh& m = *s.m_pMeshes[0];
        EXPECT_EQ(m.m_pFaces[0].m_nSequence, 0);
        EXPECT_EQ(m.m_pFaces[1].m_nSequence, 1);
        EXPECT_EQ(m.m_pFaces[1].m_pVertex[2], &m.m_pVertices[3]);
        EXPECT_FLOAT_EQ(m.m_pFaces[1].m_Corner[2].u, 1.0f);
        EXPECT_EQ(m.m_pFaces[0].m_pMaterial, s.m_pMaterials[0]);
        EXPECT_EQ(m.m_pFaces[0].m_pMesh, &m);
        EXPECT_FALSE(s.m_Fog.m_bEnabled);
        EXPECT_FALSE(s.m_pMaterials[0]->m_pTexture[0]->m_bFogged);
        // Focal length of a quarter turn over the 320 x 240 viewport.
        EXPECT_NEAR(s.m_pCameras[0]->m_fFocal, 138.564f, 0.01f);
    }
}

TEST_F(Importer, NormalsAndBoxes) {
    Scene sc = BasicScene();
    // Place the square through the object matrix and pivot: translated by
    // (1, 2, 3), pivot (1, 0, 0).
    sc.objects[2].matrix[3] = 1.0f;
    sc.objects[2].matrix[7] = 2.0f;
    sc.objects[2].matrix[11] = 3.0f;
    sc.objects[2].pivot[0] = 1.0f;
    // A vertex no face uses.
    sc.meshes[0].vertices.insert(sc.meshes[0].vertices.end(), {0.0f, 0.0f, 0.0f});
    ASSERT_TRUE(Load(sc)) << Log();
    const qvn_cMesh& m = *scene_->m_pMeshes[0];
    EXPECT_FLOAT_EQ(m.m_pVertices[0].m_Pos.x, -5.0f);
    EXPECT_FLOAT_EQ(m.m_pVertices[0].m_Pos.y, 2.0f);
    EXPECT_FLOAT_EQ(m.m_pVertices[0].m_Pos.z, 8.0f);
    // Corner 0: min x, max z, min y; corner 7: max x, min z, max y.
    EXPECT_FLOAT_EQ(m.m_Box.m_Corner[0].m_Pos.x, -5.0f);
    EXPECT_FLOAT_EQ(m.m_Box.m_Corner[0].m_Pos.z, 8.0f);
    EXPECT_FLOAT_EQ(m.m_Box.m_Corner[7].m_Pos.x, 5.0f);
    EXPECT_FLOAT_EQ(m.m_Box.m_Corner[7].m_Pos.z, -2.0f);
    EXPECT_FLOAT_EQ(m.m_Box.m_Corner[7].m_Pos.y, 2.0f);
    // The square faces the camera: normal -Y, unit length.
    EXPECT_NEAR(m.m_pFaces[0].m_Normal.y, -1.0f, 1e-6f);
    // Vertex normals are half the mean: 0.5 long on a flat mesh.
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(m.m_pVertices[i].m_Normal.Length(), 0.5f, 1e-6f);
    EXPECT_FLOAT_EQ(m.m_pVertices[4].m_Normal.Length(), 0.0f);
}

TEST_F(Importer, FogFlagsTexturesOnlyWhenEnvironmentPresent) {
    Scene sc = BasicScene();
    sc.fog = true;
    ASSERT_TRUE(Load(sc)) << Log();
    EXPECT_TRUE(scene_->m_Fog.m_bEnabled);
    EXPECT_FLOAT_EQ(scene_->m_Fog.m_Color.r, 0.5f);
    EXPECT_FLOAT_EQ(scene_->m_Fog.m_Color.fog, 1.0f);
    EXPECT_TRUE(scene_->m_pMaterials[0]->m_pTexture[0]->m_bFogged);
}

TEST_F(Importer, MaterialFlagsChooseTextureSlots) {
    Scene sc = BasicScene();
    sc.materials.push_back(sc.materials[0]);
    sc.materials.push_back(sc.materials[0]);
    sc.materials.push_back(sc.materials[0]);
    sc.materials[0].flags = 0;
    sc.materials[1].flags = 1;
    sc.materials[2].flags = 1 | 2 | 8 | 4;
    sc.materials[2].tex[2] = GradientTexture(16, 8);  // the block that belongs to no slot
    sc.materials[3].flags = 2;
    ASSERT_TRUE(Load(sc)) << Log();
    qvn_cMaterial** mats = scene_->m_pMaterials;
    EXPECT_EQ(mats[0]->m_pTexture[0], nullptr);
    EXPECT_EQ(mats[0]->m_pTexture[1], nullptr);
    EXPECT_NE(mats[1]->m_pTexture[0], nullptr);
    EXPECT_EQ(mats[1]->m_pTexture[1], nullptr);
    EXPECT_EQ(mats[1]->m_pTexture[2], nullptr);
    EXPECT_NE(mats[2]->m_pTexture[2], nullptr);
    EXPECT_EQ(mats[2]->m_pTexture[2]->m_nWidth, 256);  // slot 2 got its own block, not the skipped one
    EXPECT_EQ(mats[3]->m_pTexture[0], nullptr);
    EXPECT_NE(mats[3]->m_pTexture[1], nullptr);
    EXPECT_EQ(mats[3]->m_nType, 2);
}

TEST_F(Importer, TracksKeysAndActivity) {
    Scene sc = BasicScene();
    Track moving;
    moving.name = "move";
    moving.isStatic = false;
    moving.keys.clear();
    for (int i = 0; i < 10; ++i) moving.keys.push_back(Key{static_cast<float>(i), 0, 0, 0, 0, 0, 1});
    sc.objects[2].tracks.push_back(moving);
    sc.objects[2].ranges = {{0, 50, 1.0f}, {50, 100, 0.0f}};
    ASSERT_TRUE(Load(sc)) << Log();
    const qvn_cObject& o = *scene_->m_pObjects[2];
    ASSERT_EQ(o.m_nAnimCount, 2);
    EXPECT_TRUE(o.m_pAnim[0]->m_bStatic);
    EXPECT_EQ(o.m_pAnim[0]->m_nFrameCount, 1);
    EXPECT_EQ(o.m_pCurrentAnim, o.m_pAnim[1]);
    EXPECT_STREQ(o.m_pCurrentAnim->m_szName, "move");
    EXPECT_FALSE(o.m_pCurrentAnim->m_bStatic);
    EXPECT_EQ(o.m_pCurrentAnim->m_nFrameCount, 10);
    EXPECT_FLOAT_EQ(o.m_pCurrentAnim->m_pFrames[9].m_pPos->x, 9.0f);
    EXPECT_EQ(o.m_pCurrentAnim->m_pFrames[10].m_pPos, nullptr);  // the spare frame
    EXPECT_TRUE(o.m_Activity.IsActive(149));
    EXPECT_FALSE(o.m_Activity.IsActive(150));
    EXPECT_NE(Log().find("AddAnim: "), std::string::npos);
}

TEST_F(Importer, ParentWithoutMeshGivesParentObjectOnly) {
    Scene sc = BasicScene();
    Object child = StaticObject("child", 1, 0, 0);
    child.parent = 1;  // the target object, which owns no mesh
    sc.objects.push_back(child);
    Object grandChild = StaticObject("grandchild", 0, 0, 1);
    grandChild.parent = 3;
    sc.objects.push_back(grandChild);
    sc.meshes.push_back(Square(3, 1.0f, 0.0f, 0));
    sc.meshes.push_back(Square(4, 1.0f, 0.0f, 0));
    ASSERT_TRUE(Load(sc)) << Log();
    const qvn_cMesh& m1 = *scene_->m_pMeshes[1];
    EXPECT_EQ(m1.m_pParentObject, scene_->m_pObjects[1]);
    EXPECT_EQ(m1.m_pParentMesh, nullptr);
    EXPECT_EQ(scene_->m_pMeshes[2]->m_pParentMesh, &m1);
}

TEST_F(Importer, LastCameraIsCurrentAfterLoad) {
    Scene sc = BasicScene();
    sc.cameras.push_back(Camera());
    sc.cameras[1].nearDistance = 0.25f;
    ASSERT_TRUE(Load(sc)) << Log();
    EXPECT_EQ(scene_->m_pCamera, scene_->m_pCameras[1]);
    EXPECT_FLOAT_EQ(scene_->m_pCameras[1]->m_fNear, 1.0f);  // raised to 1.0
    EXPECT_EQ(scene_->m_pMeshes[0]->m_pCamera, scene_->m_pCameras[1]);
}

TEST_F(Importer, WrongMagicFailsWithHeaderMessage) {
    Scene sc = BasicScene();
    sc.magic = 0x12345678;
    EXPECT_FALSE(Load(sc));
    EXPECT_NE(Log().find("This isn't a .QVN file : LoadHeader failed\n"), std::string::npos);
    EXPECT_EQ(scene_->m_nMaterialCount, 0);
    EXPECT_EQ(scene_->m_nObjectCount, 0);
}

TEST_F(Importer, MissingFileAndNullScene) {
    qvn_cImporter importer;
    qvn_cScene scene;
    const std::string missing = (dir_ / "nothing.qvn").string();
    EXPECT_FALSE(importer.LoadData(missing.c_str(), &scene));
    EXPECT_NE(Log().find("failed to open file : " + missing + "\n"), std::string::npos);
    EXPECT_FALSE(importer.LoadData(missing.c_str(), nullptr));
    EXPECT_NE(Log().find("Error: Scene isn'o allocated ! LoadData failed\n"), std::string::npos);
    EXPECT_NE(Log().find("libs/qvn_importer/qvn_cImporter.cpp"), std::string::npos);
}

// Each edit makes a file the loader must refuse, with the section's message.
struct Malformed {
    const char* what;
    void (*edit)(Scene&);
    const char* message;
};

const Malformed kMalformed[] = {
    {"unterminated title", [](Scene& s) { s.title = std::string(80, 'x'); }, "LoadHeader failed"},
    {"texture not 8 bits", [](Scene& s) { s.materials[0].tex[0].bpp = 16; }, "not 8 bits"},
    {"negative texture size", [](Scene& s) { s.materials[0].tex[0].width = -256; }, "Bad texture size"},
    {"parent after child", [](Scene& s) { s.objects[0].parent = 2; }, "LoadObjects failed"},
    {"parent is itself", [](Scene& s) { s.objects[1].parent = 1; }, "LoadObjects failed"},
    {"sample frequency 2", [](Scene& s) { s.objects[2].frequency = 2; }, "Sample frenquency != 1"},
    {"no track", [](Scene& s) { s.objects[2].tracks.clear(); }, "LoadObjects failed"},
    {"one-key moving track",
     [](Scene& s) { s.objects[2].tracks[0].isStatic = false; },
     "Bad key count"},
    {"zero-length activity cycle", [](Scene& s) { s.objects[0].ranges = {{0, 0, 1.0f}}; }, "Empty activity cycle"},
    {"unterminated object name", [](Scene& s) { s.objects[0].name = std::string(1100, 'n'); }, "LoadObjects failed"},
    {"camera eye out of range", [](Scene& s) { s.cameras[0].eye = 3; }, "LoadCameras failed"},
    {"camera target negative", [](Scene& s) { s.cameras[0].target = -1; }, "LoadCameras failed"},
    {"empty roll track", [](Scene& s) { s.cameras[0].rolls.clear(); }, "LoadCameras failed"},
    {"empty fov track", [](Scene& s) { s.cameras[0].fovs.clear(); }, "LoadCameras failed"},
    {"mesh object out of range", [](Scene& s) { s.meshes[0].object = 7; }, "LoadMeshes failed"},
    {"vertex index out of range", [](Scene& s) { s.meshes[0].faces[1].v[2] = 4; }, "Vertex index out of range"},
    {"texture-vertex index negative", [](Scene& s) { s.meshes[0].faces[0].t[0] = -1; }, "LoadMeshes failed"},
    {"material index out of range", [](Scene& s) { s.meshes[0].faces[0].material = 1; }, "Material index out of range"},
    {"mesh without vertices",
     [](Scene& s) {
         s.meshes[0].vertices.clear();
         s.meshes[0].faces.clear();
     },
     "LoadMeshes failed"},
    {"no camera", [](Scene& s) { s.cameras.clear(); }, nullptr},
};

TEST_F(Importer, MalformedFilesFailCleanly) {
    for (const Malformed& m : kMalformed) {
        SCOPED_TRACE(m.what);
        Scene sc = BasicScene();
        m.edit(sc);
        EXPECT_FALSE(Load(sc));
        if (m.message) {
            EXPECT_NE(Log().find(m.message), std::string::npos) << Log();
        }
    }
}

// Counts patched into the bytes: negative and absurd values.
TEST_F(Importer, AbsurdCountsFailBeforeAllocating) {
    const std::vector<uint8_t> good = BasicScene().Build();
    // Offsets of the counts in the basic scene's bytes: find the mesh count as
    // the int32 1 just before the mesh's object index 2 near the end.
    const size_t meshCount = good.size() - (4 + 4 + 4 + 4 + 48 + 4 + 32 + 4 + 2 * 28);
    ASSERT_EQ(good[meshCount], 1);
    for (int32_t bad : {-1, 0x7FFFFFFF, 0x10000000}) {
        for (size_t field : {meshCount, meshCount + 12 /* vertex count */, good.size() - 4 - 2 * 28 /* face count */}) {
            std::vector<uint8_t> b = good;
            std::memcpy(&b[field], &bad, 4);
            EXPECT_FALSE(Load(b)) << field << " " << bad;
        }
    }
}

TEST_F(Importer, EveryTruncationFails) {
    Scene sc = BasicScene(1 | 2);
    sc.materials[0].tex[0] = GradientTexture(4, 4);
    sc.materials[0].tex[1] = GradientTexture(4, 4);
    const std::vector<uint8_t> good = sc.Build();
    ASSERT_TRUE(Load(good));
    // Every proper prefix must be refused; the step of 7 keeps the loop short
    // while landing inside every record kind.
    for (size_t n = 0; n < good.size(); n += (n < 64 || good.size() - n < 400) ? 1 : 7) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(Load(cut)) << "prefix of " << n << " bytes";
    }
}

TEST_F(Importer, DamagedGzipStreamFails) {
    const std::string path = (dir_ / "damaged.qvn").string();
    ASSERT_TRUE(WriteFile(path, BasicScene().Build(), true));
    std::vector<char> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 200u);
    for (size_t cut : {bytes.size() / 2, bytes.size() - 5}) {
        for (bool flip : {false, true}) {
            std::vector<char> b(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            if (flip) b[cut / 2] ^= 0x55;
            std::ofstream(path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
            qvn_cScene scene;
            scene.m_pRenderer = &renderer_;
            qvn_cImporter importer;
            EXPECT_FALSE(importer.LoadData(path.c_str(), &scene)) << cut << flip;
        }
    }
}

TEST_F(Importer, StreamIsClosedAfterEveryLoad) {
    auto openFiles = [] {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator("/proc/self/fd")) (void)e, ++n;
        return n;
    };
    Scene bad = BasicScene();
    bad.cameras[0].eye = 9;
    Load(BasicScene(), true);
    const size_t before = openFiles();
    for (int i = 0; i < 20; ++i) {
        Load(BasicScene(), true);
        Load(bad, true);
        Load(bad.Build(), false);
    }
    EXPECT_EQ(openFiles(), before);
}

// A mesh of n vertices on a grid and n faces over them, for the face and
// vertex caps.
Mesh GridMesh(int32_t object, int32_t vertices, int32_t faces) {
    Mesh m;
    m.object = object;
    for (int32_t i = 0; i < vertices; ++i) {
        m.vertices.push_back(static_cast<float>(i % 181));
        m.vertices.push_back(static_cast<float>(i / 181));
        m.vertices.push_back(static_cast<float>((i * 7) % 13));
    }
    m.tvertices = {0, 0, 1, 0, 0, 1};
    for (int32_t f = 0; f < faces; ++f) {
        const int32_t a = f % (vertices - 2);
        m.faces.push_back(Face{{a, a + 1, a + 2}, {0, 1, 2}, 0});
    }
    return m;
}

// The header, no environment and `count` materials with empty names, no
// flags and type 0: nothing but zero bytes after the count.
std::vector<uint8_t> EmptyMaterials(int32_t count) {
    Bytes o;
    o.i32(static_cast<int32_t>(qvn_cImporter::kMagic));
    o.str("");
    o.i32(0);
    o.i32(0);
    o.i32(count);
    o.i32(0);
    o.b.resize(o.b.size() + 9 * static_cast<size_t>(count), 0);
    return o.b;
}

// Files built to make the loader work hard: each is refused (or read) early,
// in little memory. A 64 KB gzip file of 7.4 million empty materials once
// took the loader to 946 MB.
TEST_F(Importer, HostileFilesAreRefusedInLittleMemory) {
    const std::string zeros = (dir_ / "materials.qvn").string();
    ASSERT_TRUE(WriteFile(zeros, EmptyMaterials(7400000), true));
    ASSERT_LT(fs::file_size(zeros), 100000u);
    const std::string plain = (dir_ / "plain.qvn").string();
    ASSERT_TRUE(WriteFile(plain, EmptyMaterials(100000), false));
    for (const std::string& path : {zeros, plain}) {
        SCOPED_TRACE(path);
        const SPeak peak = PeakOf([&] {
            qvn_cScene scene;
            scene.m_pRenderer = &renderer_;
            qvn_cImporter importer;
            return importer.LoadData(path.c_str(), &scene) ? 1 : 0;
        });
        ASSERT_TRUE(peak.bRan);
        EXPECT_EQ(peak.nResult, 0);
        EXPECT_LT(peak.nGrowthKb, 16 * 1024 * kSanitizerSlack);
    }
    // The gzip file stops at its inflated-size limit, the plain one at the
    // material count.
    qvn_cScene scene;
    scene.m_pRenderer = &renderer_;
    qvn_cImporter importer;
    EXPECT_FALSE(importer.LoadData(zeros.c_str(), &scene));
    EXPECT_NE(Log().find("failed to read file : " + zeros), std::string::npos);
    EXPECT_FALSE(importer.LoadData(plain.c_str(), &scene));
    EXPECT_NE(Log().find("Bad material count"), std::string::npos);
    EXPECT_EQ(scene.m_nMaterialCount, 0);
}

TEST_F(Importer, InflatedSizeIsBoundedByTheFileSize) {
    EXPECT_EQ(qvn_cImporter::MaxInflatedBytes(0), qvn_cImporter::kInflateFloorBytes);
    EXPECT_EQ(qvn_cImporter::MaxInflatedBytes(100000), qvn_cImporter::kInflateFloorBytes + 800000);
    EXPECT_EQ(qvn_cImporter::MaxInflatedBytes(uint64_t(1) << 40), qvn_cImporter::kMaxFileBytes);
    // A 2048 x 2048 texture of one colour inflates some thousand times: far
    // past what a scene file does.
    Scene sc = BasicScene();
    sc.materials[0].tex[0].width = sc.materials[0].tex[0].height = 2048;
    sc.materials[0].tex[0].pixels.assign(2048 * 2048, 7);
    EXPECT_FALSE(Load(sc, true));
    EXPECT_TRUE(Load(sc, false));
}

TEST_F(Importer, CountsStopAtWhatASceneCanHold) {
    // At the caps the scene loads, and stays well within 64 MB.
    Scene full = BasicScene();
    full.meshes[0] = GridMesh(2, qvn_cImporter::kMaxVertices, qvn_cImporter::kMaxFaces);
    const std::string path = (dir_ / "full.qvn").string();
    ASSERT_TRUE(WriteFile(path, full.Build(), true));
    ASSERT_LT(fs::file_size(path), 1000000u);
    const SPeak peak = PeakOf([&] {
        qvn_cScene scene;
        scene.m_pRenderer = &renderer_;
        qvn_cImporter importer;
        return importer.LoadData(path.c_str(), &scene) ? scene.m_nTotalFaces : -1;
    });
    ASSERT_TRUE(peak.bRan);
    EXPECT_EQ(peak.nResult, qvn_cImporter::kMaxFaces);
    EXPECT_LT(peak.nGrowthKb, 64 * 1024 * kSanitizerSlack);

    // One more, in one mesh or over two, is refused.
    Scene faces = full;
    faces.meshes[0].faces.push_back(faces.meshes[0].faces[0]);
    EXPECT_FALSE(Load(faces, true));
    EXPECT_NE(Log().find("Bad face count"), std::string::npos);
    Scene vertices = BasicScene();
    vertices.meshes[0] = GridMesh(2, qvn_cImporter::kMaxVertices - 3, 1);
    EXPECT_TRUE(Load(vertices, true));
    vertices.meshes.push_back(Square(2, 1.0f, 0.0f, 0));
    EXPECT_FALSE(Load(vertices, true));
    EXPECT_NE(Log().find("Bad vertex count"), std::string::npos);
    Scene materials = BasicScene(0);
    materials.materials.resize(qvn_cImporter::kMaxMaterials);
    EXPECT_TRUE(Load(materials));
    EXPECT_EQ(scene_->m_nMaterialCount, qvn_cImporter::kMaxMaterials);
    materials.materials.resize(qvn_cImporter::kMaxMaterials + 1);
    EXPECT_FALSE(Load(materials));
}

}  // namespace
