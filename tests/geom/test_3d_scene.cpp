// Geometry, animation, camera choice and whole-mesh culling: what decides
// which faces reach the rasteriser, in which order, seen from where.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "qvn_TestScene.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"

namespace {

using namespace qvntest;
constexpr float kPi = 3.14159265f;

void ExpectMatrixNear(const qvn_cMatrix& a, const qvn_cMatrix& b) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], 1e-6f) << "element " << i;
}

TEST(Geometry, MatrixProductAppliesRightFactorFirst) {
    const qvn_cMatrix T = qvn_cMatrix::Translation(1, 2, 3);
    const qvn_cMatrix R = qvn_cMatrix::RotZ(kPi / 2);
    const qvn_cVector p(1, 0, 0);
    const qvn_cVector a = p.Transform(T * R);
    const qvn_cVector b = p.Transform(R).Transform(T);
    EXPECT_NEAR(a.x, b.x, 1e-6f);
    EXPECT_NEAR(a.y, b.y, 1e-6f);
    EXPECT_NEAR(a.z, b.z, 1e-6f);
    // RotZ(a) turns +X towards -Y: the camera's yaw relies on this sense.
    EXPECT_NEAR(p.Transform(R).y, -1.0f, 1e-6f);
}

TEST(Geometry, AxisAngleRotationMatchesTheAxisRotations) {
    for (float a : {0.3f, -1.2f, kPi / 2}) {
        ExpectMatrixNear(qvn_cRotation(a, 0, 0, 1).Matrix(), qvn_cMatrix::RotZ(a));
        ExpectMatrixNear(qvn_cRotation(a, 1, 0, 0).Matrix(), qvn_cMatrix::RotX(a));
        ExpectMatrixNear(qvn_cRotation(a, 0, 1, 0).Matrix(), qvn_cMatrix::RotY(a));
    }
    // The axis is used as stored: doubling it is not the same rotation.
    const qvn_cMatrix twice = qvn_cRotation(kPi / 2, 0, 0, 2).Matrix();
    EXPECT_GT(std::fabs(twice.m[0] - qvn_cMatrix::RotZ(kPi / 2).m[0]), 0.5f);
}

TEST(Geometry, ActivityRepeatsWithTheLastEndFrame) {
    qvn_cActivity act;
    EXPECT_FALSE(act.IsActive(0));  // empty list
    ASSERT_TRUE(act.Alloc(1));
    act.m_pRanges[0] = {0, 100, 1.0f};
    for (int f : {0, 99, 100, 199, 250}) EXPECT_TRUE(act.IsActive(f)) << f;
    act.m_pRanges[0].value = 0.0f;
    EXPECT_FALSE(act.IsActive(5));
    act.m_pRanges[0].value = -1.0f;
    EXPECT_FALSE(act.IsActive(5));
    ASSERT_TRUE(act.Alloc(2));
    act.m_pRanges[0] = {10, 20, 1.0f};
    act.m_pRanges[1] = {30, 40, 1.0f};
    EXPECT_FALSE(act.IsActive(5));
    EXPECT_TRUE(act.IsActive(15));
    EXPECT_FALSE(act.IsActive(25));
    EXPECT_TRUE(act.IsActive(55));  // 55 mod 40
    act.m_pRanges[1].end = 0;        // no period: never active, never a division by zero
    EXPECT_FALSE(act.IsActive(15));
}

// Scenes built through the file format, so the tests see what a real load gives.
class SceneTest : public ::testing::Test {
protected:
    std::unique_ptr<qvn_cScene> Load(const Scene& s) {
        auto scene = std::make_unique<qvn_cScene>();
        scene->m_pRenderer = &renderer_;
        const std::vector<uint8_t> bytes = s.Build();
        qvn_cImporter importer;
        EXPECT_TRUE(importer.LoadBuffer(bytes.data(), bytes.size(), scene.get()));
        return scene;
    }
    qvn_cSoftRenderer renderer_;
};

TEST_F(SceneTest, CameraFollowsActivityAndFallsBackToCameraZero) {
    Scene s = BasicScene();
    s.objects.push_back(StaticObject("eye2", 0, -20, 0));
    s.objects[0].ranges = {{0, 100, 1.0f}, {100, 200, 0.0f}};
    s.objects[3].ranges = {{0, 100, 0.0f}, {100, 200, 1.0f}};
    Camera second;
    second.eye = 3;
    s.cameras.push_back(second);
    auto scene = Load(s);
    qvn_cCamera** cams = scene->m_pCameras;
    const int frames[] = {0, 99, 100, 199, 200};
    qvn_cCamera* expected[] = {cams[0], cams[0], cams[1], cams[1], cams[0]};
    for (int i = 0; i < 5; ++i) {
        scene->m_nFrame = frames[i];
        EXPECT_EQ(scene->ChooseCamera(), expected[i]) << frames[i];
    }
    // Nobody active: camera 0, although the last camera was current after load.
    s.objects[0].ranges = {{0, 100, 0.0f}};
    s.objects[3].ranges = {{0, 100, 0.0f}};
    auto idle = Load(s);
    EXPECT_EQ(idle->m_pCamera, idle->m_pCameras[1]);
    idle->m_nFrame = 10;
    idle->Render();
    EXPECT_EQ(idle->m_pCamera, idle->m_pCameras[0]);
    // The clipper projects cut corners through the camera the frame used.
    EXPECT_EQ(renderer_.Camera(), idle->m_pCameras[0]);
}

// Two scenes on one renderer: each frame is clipped through its own scene's
// camera, whatever was loaded or drawn before, and a scene going away takes
// its camera out of the renderer so no later clip reads freed memory.
TEST_F(SceneTest, EachSceneHandsItsOwnCameraToTheRenderer) {
    auto first = Load(BasicScene());
    auto second = Load(BasicScene());
    first->Render();
    EXPECT_EQ(renderer_.Camera(), first->m_pCameras[0]);
    EXPECT_EQ(second->m_pCamera, second->m_pCameras[0]);
    second->Render();
    EXPECT_EQ(renderer_.Camera(), second->m_pCameras[0]);
    first.reset();
    EXPECT_EQ(renderer_.Camera(), second->m_pCameras[0]);
    second.reset();
    EXPECT_EQ(renderer_.Camera(), nullptr);
}

TEST_F(SceneTest, TenKeyTrackCyclesOverTheFirstNine) {
    Scene s = BasicScene();
    Track t;
    t.isStatic = false;
    t.keys.assign(10, Key());
    s.objects[2].tracks = {t};
    auto scene = Load(s);
    qvn_cAnim* anim = scene->m_pObjects[2]->m_pCurrentAnim;
    qvn_cAnim* still = scene->m_pObjects[1]->m_pCurrentAnim;
    const int frames[] = {0, 9, 10, 17, 18, 1000};
    const int keys[] = {0, 9, 1, 8, 0, 1000 % 9};
    for (int i = 0; i < 6; ++i) {
        scene->m_nFrame = frames[i];
        scene->UpdateAnimations();
        EXPECT_EQ(anim->m_nCurrentFrame, keys[i]) << frames[i];
        EXPECT_EQ(still->m_nCurrentFrame, 0);
    }
}

TEST_F(SceneTest, ViewMatrixPutsTheTargetOnTheViewAxis) {
    Scene s = BasicScene();
    s.objects[0] = StaticObject("eye", 7, -12, 5);
    // Target three levels deep: only its own and its parent's positions count.
    s.objects[1] = StaticObject("target", 1, 2, 3);
    s.objects[1].parent = -1;
    Object p1 = StaticObject("p1", 10, 0, 0), p2 = StaticObject("p2", 0, 4, 0), p3 = StaticObject("p3", 0, 0, 1);
    p2.parent = 3;
    p3.parent = 4;
    s.objects.push_back(p1);
    s.objects.push_back(p2);
    s.objects.push_back(p3);
    s.cameras[0].target = 5;
    auto scene = Load(s);
    qvn_cCamera* cam = scene->m_pCameras[0];
    scene->UpdateAnimations();
    cam->Update();
    // p3 at (0,0,1) plus its parent p2 at (0,4,0); p1 is ignored.
    const qvn_cVector t = qvn_cVector(0, 4, 1).Transform(cam->m_View);
    EXPECT_NEAR(t.x, 0.0f, 1e-4f);
    EXPECT_NEAR(t.z, 0.0f, 1e-4f);
    const float dist = (qvn_cVector(0, 4, 1) - qvn_cVector(7, -12, 5)).Length();
    EXPECT_NEAR(t.y, dist, 1e-3f);
    // And the eye itself is at the origin of camera space.
    const qvn_cVector e = qvn_cVector(7, -12, 5).Transform(cam->m_View);
    EXPECT_NEAR(e.Length(), 0.0f, 1e-4f);
}

TEST_F(SceneTest, RollTurnsTheViewAboutItsAxis) {
    Scene s = BasicScene();
    s.cameras[0].rolls = {kPi / 2};
    auto scene = Load(s);
    scene->UpdateAnimations();
    qvn_cCamera* cam = scene->m_pCameras[0];
    cam->Update();
    // A point above the target (+Z) ends up to one side after a quarter roll.
    const qvn_cVector up = qvn_cVector(0, 0, 1).Transform(cam->m_View);
    EXPECT_NEAR(std::fabs(up.x), 1.0f, 1e-5f);
    EXPECT_NEAR(up.z, 0.0f, 1e-5f);
}

struct CullCase {
    const char* what;
    float x, y, z;  // where the square's object stands
    bool visible;
};

TEST_F(SceneTest, WholeMeshCulling) {
    const CullCase cases[] = {
        {"in front", 0, 0, 0, true},
        {"behind the near plane", 0, -30, 0, false},
        {"beyond the far distance", 0, 2000, 0, false},
        {"past the right edge", 100, 0, 0, false},
        {"past the left edge", -100, 0, 0, false},
        {"above the top", 0, 0, 100, false},
        {"below the bottom", 0, 0, -100, false},
        {"straddling the near plane", 0, -10, 0, true},
    };
    for (const CullCase& c : cases) {
        SCOPED_TRACE(c.what);
        Scene s = BasicScene();
        s.objects[2] = StaticObject("square", c.x, c.y, c.z);
        s.meshes[0] = Square(2, 5.0f, 0.0f, 0);
        // A box with depth, so straddling really straddles.
        s.meshes[0].vertices.insert(s.meshes[0].vertices.end(), {0.0f, 3.0f, 0.0f});
        auto scene = Load(s);
        scene->m_nFrame = 0;
        scene->UpdateAnimations();
        scene->UpdateCameraAndMeshes();
        scene->BuildDrawList();
        EXPECT_EQ(scene->m_pMeshes[0]->m_bVisible != 0, c.visible);
        EXPECT_EQ(scene->m_DrawList.m_nCount, c.visible ? 2 : 0);
    }
}

TEST_F(SceneTest, FlagsTellTheClipperWhichPlanesMatter) {
    Scene s = BasicScene();
    s.objects[2] = StaticObject("square", 12, 0, 0);  // crosses the right edge only
    auto scene = Load(s);
    scene->UpdateAnimations();
    scene->UpdateCameraAndMeshes();
    const qvn_cMesh& m = *scene->m_pMeshes[0];
    EXPECT_TRUE(m.m_bVisible);
    EXPECT_TRUE(m.m_bClip[QVN_CLIP_RIGHT]);
    EXPECT_FALSE(m.m_bClip[QVN_CLIP_LEFT]);
    EXPECT_FALSE(m.m_bClip[QVN_CLIP_NEAR]);
    EXPECT_FALSE(m.m_bClip[QVN_CLIP_TOP]);
}

TEST_F(SceneTest, DrawListRunsBackToFront) {
    Scene s = BasicScene();
    s.objects.push_back(StaticObject("far", 0, 20, 0));
    s.objects.push_back(StaticObject("near", 0, -5, 0));
    s.meshes.push_back(Square(3, 5.0f, 0.0f, 0));
    s.meshes.push_back(Square(4, 1.0f, 0.0f, 0));
    auto scene = Load(s);
    scene->UpdateAnimations();
    scene->UpdateCameraAndMeshes();
    scene->BuildDrawList();
    ASSERT_EQ(scene->m_DrawList.m_nCount, 6);
    for (int i = 1; i < 6; ++i)
        EXPECT_GE(scene->m_DrawList.m_ppFaces[i - 1]->m_fDepth, scene->m_DrawList.m_ppFaces[i]->m_fDepth);
    EXPECT_EQ(scene->m_DrawList.m_ppFaces[0]->m_pMesh, scene->m_pMeshes[1]);
    EXPECT_EQ(scene->m_DrawList.m_ppFaces[5]->m_pMesh, scene->m_pMeshes[2]);
    EXPECT_NEAR(scene->m_DrawList.m_ppFaces[0]->GetDepth(), 3 * 30.0f, 1e-3f);
}

// The draw order is the comparison sort's, tie order included, whatever the
// depths: distinct, negative (behind the camera), repeated, +0 beside -0, NaN.
TEST_F(SceneTest, DrawListOrderIsTheComparisonSortsOrder) {
    qvn_cScene scene;
    qvn_cMesh* mesh = scene.AddMesh();
    ASSERT_NE(mesh, nullptr);
    const int kFaces = 700;
    ASSERT_TRUE(mesh->AllocVertex(kFaces));
    ASSERT_TRUE(mesh->AllocFace(kFaces));
    mesh->m_bVisible = 1;
    for (int f = 0; f < kFaces; ++f) {
        qvn_cFace& face = mesh->m_pFaces[f];
        face.m_nVertexCount = 1;
        face.m_pVertex[0] = &mesh->m_pVertices[f];
        face.m_pMesh = mesh;
    }
    ASSERT_TRUE(scene.m_DrawList.Reserve(kFaces));
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    struct Trial {
        const char* what;
        int distinctValues;  // 0: any float within +-1000
        bool zeros, nan;
    };
    const Trial trials[] = {
        {"distinct", 0, false, false},
        {"a few repeated", 300, false, false},
        {"many repeated", 5, false, false},
        {"+0 and -0", 0, true, false},
        {"NaN", 0, false, true},
    };
    for (const Trial& t : trials) {
        SCOPED_TRACE(t.what);
        for (int f = 0; f < kFaces; ++f) {
            float y = t.distinctValues ? static_cast<float>(next() % t.distinctValues) - 2.0f
                                       : (static_cast<float>(next() % 2000000) - 1000000.0f) / 997.0f;
            if (t.zeros && f % 50 == 0) y = f % 100 ? 0.0f : -0.0f;
            if (t.nan && f % 90 == 0) y = std::nanf("");
            mesh->m_pVertices[f].m_CamPos.y = y;
        }
        scene.BuildDrawList();
        ASSERT_EQ(scene.m_DrawList.m_nCount, kFaces);
        std::vector<qvn_cFaceList::SKeyed> expected;
        for (int f = 0; f < kFaces; ++f) {
            const float y = mesh->m_pVertices[f].m_CamPos.y;
            expected.push_back({y == y ? y : -INFINITY, &mesh->m_pFaces[f]});
        }
        std::sort(expected.begin(), expected.end(),
                  [](const qvn_cFaceList::SKeyed& a, const qvn_cFaceList::SKeyed& b) { return a.depth > b.depth; });
        int wrong = 0;
        for (int i = 0; i < kFaces; ++i) wrong += scene.m_DrawList.m_ppFaces[i] != expected[i].face;
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(SceneTest, FogAndEnvironmentValues) {
    Scene s = BasicScene(1 | 2);
    s.fog = true;
    s.cameras[0].nearDistance = 5.0f;
    s.cameras[0].farDistance = 15.0f;
    auto scene = Load(s);
    ASSERT_TRUE(scene->m_pMeshes[0]->m_bEnvMapped);
    scene->UpdateAnimations();
    scene->UpdateCameraAndMeshes();
    const qvn_cMesh& m = *scene->m_pMeshes[0];
    // Depth 10 between near 5 and far 15.
    EXPECT_NEAR(m.m_pVertices[0].m_Shade.fog, 0.5f, 1e-5f);
    // Normals 0.5 long towards the camera: environment u, v in the middle.
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(m.m_pFaces[0].m_Corner[k].eu, 0.5f, 1e-5f);
        EXPECT_NEAR(m.m_pFaces[0].m_Corner[k].ev, 0.5f, 1e-5f);
    }
}

TEST_F(SceneTest, ParentMeshChainsTheWorldMatrix) {
    Scene s = BasicScene();
    s.objects[2] = StaticObject("square", 3, 0, 0);
    Object child = StaticObject("child", 0, 0, 2);
    child.parent = 2;
    child.scale[1] = 2.0f;
    s.objects.push_back(child);
    s.meshes.push_back(Square(3, 1.0f, 0.0f, 0));
    auto scene = Load(s);
    scene->UpdateAnimations();
    scene->UpdateCameraAndMeshes();
    const qvn_cMatrix& w = scene->m_pMeshes[1]->m_World;
    EXPECT_FLOAT_EQ(w.m[3], 3.0f);
    EXPECT_FLOAT_EQ(w.m[11], 2.0f);
    EXPECT_FLOAT_EQ(w.m[0], 2.0f);  // the child's x scale, on the diagonal only
}

}  // namespace
