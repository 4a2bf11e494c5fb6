// Meshes: vertices, texture vertices and triangular faces, plus the per-frame
// state the scene renderer leaves for the rasteriser (matrices, clip flags).
#pragma once

#include <cstdint>

#include "qvn_Math.h"

class qvn_cMaterial;
class qvn_cCamera;
class qvn_cObject;
class qvn_cScene;
class qvn_cMesh;

// Clip flag order, shared by meshes, faces and the clipper.
enum { QVN_CLIP_NEAR = 0, QVN_CLIP_FAR, QVN_CLIP_TOP, QVN_CLIP_BOTTOM, QVN_CLIP_LEFT, QVN_CLIP_RIGHT, QVN_CLIP_COUNT };

// One vertex with its local and per-frame values. The records live inside the
// vertex rather than behind seven small allocations: same data, no failure path.
class qvn_cVertex {
public:
    qvn_cVertex() {
        m_Shade.r = m_Shade.g = m_Shade.b = 255.0f;
    }
    virtual ~qvn_cVertex() = default;

    qvn_cVector m_Pos;        // local position (placed at load)
    qvn_cVector m_Normal;     // local normal, at most 0.5 long
    qvn_cVector m_CamPos;     // camera space, per frame
    qvn_cVector m_CamNormal;  // camera space, per frame (environment-mapped meshes)
    qvn_cColor m_Shade;       // fog and fog / depth per frame
    qvn_cColor m_Color2;
    qvn_cScreenPoint m_Screen;
};

// Per-corner texture values; the texture-vertex array uses only u and v.
class qvn_cCorner {
public:
    float u = 0.0f, v = 0.0f;
    float uz = 0.0f, vz = 0.0f, iz = 0.0f;  // u / z, v / z, 1 / z
    float eu = 0.0f, ev = 0.0f;             // environment coordinates
    float euz = 0.0f, evz = 0.0f;
};

class qvn_cPolygon {
public:
    virtual float GetDepth() const = 0;
    virtual ~qvn_cPolygon() = default;
};

// A face of a mesh (3 vertices), or one of the clipper's work polygons (up to 8).
class qvn_cFace : public qvn_cPolygon {
public:
    static constexpr int kMaxVertices = 8;

    explicit qvn_cFace(int vertexCount = 3);
    float GetDepth() const override { return m_fDepth; }
    ~qvn_cFace() override = default;

    // What every frame reads of every face comes first, so a triangle's
    // frame touches few cache lines: its own values and three corners.
    int32_t m_nVertexCount;
    float m_fDepth = 0.0f;
    qvn_cMaterial* m_pMaterial = nullptr;
    qvn_cMesh* m_pMesh = nullptr;
    int16_t m_nSequence = 0;
    qvn_cVertex* m_pVertex[kMaxVertices];
    qvn_cCorner m_Corner[kMaxVertices];
    qvn_cVector m_Normal;
};

// Corner i: x max when bit 0 is set, z min when bit 1 is set, y max when bit 2
// is set (the opposite extreme otherwise).
class qvn_cBoundingBox {
public:
    virtual ~qvn_cBoundingBox() = default;
    void Set(const qvn_cVector& mn, const qvn_cVector& mx);
    qvn_cVertex m_Corner[8];
};

class qvn_cMesh {
public:
    qvn_cMesh();
    virtual ~qvn_cMesh();

    // Each replaces its array by n new elements; false (and a log line) when
    // n is negative or the memory is not there.
    bool AllocVertex(int n);
    bool AllocTextureVertex(int n);
    bool AllocFace(int n);

    // Matrices, whole-mesh culling and camera-space vertices for this frame.
    void Update();

    int32_t m_nVertexCount = 0;
    qvn_cVertex* m_pVertices = nullptr;
    int32_t m_nTextureVertexCount = 0;
    qvn_cCorner* m_pTextureVertices = nullptr;
    int32_t m_nFaceCount = 0;
    qvn_cFace* m_pFaces = nullptr;
    int32_t m_nUnused0 = -1, m_nUnused1 = 0;
    qvn_cBoundingBox m_Box;
    uint8_t m_bClip[QVN_CLIP_COUNT] = {0, 0, 0, 0, 0, 0};
    uint8_t m_bVisible = 0;
    uint8_t m_bEnvMapped = 0;
    float m_fNear = 1.0f;
    qvn_cVector m_Position;
    qvn_cMatrix m_World;
    qvn_cMatrix m_ModelView;
    qvn_cCamera* m_pCamera = nullptr;
    qvn_cObject* m_pObject = nullptr;
    qvn_cObject* m_pParentObject = nullptr;
    qvn_cMesh* m_pParentMesh = nullptr;
    qvn_cScene* m_pScene = nullptr;
    int32_t m_nObjectIndex = 0;
};
