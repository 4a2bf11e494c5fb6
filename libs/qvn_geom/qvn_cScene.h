// The scene: materials, objects, meshes, cameras, targets, fog and the draw
// list, and the per-frame rendering that feeds the renderer back to front.
#pragma once

#include <cstdint>

#include "qvn_Math.h"
#include "qvn_cMesh.h"
#include "qvn_cObject.h"

class qvn_cMaterial;
class qvn_cRenderer;

class qvn_cCamera {
public:
    qvn_cCamera() = default;
    virtual ~qvn_cCamera();

    // Field of view in radians over the geometric mean of the viewport; sets
    // the focal length in pixels.
    void SetFov(float fov);
    bool AllocRoll(int n);
    bool AllocFov(int n);
    // Rebuilds the view matrix from the eye and target objects' current frames.
    void Update();

    qvn_cObject* m_pEye = nullptr;
    qvn_cObject* m_pTarget = nullptr;
    int32_t m_nUnused0 = 0, m_nUnused1 = 0, m_nUnused2 = 0, m_nUnused3 = 0;
    float m_fLeft = 0.0f, m_fRight = 320.0f, m_fTop = 0.0f, m_fBottom = 240.0f;
    float m_fUnused = 0.0f;
    float m_fHalfWidth = 160.0f, m_fHalfHeight = 120.0f;
    float m_fFile0 = 0.0f, m_fFile1 = 0.0f;  // stored, not read by the software path
    float m_fNear = 1.0f, m_fFar = 1000.0f;
    float m_fFov = 0.0f;
    float m_fFocal = 0.0f;
    float m_fFile5 = 0.0f;
    qvn_cMatrix m_View;
    float* m_pRoll = nullptr;
    int32_t m_nRollCount = 0;
    float* m_pFovTrack = nullptr;
    int32_t m_nFovCount = 0;
};

class qvn_cFog {
public:
    virtual ~qvn_cFog() = default;
    uint8_t m_bEnabled = 0;
    float m_fDist0 = 65536.0f, m_fDist1 = 131072.0f;
    qvn_cColor m_Color;
};

class qvn_cFaceList {
public:
    virtual ~qvn_cFaceList();
    bool Reserve(int capacity);

    qvn_cFace** m_ppFaces = nullptr;
    int32_t m_nCapacity = 0;
    int32_t m_nCount = 0;

    // The sort's own copy of the list, each face beside its depth: the sort
    // compares neighbours in memory instead of reaching into every face.
    // 3 * m_nCapacity entries: the list, then two lists to sort through.
    struct SKeyed {
        float depth;
        qvn_cFace* face;
    };
    SKeyed* m_pKeyed = nullptr;
};

class qvn_cScene {
public:
    qvn_cScene();
    virtual ~qvn_cScene();

    // Growth: one more slot, a new element in it (null when that allocation
    // failed). When the array cannot grow the scene is unchanged and null is
    // returned.
    qvn_cObject* AddObject();
    qvn_cMesh* AddMesh();
    qvn_cCamera* AddCamera();
    qvn_cTarget* AddTarget();
    // Asks the renderer for the material; null without a renderer.
    qvn_cMaterial* AddMaterial();

    // Draw-list reservation, current camera, face numbering; false when the
    // list cannot be reserved or there is no camera.
    bool PrepareRendering();
    // The current camera, for the scene and every mesh.
    void SetCamera(qvn_cCamera* camera);
    // Draws frame m_nFrame through m_pRenderer, whose clipper is given the
    // camera the frame is seen through.
    void Render();

    // The stages of Render, exposed so tools and tests can look between them.
    qvn_cCamera* ChooseCamera() const;
    void UpdateAnimations();
    void UpdateCameraAndMeshes();
    void BuildDrawList();

    int32_t m_nMaterialCount = 0;
    qvn_cMaterial** m_pMaterials = nullptr;
    uint8_t m_bUnused = 0;
    int32_t m_nObjectCount = 0;
    qvn_cObject** m_pObjects = nullptr;
    int32_t m_nMeshCount = 0;
    qvn_cMesh** m_pMeshes = nullptr;
    int32_t m_nCameraCount = 0;
    qvn_cCamera** m_pCameras = nullptr;
    int32_t m_nTargetCount = 0;
    qvn_cTarget** m_pTargets = nullptr;
    int32_t m_nTotalFaces = 0;
    qvn_cRenderer* m_pRenderer = nullptr;
    // The camera of the frame drawn last (the last camera after loading).
    qvn_cCamera* m_pCamera = nullptr;
    qvn_cFog m_Fog;
    qvn_cFaceList m_DrawList;
    int32_t m_nFrame = 0;
};

// The program's renderer; every scene takes it when constructed.
extern qvn_cRenderer* g_pRenderer;
