#include "qvn_cObject.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "qvn_ErrorLog.h"

qvn_cActivity::~qvn_cActivity() { delete[] m_pRanges; }

bool qvn_cActivity::Alloc(int count) {
    SRange* p = count >= 0 ? new (std::nothrow) SRange[count > 0 ? count : 1] : nullptr;
    if (!p) return false;
    delete[] m_pRanges;
    m_pRanges = p;
    m_nCount = count;
    return true;
}

bool qvn_cActivity::IsActive(int frame) const {
    if (m_nCount <= 0) return false;
    const int32_t period = m_pRanges[m_nCount - 1].end;
    // A period of zero or less has no frame in it; the importer refuses such
    // lists, this keeps a hand-built one from dividing by zero.
    if (period <= 0) return false;
    int32_t f = frame % period;
    if (f < 0) f += period;
    for (int i = 0; i < m_nCount; ++i) {
        const SRange& r = m_pRanges[i];
        if (r.first <= f && f < r.end) return r.value > 0.0f;
    }
    return false;
}

qvn_cObject::qvn_cObject() {
    std::memset(m_szName, 0, sizeof m_szName);
    m_Scale = qvn_cRotation(0.0f, 1.0f, 1.0f, 1.0f);
}

qvn_cObject::~qvn_cObject() {
    for (int i = 0; i < m_nAnimCount; ++i) delete m_pAnim[i];
    std::free(m_pAnim);
}

bool qvn_cObject::AddAnim() {
    auto** grown = static_cast<qvn_cAnim**>(std::realloc(m_pAnim, sizeof(qvn_cAnim*) * (m_nAnimCount + 1)));
    if (!grown) {
        QVN_LOG_LOCATION();
        LogMessage("m_pAnim realloc failed\n");
        return false;
    }
    m_pAnim = grown;
    qvn_cAnim* anim = new (std::nothrow) qvn_cAnim();
    if (!anim) {
        QVN_LOG_LOCATION();
        LogMessage("m_pAnim realloc failed\n");
        return false;
    }
    m_pAnim[m_nAnimCount++] = anim;
    LogMessage("AddAnim: %x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(anim)));
    return true;
}
