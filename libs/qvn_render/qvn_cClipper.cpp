#include "qvn_cClipper.h"

#include "qvn_cMaterial.h"
#include "qvn_cScene.h"

namespace {

// Per-corner values of step 3: everything the fillers interpolate linearly in
// screen space is divided by depth.
inline void Divide(qvn_cVertex* v, qvn_cCorner& c) {
    const float iz = 1.0f / v->m_CamPos.y;
    c.iz = iz;
    c.uz = c.u * iz;
    c.vz = c.v * iz;
    c.euz = c.eu * iz;
    c.evz = c.ev * iz;
    v->m_Shade.fogOverZ = iz * v->m_Shade.fog;
}

inline float Lerp(float a, float b, float t) { return a + (b - a) * t; }

// Bit p set where flag p is not zero, without a branch per flag: the six
// bytes side by side in a word, each byte's high bit set where it is not
// zero, and one multiply gathering those bits into the top byte.
inline uint32_t PlaneBits(const uint8_t (&flags)[QVN_CLIP_COUNT]) {
    static_assert(QVN_CLIP_COUNT <= 8, "one byte of the word per flag");
    uint64_t x = 0;
    for (int p = 0; p < QVN_CLIP_COUNT; ++p) x |= static_cast<uint64_t>(flags[p]) << (8 * p);
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t high = (((x & low7) + low7) | x) & ~low7;
    return static_cast<uint32_t>(((high >> 7) * 0x0102040810204080ull) >> 56);
}

}  // namespace

qvn_cClipper::qvn_cClipper() : m_pIn(&m_Poly[0]), m_pOut(&m_Poly[1]) {
    for (int k = 0; k < 2; ++k) {
        m_Poly[k].m_nVertexCount = 0;
        for (int i = 0; i < qvn_cFace::kMaxVertices; ++i) m_Poly[k].m_pVertex[i] = &m_PolyVertex[k][i];
    }
}

void qvn_cClipper::SetClipSize(int width, int height) {
    m_fClipRight = static_cast<float>(width - 1);
    m_fClipBottom = static_cast<float>(height - 1);
}

qvn_cFace* qvn_cClipper::Clip(qvn_cFace* face) {
    if (!face) return nullptr;
    const qvn_cMesh* mesh = face->m_pMesh;
    if (!mesh || !mesh->m_bVisible) return nullptr;
    const int n = face->m_nVertexCount;
    if (n < 1 || n > qvn_cFace::kMaxVertices) return nullptr;
    // One bit per plane the mesh needs: each corner's outside bits, all of
    // them ANDed (a plane every corner is outside of: nothing to draw) and
    // ORed (the planes to cut).
    const uint32_t planes = PlaneBits(mesh->m_bClip);
    constexpr uint32_t kNear = 1u << QVN_CLIP_NEAR, kFar = 1u << QVN_CLIP_FAR;
    constexpr uint32_t kScreen =
        (1u << QVN_CLIP_TOP) | (1u << QVN_CLIP_BOTTOM) | (1u << QVN_CLIP_LEFT) | (1u << QVN_CLIP_RIGHT);
    uint32_t all = planes, any = 0;
    for (int i = 0; i < n; ++i) {
        const qvn_cVertex* v = face->m_pVertex[i];
        uint32_t out = 0;
        if (v->m_CamPos.y < m_fClipNear) out |= kNear;
        if (v->m_CamPos.y > m_fClipFar) out |= kFar;
        out &= planes;
        // A vertex behind the near plane still has last frame's screen
        // point; it must not vote on the screen edges, or a face reaching
        // into view could be dropped.
        if (!(out & kNear)) {
            const qvn_cScreenPoint& sp = v->m_Screen;
            if (sp.y < m_fClipTop) out |= 1u << QVN_CLIP_TOP;
            if (sp.y >= m_fClipBottom) out |= 1u << QVN_CLIP_BOTTOM;
            if (sp.x < m_fClipLeft) out |= 1u << QVN_CLIP_LEFT;
            if (sp.x >= m_fClipRight) out |= 1u << QVN_CLIP_RIGHT;
            out &= planes;
        }
        all &= out;
        any |= out;
    }
    if (all) return nullptr;
    // A corner behind the near plane is projected again once cut, and may
    // land beyond any screen edge.
    if (any & kNear) any |= kScreen;

    const bool depthClip = (any & (kNear | kFar)) != 0;
    const bool anyFlag = any != 0;
    if (!depthClip) {
        for (int i = 0; i < n; ++i) Divide(face->m_pVertex[i], face->m_Corner[i]);
        if (!anyFlag) return face;
    }

    m_pIn = &m_Poly[0];
    m_pOut = &m_Poly[1];
    m_pIn->m_nVertexCount = n;
    m_pIn->m_pMesh = face->m_pMesh;
    m_pIn->m_pMaterial = face->m_pMaterial;
    for (int i = 0; i < n; ++i) {
        qvn_cVertex* dst = m_pIn->m_pVertex[i];
        const qvn_cVertex* src = face->m_pVertex[i];
        dst->m_CamPos = src->m_CamPos;
        dst->m_Screen = src->m_Screen;
        dst->m_Shade = src->m_Shade;
        m_pIn->m_Corner[i] = face->m_Corner[i];
    }

    if (any & kNear) {
        ClipNear();
        Swap();
    }
    if (depthClip) {
        if (!m_pCamera) return nullptr;
        Project(m_pIn);
    }
    static const int kScreenPlanes[4] = {QVN_CLIP_TOP, QVN_CLIP_BOTTOM, QVN_CLIP_LEFT, QVN_CLIP_RIGHT};
    for (int p : kScreenPlanes) {
        if (!(any & (1u << p))) continue;
        ClipScreen(p);
        Swap();
        if (m_pIn->m_nVertexCount == 0) return nullptr;
    }
    return m_pIn->m_nVertexCount > 0 ? m_pIn : nullptr;
}

void qvn_cClipper::ClipNear() {
    const qvn_cFace* in = m_pIn;
    qvn_cFace* out = m_pOut;
    const int n = in->m_nVertexCount;
    const float bound = m_fClipNear;
    const int set = m_nAttribSet;
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1 == n) ? 0 : i + 1;
        const qvn_cVertex* a = in->m_pVertex[i];
        const qvn_cVertex* b = in->m_pVertex[j];
        const bool aIn = a->m_CamPos.y >= bound, bIn = b->m_CamPos.y >= bound;
        // Convex input gains at most one vertex per plane; the bound keeps a
        // numerically twisted polygon from writing past the work arrays.
        if (aIn && m < qvn_cFace::kMaxVertices) {
            out->m_pVertex[m]->m_CamPos = a->m_CamPos;
            out->m_pVertex[m]->m_Shade = a->m_Shade;
            out->m_Corner[m] = in->m_Corner[i];
            ++m;
        }
        if (aIn != bIn && m < qvn_cFace::kMaxVertices) {
            // The neighbour sharing this edge walks it the other way. Going
            // from the inside end whichever way the edge is walked gives both
            // faces the same corner to the last bit, so no pixel opens
            // between them.
            const qvn_cVertex* p = aIn ? a : b;
            const qvn_cVertex* q = aIn ? b : a;
            const qvn_cCorner& cp = in->m_Corner[aIn ? i : j];
            const qvn_cCorner& cq = in->m_Corner[aIn ? j : i];
            const float t = (bound - p->m_CamPos.y) / (q->m_CamPos.y - p->m_CamPos.y);
            qvn_cVertex* v = out->m_pVertex[m];
            qvn_cCorner& c = out->m_Corner[m];
            v->m_CamPos.x = Lerp(p->m_CamPos.x, q->m_CamPos.x, t);
            v->m_CamPos.y = bound;
            v->m_CamPos.z = Lerp(p->m_CamPos.z, q->m_CamPos.z, t);
            c = qvn_cCorner();
            v->m_Shade.fog = 0.0f;
            if (set & QVN_ATTR_TEXTURE) {
                c.u = Lerp(cp.u, cq.u, t);
                c.v = Lerp(cp.v, cq.v, t);
            }
            if (set & QVN_ATTR_ENV) {
                c.eu = Lerp(cp.eu, cq.eu, t);
                c.ev = Lerp(cp.ev, cq.ev, t);
            }
            if (set & QVN_ATTR_FOG) v->m_Shade.fog = Lerp(p->m_Shade.fog, q->m_Shade.fog, t);
            ++m;
        }
    }
    out->m_nVertexCount = m;
}

void qvn_cClipper::Project(qvn_cFace* poly) {
    const qvn_cCamera* cam = m_pCamera;
    for (int i = 0; i < poly->m_nVertexCount; ++i) {
        qvn_cVertex* v = poly->m_pVertex[i];
        const qvn_cVector& p = v->m_CamPos;
        v->m_Screen.x = cam->m_fHalfWidth + cam->m_fFocal * p.x / p.y;
        v->m_Screen.y = cam->m_fHalfHeight - cam->m_fFocal * p.z / p.y;
        Divide(v, poly->m_Corner[i]);
    }
}

void qvn_cClipper::ClipScreen(int plane) {
    const qvn_cFace* in = m_pIn;
    qvn_cFace* out = m_pOut;
    const int n = in->m_nVertexCount;
    const bool onY = plane == QVN_CLIP_TOP || plane == QVN_CLIP_BOTTOM;
    float bound = 0.0f;
    switch (plane) {
        case QVN_CLIP_TOP: bound = m_fClipTop; break;
        case QVN_CLIP_BOTTOM: bound = m_fClipBottom; break;
        case QVN_CLIP_LEFT: bound = m_fClipLeft; break;
        default: bound = m_fClipRight; break;
    }
    const bool lowBound = plane == QVN_CLIP_TOP || plane == QVN_CLIP_LEFT;
    auto inside = [&](const qvn_cVertex* v) {
        const float c = onY ? v->m_Screen.y : v->m_Screen.x;
        return lowBound ? c >= bound : c < bound;
    };
    const int set = m_nAttribSet;
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1 == n) ? 0 : i + 1;
        const qvn_cVertex* a = in->m_pVertex[i];
        const qvn_cVertex* b = in->m_pVertex[j];
        const bool aIn = inside(a), bIn = inside(b);
        if (aIn && m < qvn_cFace::kMaxVertices) {
            out->m_pVertex[m]->m_Screen = a->m_Screen;
            out->m_pVertex[m]->m_CamPos = a->m_CamPos;
            out->m_pVertex[m]->m_Shade = a->m_Shade;
            out->m_Corner[m] = in->m_Corner[i];
            ++m;
        }
        if (aIn != bIn && m < qvn_cFace::kMaxVertices) {
            const float ca0 = onY ? a->m_Screen.y : a->m_Screen.x;
            const float cb0 = onY ? b->m_Screen.y : b->m_Screen.x;
            const float t = (bound - ca0) / (cb0 - ca0);
            qvn_cVertex* v = out->m_pVertex[m];
            qvn_cCorner& c = out->m_Corner[m];
            const qvn_cCorner& ca = in->m_Corner[i];
            const qvn_cCorner& cb = in->m_Corner[j];
            if (onY) {
                v->m_Screen.x = Lerp(a->m_Screen.x, b->m_Screen.x, t);
                v->m_Screen.y = bound;
            } else {
                v->m_Screen.x = bound;
                v->m_Screen.y = Lerp(a->m_Screen.y, b->m_Screen.y, t);
            }
            c = qvn_cCorner();
            c.iz = Lerp(ca.iz, cb.iz, t);
            if (set & QVN_ATTR_TEXTURE) {
                c.uz = Lerp(ca.uz, cb.uz, t);
                c.vz = Lerp(ca.vz, cb.vz, t);
            }
            if (set & QVN_ATTR_ENV) {
                c.euz = Lerp(ca.euz, cb.euz, t);
                c.evz = Lerp(ca.evz, cb.evz, t);
            }
            v->m_Shade.fogOverZ = (set & QVN_ATTR_FOG) ? Lerp(a->m_Shade.fogOverZ, b->m_Shade.fogOverZ, t) : 0.0f;
            ++m;
        }
    }
    out->m_nVertexCount = m;
}
