#include <new>

#include "qvn_ErrorLog.h"
#include "qvn_cObject.h"

qvn_cAnimFrame::~qvn_cAnimFrame() {
    delete m_pPos;
    delete m_pRot;
}

bool qvn_cAnimFrame::SetPos(float x, float y, float z) {
    if (!m_pPos) m_pPos = new (std::nothrow) qvn_cVector();
    if (!m_pPos) {
        QVN_LOG_LOCATION();
        LogMessage("SetPos failed\n");
        return false;
    }
    *m_pPos = qvn_cVector(x, y, z);
    return true;
}

bool qvn_cAnimFrame::SetRot(float angle, float ax, float ay, float az) {
    if (!m_pRot) m_pRot = new (std::nothrow) qvn_cRotation();
    if (!m_pRot) {
        QVN_LOG_LOCATION();
        LogMessage("SetRotFailed\n");
        return false;
    }
    *m_pRot = qvn_cRotation(angle, ax, ay, az);
    return true;
}
