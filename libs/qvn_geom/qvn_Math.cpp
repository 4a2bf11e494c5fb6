#include "qvn_Math.h"

void qvn_cMatrix::SetIdentity() {
    for (float& v : m) v = 0.0f;
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

qvn_cMatrix qvn_cMatrix::operator*(const qvn_cMatrix& b) const {
    qvn_cMatrix r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            r.m[row * 4 + col] = m[row * 4 + 0] * b.m[0 * 4 + col] + m[row * 4 + 1] * b.m[1 * 4 + col] +
                                 m[row * 4 + 2] * b.m[2 * 4 + col] + m[row * 4 + 3] * b.m[3 * 4 + col];
        }
    }
    return r;
}

qvn_cMatrix qvn_cMatrix::RotX(float a) {
    qvn_cMatrix r;
    const float c = std::cos(a), s = std::sin(a);
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    return r;
}

qvn_cMatrix qvn_cMatrix::RotY(float a) {
    qvn_cMatrix r;
    const float c = std::cos(a), s = std::sin(a);
    r.m[0] = c;
    r.m[2] = -s;
    r.m[8] = s;
    r.m[10] = c;
    return r;
}

qvn_cMatrix qvn_cMatrix::RotZ(float a) {
    qvn_cMatrix r;
    const float c = std::cos(a), s = std::sin(a);
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    return r;
}

qvn_cMatrix qvn_cMatrix::Translation(float x, float y, float z) {
    qvn_cMatrix r;
    r.m[3] = x;
    r.m[7] = y;
    r.m[11] = z;
    return r;
}

qvn_cMatrix qvn_cRotation::Matrix() const {
    const float h = angle * 0.5f;
    const float s = std::sin(h);
    const float w = std::cos(h);
    const float qx = -s * ax, qy = -s * ay, qz = -s * az;
    qvn_cMatrix r;
    r.m[0] = 1.0f - 2.0f * (qy * qy + qz * qz);
    r.m[1] = 2.0f * (qx * qy - w * qz);
    r.m[2] = 2.0f * (qx * qz + w * qy);
    r.m[4] = 2.0f * (qx * qy + w * qz);
    r.m[5] = 1.0f - 2.0f * (qx * qx + qz * qz);
    r.m[6] = 2.0f * (qy * qz - w * qx);
    r.m[8] = 2.0f * (qx * qz - w * qy);
    r.m[9] = 2.0f * (qy * qz + w * qx);
    r.m[10] = 1.0f - 2.0f * (qx * qx + qy * qy);
    return r;
}
