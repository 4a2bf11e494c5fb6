// The metaballs' own 3D code: four field sources on cosine paths, the field
// sampled on a 2-unit lattice around them and its iso-surface extracted with
// marching cubes into a fixed triangle buffer. Nothing here allocates after
// init().
#pragma once

#include <cstdint>

#include "qvn_EnvFiller.h"

// One surface vertex: position, then the field's gradient (forward
// differences of the lattice), which the environment map is indexed by.
struct qvn_SMetaVertex {
    float x, y, z;
    float nx, ny, nz;
};
struct qvn_SMetaTriangle {
    qvn_SMetaVertex v[3];
};

// A ball's path: centre = (cos(T * f + p) * a) on each axis.
struct qvn_SBallMotion {
    float ax, ay, az;  // amplitude
    float fx, fy, fz;  // frequency per unit of ball time
    float px, py, pz;  // phase
};

struct qvn_SBallCentre {
    float x, y, z;
};

class qvn_cMetaballField {
public:
    static constexpr int kGridSize = 50;        // samples per axis the grid holds
    static constexpr int kBalls = 4;
    static constexpr int kMaxTriangles = 10000;
    static constexpr int kMaxTrianglesPerCube = 5;
    static constexpr float kLatticeStep = 2.0f;

    qvn_cMetaballField();
    virtual ~qvn_cMetaballField();
    qvn_cMetaballField(const qvn_cMetaballField&) = delete;
    qvn_cMetaballField& operator=(const qvn_cMetaballField&) = delete;

    // Sets the constants and allocates the grid, the balls and the triangle
    // buffer (once; a second call keeps them). false, logged, when out of
    // memory: nothing may then be polygonised.
    bool init();
    bool ready() const { return m_afGrid != nullptr; }
    // Draws each ball's frequencies and phases from qvn_rand(), in the order
    // the show's random sequence relies on.
    void randomiseMotion();

    // Ball centres at ball time T (also sets the wobble of that time).
    void moveBalls(float T);
    // The field at a point, for the balls and wobble moveBalls last set.
    float value(float x, float y, float z) const;
    // Samples the field around the balls and extracts its iso-surface into
    // m_pTriangles / m_nTriangles, for the balls moveBalls last set.
    void polygonise();

    // Draws the last polygonise's triangles, last produced first, with no
    // depth order: each vertex projected (x * 240 / (z + 32) + 160, the same
    // for y) and mapped by its gradient (u, v = nx, ny * 350 + 128, clamped
    // to the map).
    void drawTriangles(const qvn_SEnvTarget& target, const uint16_t* envMap) const;

    // The number of lattice cubes walked on each axis by the last polygonise.
    int cubes(int axis) const { return m_anCubes[axis]; }
    float origin(int axis) const { return m_afOrigin[axis]; }

    // The marching-cubes tables: per configuration (bit k set when corner k
    // is below the iso level) the mask of edges the surface crosses, and up
    // to five triangles of edge indices ended by -1.
    static const uint16_t s_anEdgeTable[256];
    static const int8_t s_anTriTable[256][16];
    // Corner k's offset from a cube's low corner, in lattice steps (x, y, z),
    // and the two corners each edge joins.
    static const int8_t s_anCorner[8][3];
    static const int8_t s_anEdgeCorners[12][2];

    float* m_afGrid;  // kGridSize^3 samples, [x][y][z], x slowest
    int m_nBalls;
    int m_nMaxTriangles;
    float m_fIsoLevel;
    int m_nTriangles;  // produced by the last polygonise
    float m_fRadius, m_fInvRadius;
    float m_fRadius2, m_fInvRadius2;
    qvn_SBallCentre* m_pBalls;
    qvn_SBallMotion* m_pMotion;
    qvn_SMetaTriangle* m_pTriangles;

    // Each ball's stretch of x and y at the current time (1 + 0.25 cos(wT),
    // 1 + 0.25 sin(wT)), set by moveBalls.
    float m_afStretchX[kBalls];
    float m_afStretchY[kBalls];

private:
    void release();
    float m_afOrigin[3];  // the lattice's low corner
    int m_anCubes[3];
};
