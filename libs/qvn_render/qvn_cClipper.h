// Polygon clipper shared by the renderers: cuts a face against the near plane
// (in camera space) and the four screen edges (in screen space), carrying only
// the per-corner values the current render mode needs.
#pragma once

#include <cstdint>

#include "qvn_cMesh.h"

class qvn_cCamera;

class qvn_cClipper {
public:
    qvn_cClipper();
    virtual ~qvn_cClipper() = default;

    // The face itself when it needs no cutting, a work polygon when it was
    // cut, null when nothing of it is on screen.
    qvn_cFace* Clip(qvn_cFace* face);
    // Right and bottom bounds from the target size (width - 1, height - 1).
    void SetClipSize(int width, int height);
    // The camera the faces were projected with: corners cut on the near plane
    // are projected again through it. The scene sets it for every frame it
    // draws; without one, faces crossing the near or far plane are dropped.
    void SetCamera(const qvn_cCamera* camera) { m_pCamera = camera; }
    const qvn_cCamera* Camera() const { return m_pCamera; }

    qvn_cFace m_Poly[2];
    qvn_cVertex m_PolyVertex[2][qvn_cFace::kMaxVertices];
    qvn_cFace* m_pIn;
    qvn_cFace* m_pOut;
    float m_fClipLeft = 0.0f, m_fClipTop = 0.0f, m_fClipRight = 319.0f, m_fClipBottom = 239.0f;
    float m_fClipNear = 1.0f, m_fClipFar = 1048576.0f;
    int32_t m_nAttribSet = 0x100;

private:
    const qvn_cCamera* m_pCamera = nullptr;

    void ClipNear();
    void ClipScreen(int plane);
    void Project(qvn_cFace* poly);
    void Swap() {
        qvn_cFace* t = m_pIn;
        m_pIn = m_pOut;
        m_pOut = t;
    }
};
