#include "qvn_cScene.h"

#include <cstdlib>
#include <new>

#include "qvn_ErrorLog.h"
#include "qvn_cMaterial.h"
#include "qvn_cRenderer.h"

qvn_cRenderer* g_pRenderer = nullptr;

namespace {

// Grows a pointer array by one slot; false (array untouched) when out of memory.
template <class T>
bool GrowByOne(T**& array, int32_t count) {
    auto** grown = static_cast<T**>(std::realloc(array, sizeof(T*) * (count + 1)));
    if (!grown) return false;
    array = grown;
    return true;
}

template <class T>
void DeleteAll(T** array, int32_t count) {
    for (int i = 0; i < count; ++i) delete array[i];
    std::free(array);
}

}  // namespace

qvn_cCamera::~qvn_cCamera() {
    delete[] m_pRoll;
    delete[] m_pFovTrack;
}

void qvn_cCamera::SetFov(float fov) {
    m_fFov = fov;
    m_fFocal = std::sqrt((m_fBottom - m_fTop) * (m_fRight - m_fLeft)) / (2.0f * std::tan(fov * 0.5f));
}

bool qvn_cCamera::AllocRoll(int n) {
    if (n <= 0) return false;
    float* p = new (std::nothrow) float[n];
    if (!p) return false;
    delete[] m_pRoll;
    m_pRoll = p;
    m_nRollCount = n;
    return true;
}

bool qvn_cCamera::AllocFov(int n) {
    if (n <= 0) return false;
    float* p = new (std::nothrow) float[n];
    if (!p) return false;
    delete[] m_pFovTrack;
    m_pFovTrack = p;
    m_nFovCount = n;
    return true;
}

qvn_cFaceList::~qvn_cFaceList() {
    delete[] m_ppFaces;
    delete[] m_pKeyed;
}

bool qvn_cFaceList::Reserve(int capacity) {
    if (capacity < 0) return false;
    auto** p = new (std::nothrow) qvn_cFace*[capacity > 0 ? capacity : 1];
    if (!p) return false;
    // The sort's two work lists follow the list itself.
    if (capacity > INT32_MAX / 3) {
        delete[] p;
        return false;
    }
    auto* keyed = new (std::nothrow) SKeyed[capacity > 0 ? 3 * capacity : 3];
    if (!keyed) {
        delete[] p;
        return false;
    }
    delete[] m_ppFaces;
    delete[] m_pKeyed;
    m_ppFaces = p;
    m_pKeyed = keyed;
    m_nCapacity = capacity;
    m_nCount = 0;
    return true;
}

qvn_cScene::qvn_cScene() : m_pRenderer(g_pRenderer) {}

qvn_cScene::~qvn_cScene() {
    if (m_pRenderer) {
        for (int i = 0; i < m_nMaterialCount; ++i) {
            if (m_pRenderer->m_pCurrentMaterial == m_pMaterials[i]) m_pRenderer->m_pCurrentMaterial = nullptr;
        }
        for (int i = 0; i < m_nCameraCount; ++i) {
            if (m_pRenderer->Camera() == m_pCameras[i]) m_pRenderer->SetCamera(nullptr);
        }
    }
    DeleteAll(m_pMaterials, m_nMaterialCount);
    DeleteAll(m_pObjects, m_nObjectCount);
    DeleteAll(m_pMeshes, m_nMeshCount);
    DeleteAll(m_pCameras, m_nCameraCount);
    DeleteAll(m_pTargets, m_nTargetCount);
}

qvn_cObject* qvn_cScene::AddObject() {
    if (!GrowByOne(m_pObjects, m_nObjectCount)) {
        QVN_LOG_LOCATION();
        LogMessage("Object allocation failed\n");
        return nullptr;
    }
    return m_pObjects[m_nObjectCount++] = new (std::nothrow) qvn_cObject();
}

qvn_cMesh* qvn_cScene::AddMesh() {
    if (!GrowByOne(m_pMeshes, m_nMeshCount)) {
        QVN_LOG_LOCATION();
        LogMessage("Mesh allocation failed\n");
        return nullptr;
    }
    return m_pMeshes[m_nMeshCount++] = new (std::nothrow) qvn_cMesh();
}

qvn_cCamera* qvn_cScene::AddCamera() {
    if (!GrowByOne(m_pCameras, m_nCameraCount)) {
        QVN_LOG_LOCATION();
        LogMessage("Camera allocation failed\n");
        return nullptr;
    }
    return m_pCameras[m_nCameraCount++] = new (std::nothrow) qvn_cCamera();
}

qvn_cTarget* qvn_cScene::AddTarget() {
    if (!GrowByOne(m_pTargets, m_nTargetCount)) {
        QVN_LOG_LOCATION();
        LogMessage("Target allocation failed\n");
        return nullptr;
    }
    return m_pTargets[m_nTargetCount++] = new (std::nothrow) qvn_cTarget();
}

qvn_cMaterial* qvn_cScene::AddMaterial() {
    if (!m_pRenderer) return nullptr;
    if (!GrowByOne(m_pMaterials, m_nMaterialCount)) return nullptr;
    return m_pMaterials[m_nMaterialCount++] = m_pRenderer->NewMaterial();
}
