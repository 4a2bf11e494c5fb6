// Per-frame rendering of a scene: animation, camera, transforms, whole-mesh
// culling, projection and the back-to-front draw list.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "qvn_ErrorLog.h"
#include "qvn_cMaterial.h"
#include "qvn_cRenderer.h"
#include "qvn_cScene.h"

namespace {

// The frame an animation is showing; every object has a current animation
// with its keys set once the importer accepted the file.
const qvn_cAnimFrame* CurrentFrame(const qvn_cObject* object) {
    if (!object || !object->m_pCurrentAnim) return nullptr;
    const qvn_cAnim* anim = object->m_pCurrentAnim;
    if (!anim->m_pFrames || anim->m_nCurrentFrame < 0 || anim->m_nCurrentFrame > anim->m_nFrameCount) return nullptr;
    return &anim->m_pFrames[anim->m_nCurrentFrame];
}

qvn_cVector FramePos(const qvn_cObject* object) {
    const qvn_cAnimFrame* f = CurrentFrame(object);
    return f && f->m_pPos ? *f->m_pPos : qvn_cVector();
}

qvn_cRotation FrameRot(const qvn_cObject* object) {
    const qvn_cAnimFrame* f = CurrentFrame(object);
    return f && f->m_pRot ? *f->m_pRot : qvn_cRotation();
}

// index reduced modulo count when it is not below it (and never negative).
inline int TrackIndex(int index, int count) {
    if (index < 0) index = 0;
    return index < count ? index : index % count;
}

}  // namespace

bool qvn_cScene::PrepareRendering() {
    if (!m_DrawList.Reserve(m_nTotalFaces)) {
        QVN_LOG_LOCATION();
        return false;
    }
    if (m_nCameraCount <= 0 || !m_pCameras[m_nCameraCount - 1]) return false;
    SetCamera(m_pCameras[m_nCameraCount - 1]);
    int sequence = 0;
    for (int m = 0; m < m_nMeshCount; ++m) {
        qvn_cMesh* mesh = m_pMeshes[m];
        for (int f = 0; f < mesh->m_nFaceCount; ++f) mesh->m_pFaces[f].m_nSequence = static_cast<int16_t>(sequence++);
    }
    return true;
}

void qvn_cScene::SetCamera(qvn_cCamera* camera) {
    m_pCamera = camera;
    for (int m = 0; m < m_nMeshCount; ++m) {
        if (m_pMeshes[m]) m_pMeshes[m]->m_pCamera = camera;
    }
}

qvn_cCamera* qvn_cScene::ChooseCamera() const {
    if (m_nCameraCount <= 0) return nullptr;
    qvn_cCamera* choice = m_pCameras[0];
    for (int c = 0; c < m_nCameraCount; ++c) {
        const qvn_cCamera* cam = m_pCameras[c];
        if (cam && cam->m_pEye && cam->m_pEye->m_Activity.IsActive(m_nFrame)) choice = m_pCameras[c];
    }
    return choice;
}

void qvn_cScene::UpdateAnimations() {
    const int frame = m_nFrame < 0 ? 0 : m_nFrame;
    for (int o = 0; o < m_nObjectCount; ++o) {
        qvn_cAnim* anim = m_pObjects[o] ? m_pObjects[o]->m_pCurrentAnim : nullptr;
        if (!anim) continue;
        if (anim->m_bStatic || anim->m_nFrameCount < 2) {
            anim->m_nCurrentFrame = 0;
            continue;
        }
        // Keys 0 .. n-1 play once, then keys 0 .. n-2 cycle.
        const int n = anim->m_nFrameCount;
        anim->m_nCurrentFrame = frame >= n ? frame % (n - 1) : frame;
    }
}

void qvn_cCamera::Update() {
    qvn_cVector t = FramePos(m_pTarget);
    if (m_pTarget && m_pTarget->m_pParent) t += FramePos(m_pTarget->m_pParent);
    const qvn_cVector c = FramePos(m_pEye);
    const qvn_cVector d = t - c;
    const float len = d.Length();
    const float yaw = -std::atan2(d.x, d.y);
    const float pitch = std::asin(d.z / len);
    float roll = 0.0f;
    if (m_nRollCount > 0 && m_pRoll) {
        const qvn_cAnim* anim = m_pEye ? m_pEye->m_pCurrentAnim : nullptr;
        roll = -m_pRoll[TrackIndex(anim ? anim->m_nCurrentFrame : 0, m_nRollCount)];
    }
    m_View = qvn_cMatrix::RotY(roll) * qvn_cMatrix::RotX(pitch) * qvn_cMatrix::RotZ(yaw) *
             qvn_cMatrix::Translation(-c.x, -c.y, -c.z);
}

void qvn_cMesh::Update() {
    const qvn_cCamera* cam = m_pCamera;
    if (!cam) {
        m_bVisible = 0;
        return;
    }
    // 1. World matrix, scaled on the diagonal only, chained to the parent mesh.
    m_Position = FramePos(m_pObject);
    const qvn_cRotation rot = FrameRot(m_pObject);
    m_World = qvn_cMatrix::Translation(m_Position.x, m_Position.y, m_Position.z) * rot.Matrix();
    if (m_pObject) {
        m_World.m[0] *= m_pObject->m_Scale.ax;
        m_World.m[5] *= m_pObject->m_Scale.ay;
        m_World.m[10] *= m_pObject->m_Scale.az;
    }
    if (m_pParentMesh) m_World = m_pParentMesh->m_World * m_World;
    m_ModelView = cam->m_View * m_World;

    // 2. Box corners in camera space and on screen.
    const float hw = cam->m_fHalfWidth, hh = cam->m_fHalfHeight, focal = cam->m_fFocal;
    for (qvn_cVertex& corner : m_Box.m_Corner) {
        corner.m_CamPos = corner.m_Pos.Transform(m_ModelView);
        corner.m_Screen.x = hw + focal * corner.m_CamPos.x / corner.m_CamPos.y;
        corner.m_Screen.y = hh - focal * corner.m_CamPos.z / corner.m_CamPos.y;
    }

    // 3. Whole-mesh culling. A flag left clear tells the clipper that no face
    // of this mesh crosses that plane.
    for (uint8_t& f : m_bClip) f = 0;
    m_bVisible = 1;
    int nearCount = 0, farCount = 0;
    for (const qvn_cVertex& corner : m_Box.m_Corner) {
        if (corner.m_CamPos.y < m_fNear) {
            ++nearCount;
            m_bClip[QVN_CLIP_NEAR] = m_bClip[QVN_CLIP_TOP] = m_bClip[QVN_CLIP_BOTTOM] = m_bClip[QVN_CLIP_LEFT] =
                m_bClip[QVN_CLIP_RIGHT] = 1;
        }
    }
    if (nearCount == 8) {
        m_bVisible = 0;
        return;
    }
    for (const qvn_cVertex& corner : m_Box.m_Corner) {
        if (corner.m_CamPos.y > cam->m_fFar) {
            ++farCount;
            m_bClip[QVN_CLIP_FAR] = 1;
        }
    }
    if (farCount == 8) {
        m_bVisible = 0;
        return;
    }
    if (nearCount == 0) {
        const int planes[4] = {QVN_CLIP_TOP, QVN_CLIP_BOTTOM, QVN_CLIP_LEFT, QVN_CLIP_RIGHT};
        for (int p : planes) {
            int outside = 0;
            for (const qvn_cVertex& corner : m_Box.m_Corner) {
                const qvn_cScreenPoint& s = corner.m_Screen;
                bool out = false;
                switch (p) {
                    case QVN_CLIP_TOP: out = s.y < cam->m_fTop; break;
                    case QVN_CLIP_BOTTOM: out = s.y >= cam->m_fBottom; break;
                    case QVN_CLIP_LEFT: out = s.x < cam->m_fLeft; break;
                    default: out = s.x >= cam->m_fRight; break;
                }
                outside += out;
            }
            if (outside) m_bClip[p] = 1;
            if (outside == 8) {
                m_bVisible = 0;
                return;
            }
        }
    }

    // 4. Camera-space vertices, normals for environment mapping, fog.
    for (int i = 0; i < m_nVertexCount; ++i) m_pVertices[i].m_CamPos = m_pVertices[i].m_Pos.Transform(m_ModelView);
    if (m_bEnvMapped) {
        qvn_cMatrix N = cam->m_View * rot.Matrix();
        N.m[3] = N.m[7] = N.m[11] = 0.0f;
        for (int i = 0; i < m_nVertexCount; ++i) m_pVertices[i].m_CamNormal = m_pVertices[i].m_Normal.Transform(N);
    }
    if (m_pScene && m_pScene->m_Fog.m_bEnabled) {
        const float n = cam->m_fNear, f = cam->m_fFar;
        for (int i = 0; i < m_nVertexCount; ++i) {
            const float y = m_pVertices[i].m_CamPos.y;
            float fog = 0.0f;
            if (y > n) {
                fog = (y - n) / (f - n);
                if (!(fog < 0.99f)) fog = 0.99f;
            }
            m_pVertices[i].m_Shade.fog = fog;
        }
    }
}

void qvn_cScene::UpdateCameraAndMeshes() {
    qvn_cCamera* cam = m_pCamera;
    if (!cam) return;
    cam->Update();
    if (cam->m_nFovCount > 0 && cam->m_pFovTrack) cam->SetFov(cam->m_pFovTrack[TrackIndex(m_nFrame, cam->m_nFovCount)]);
    for (int m = 0; m < m_nMeshCount; ++m) m_pMeshes[m]->Update();

    const float hw = cam->m_fHalfWidth, hh = cam->m_fHalfHeight, focal = cam->m_fFocal;
    for (int m = 0; m < m_nMeshCount; ++m) {
        qvn_cMesh* mesh = m_pMeshes[m];
        if (!mesh->m_bVisible) continue;
        for (int i = 0; i < mesh->m_nVertexCount; ++i) {
            qvn_cVertex& v = mesh->m_pVertices[i];
            // Vertices nearer than the near distance keep their old screen
            // point; the clipper cuts the faces that use them.
            if (v.m_CamPos.y >= mesh->m_fNear) {
                v.m_Screen.x = hw + focal * v.m_CamPos.x / v.m_CamPos.y;
                v.m_Screen.y = hh - focal * v.m_CamPos.z / v.m_CamPos.y;
            }
        }
        if (mesh->m_bEnvMapped) {
            for (int f = 0; f < mesh->m_nFaceCount; ++f) {
                qvn_cFace& face = mesh->m_pFaces[f];
                for (int k = 0; k < face.m_nVertexCount; ++k) {
                    const qvn_cVector& n = face.m_pVertex[k]->m_CamNormal;
                    face.m_Corner[k].eu = n.x + 0.5f;
                    face.m_Corner[k].ev = n.z + 0.5f;
                }
            }
        }
    }
}

namespace {

// The depth's bits as an unsigned key that orders far before near: positive
// floats order as their bits, negative ones reversed.
inline uint32_t FarFirstKey(float depth) {
    uint32_t bits;
    std::memcpy(&bits, &depth, sizeof bits);
    const uint32_t nearFirst = bits ^ ((bits >> 31) ? 0xFFFFFFFFu : 0x80000000u);
    return ~nearFirst;
}

// Sorts the n faces of in back to front by a radix sort through the work
// lists a and b, and returns the sorted list, or null when two faces have
// equal depths: the order a comparison sort gives those is its own, so the
// caller sorts in again (which is left as it was). Without ties there is one
// order, so the result is the comparison sort's to the last face.
const qvn_cFaceList::SKeyed* SortDistinct(const qvn_cFaceList::SKeyed* in, qvn_cFaceList::SKeyed* a,
                                          qvn_cFaceList::SKeyed* b, int n) {
    if (n < 2) return in;
    uint32_t counts[4][256] = {};
    for (int i = 0; i < n; ++i) {
        const uint32_t k = FarFirstKey(in[i].depth);
        ++counts[0][k & 0xFF];
        ++counts[1][(k >> 8) & 0xFF];
        ++counts[2][(k >> 16) & 0xFF];
        ++counts[3][k >> 24];
    }
    const qvn_cFaceList::SKeyed* src = in;
    for (int pass = 0; pass < 4; ++pass) {
        uint32_t* count = counts[pass];
        const int shift = 8 * pass;
        // A byte all faces share moves nothing.
        if (count[(FarFirstKey(in[0].depth) >> shift) & 0xFF] == static_cast<uint32_t>(n)) continue;
        uint32_t start = 0;
        for (int d = 0; d < 256; ++d) {
            const uint32_t c = count[d];
            count[d] = start;
            start += c;
        }
        qvn_cFaceList::SKeyed* dst = src == a ? b : a;
        for (int i = 0; i < n; ++i) dst[count[(FarFirstKey(src[i].depth) >> shift) & 0xFF]++] = src[i];
        src = dst;
    }
    // Strictly far to near, or null: equal depths (and +0 beside -0, which
    // the comparison also takes as equal) end here, and so would any order
    // the keys got wrong.
    for (int i = 1; i < n; ++i) {
        if (!(src[i - 1].depth > src[i].depth)) return nullptr;
    }
    return src;
}

}  // namespace

void qvn_cScene::BuildDrawList() {
    qvn_cFaceList& list = m_DrawList;
    qvn_cFaceList::SKeyed* keyed = list.m_pKeyed;
    list.m_nCount = 0;
    for (int m = 0; m < m_nMeshCount; ++m) {
        qvn_cMesh* mesh = m_pMeshes[m];
        if (!mesh->m_bVisible) continue;
        for (int f = 0; f < mesh->m_nFaceCount; ++f) {
            qvn_cFace& face = mesh->m_pFaces[f];
            float depth = 0.0f;
            for (int k = 0; k < face.m_nVertexCount; ++k) depth += face.m_pVertex[k]->m_CamPos.y;
            // NaN would break the sort's ordering (and with it the sort);
            // such faces go last.
            face.m_fDepth = depth == depth ? depth : -std::numeric_limits<float>::infinity();
            if (list.m_nCount < list.m_nCapacity) keyed[list.m_nCount++] = {face.m_fDepth, &face};
        }
    }
    const qvn_cFaceList::SKeyed* sorted =
        SortDistinct(keyed, keyed + list.m_nCapacity, keyed + 2 * list.m_nCapacity, list.m_nCount);
    if (!sorted) {
        // Back to front. The same comparisons in the same order as sorting
        // the faces themselves, so faces of equal depth keep the order they
        // have always been drawn in.
        std::sort(keyed, keyed + list.m_nCount,
                  [](const qvn_cFaceList::SKeyed& a, const qvn_cFaceList::SKeyed& b) { return a.depth > b.depth; });
        sorted = keyed;
    }
    for (int i = 0; i < list.m_nCount; ++i) list.m_ppFaces[i] = sorted[i].face;
}

void qvn_cScene::Render() {
    if (m_nCameraCount <= 0 || !m_pRenderer) return;
    qvn_cCamera* cam = ChooseCamera();
    if (!cam) return;
    SetCamera(cam);
    UpdateAnimations();
    UpdateCameraAndMeshes();
    BuildDrawList();
    m_pRenderer->SetCamera(cam);
    m_pRenderer->Begin();
    for (int i = 0; i < m_DrawList.m_nCount; ++i) {
        qvn_cFace* face = m_DrawList.m_ppFaces[i];
        if (face->m_pMaterial) face->m_pMaterial->Select();
        m_pRenderer->DrawFace(face);
    }
    m_pRenderer->End();
}
