// Single-precision 3D math shared by the scene, the importer and the renderers.
// Matrices are row-major and multiply column vectors (p' = M * p), with the
// translation in m[3], m[7], m[11]; A * B applies B first. World space has Z up;
// camera space looks along +Y with +X right and +Z up.
#pragma once

#include <cmath>
#include <cstdint>

class qvn_cMatrix;

class qvn_cVector {
public:
    float x = 0.0f, y = 0.0f, z = 0.0f;

    qvn_cVector() = default;
    qvn_cVector(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    // M * (x, y, z, 1); the fourth row is ignored.
    qvn_cVector Transform(const qvn_cMatrix& m) const;
    qvn_cVector operator-(const qvn_cVector& b) const { return qvn_cVector(x - b.x, y - b.y, z - b.z); }
    qvn_cVector& operator+=(const qvn_cVector& b) {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    float Length() const { return std::sqrt(x * x + y * y + z * z); }
};

class qvn_cMatrix {
public:
    float m[16];

    qvn_cMatrix() { SetIdentity(); }
    void SetIdentity();
    qvn_cMatrix operator*(const qvn_cMatrix& b) const;

    static qvn_cMatrix Identity() { return qvn_cMatrix(); }
    static qvn_cMatrix RotX(float a);
    static qvn_cMatrix RotY(float a);
    static qvn_cMatrix RotZ(float a);
    static qvn_cMatrix Translation(float x, float y, float z);
};

inline qvn_cVector qvn_cVector::Transform(const qvn_cMatrix& M) const {
    const float* m = M.m;
    return qvn_cVector(m[0] * x + m[1] * y + m[2] * z + m[3], m[4] * x + m[5] * y + m[6] * z + m[7],
                       m[8] * x + m[9] * y + m[10] * z + m[11]);
}

// An angle (radians) about an axis; the axis is used as stored, not normalised.
class qvn_cRotation {
public:
    float angle = 0.0f, ax = 0.0f, ay = 0.0f, az = 0.0f;

    qvn_cRotation() = default;
    qvn_cRotation(float a, float x, float y, float z) : angle(a), ax(x), ay(y), az(z) {}
    // Built from the quaternion (cos h, -sin h * axis), h = angle / 2.
    qvn_cMatrix Matrix() const;
};

// Eight floats. For a vertex's shade record: r, g, b (255 each), fog (0 .. 0.99,
// per frame), three spare values and fog / depth (per frame).
class qvn_cColor {
public:
    float r = 0.0f, g = 0.0f, b = 0.0f, fog = 0.0f;
    float spare[3] = {0.0f, 0.0f, 0.0f};
    float fogOverZ = 0.0f;
};

class qvn_cScreenPoint {
public:
    float x = 0.0f, y = 0.0f;
};
