#include <cstring>
#include <new>

#include "qvn_ErrorLog.h"
#include "qvn_cObject.h"

qvn_cAnim::qvn_cAnim() { std::strcpy(m_szName, "Unamed"); }

qvn_cAnim::~qvn_cAnim() { delete[] m_pFrames; }

bool qvn_cAnim::AllocAnimFrame(int n) {
    qvn_cAnimFrame* p = (n >= 0 && n < 0x7FFFFFFF) ? new (std::nothrow) qvn_cAnimFrame[n + 1] : nullptr;
    if (!p) {
        QVN_LOG_LOCATION();
        LogMessage("AnimFrame allocation failed\n");
        return false;
    }
    delete[] m_pFrames;
    m_pFrames = p;
    m_nFrameCount = n;
    return true;
}
