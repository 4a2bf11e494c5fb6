#include "qvn_cMesh.h"

#include <new>

#include "qvn_ErrorLog.h"

qvn_cFace::qvn_cFace(int vertexCount) : m_nVertexCount(vertexCount) {
    for (auto& p : m_pVertex) p = nullptr;
}

void qvn_cBoundingBox::Set(const qvn_cVector& mn, const qvn_cVector& mx) {
    for (int i = 0; i < 8; ++i) {
        qvn_cVector& p = m_Corner[i].m_Pos;
        p.x = (i & 1) ? mx.x : mn.x;
        p.z = (i & 2) ? mn.z : mx.z;
        p.y = (i & 4) ? mx.y : mn.y;
    }
}

qvn_cMesh::qvn_cMesh() = default;

qvn_cMesh::~qvn_cMesh() {
    delete[] m_pVertices;
    delete[] m_pTextureVertices;
    delete[] m_pFaces;
}

// The arrays are replaced rather than leaked when a mesh is filled twice.
bool qvn_cMesh::AllocVertex(int n) {
    qvn_cVertex* p = n >= 0 ? new (std::nothrow) qvn_cVertex[n] : nullptr;
    if (!p) {
        QVN_LOG_LOCATION();
        LogMessage("AllocVertex failed\n");
        return false;
    }
    delete[] m_pVertices;
    m_pVertices = p;
    m_nVertexCount = n;
    return true;
}

bool qvn_cMesh::AllocTextureVertex(int n) {
    qvn_cCorner* p = n >= 0 ? new (std::nothrow) qvn_cCorner[n] : nullptr;
    if (!p) {
        QVN_LOG_LOCATION();
        LogMessage("AllocTextureVertex failed\n");
        return false;
    }
    delete[] m_pTextureVertices;
    m_pTextureVertices = p;
    m_nTextureVertexCount = n;
    return true;
}

bool qvn_cMesh::AllocFace(int n) {
    qvn_cFace* p = n >= 0 ? new (std::nothrow) qvn_cFace[n] : nullptr;
    if (!p) {
        QVN_LOG_LOCATION();
        LogMessage("AllocFace failed\n");
        return false;
    }
    delete[] m_pFaces;
    m_pFaces = p;
    m_nFaceCount = n;
    return true;
}
