#include "qvn_MetaballField.h"

#include <cmath>
#include <new>

#include "qvn_ErrorLog.h"
#include "qvn_Random.h"

namespace {

// The balls' x and y stretch wobble at these rates against the ball clock.
const float kWobble[qvn_cMetaballField::kBalls] = {1.25f, 1.5f, 1.75f, 2.0f};
// The smallest stretch the wobble gives (1 - 0.25): how far beyond its radius
// a ball's field can reach on x and y.
constexpr float kMinStretch = 0.75f;

constexpr int kStrideX = qvn_cMetaballField::kGridSize * qvn_cMetaballField::kGridSize;
constexpr int kStrideY = qvn_cMetaballField::kGridSize;

}  // namespace

// Corner k of a cube, as (x, y, z) steps from its low corner; the edges join
// the corners as listed. The tables below are numbered on these.
const int8_t qvn_cMetaballField::s_anCorner[8][3] = {{0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {0, 1, 0},
                                                     {0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0}};
const int8_t qvn_cMetaballField::s_anEdgeCorners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                                           {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// Edge k is in configuration c's mask when exactly one of its two corners is
// below the iso level: the surface crosses it once.
const uint16_t qvn_cMetaballField::s_anEdgeTable[256] = {
    0x0, 0x109, 0x203, 0x30a, 0x406, 0x50f, 0x605, 0x70c,
    0x80c, 0x905, 0xa0f, 0xb06, 0xc0a, 0xd03, 0xe09, 0xf00,
    0x190, 0x99, 0x393, 0x29a, 0x596, 0x49f, 0x795, 0x69c,
    0x99c, 0x895, 0xb9f, 0xa96, 0xd9a, 0xc93, 0xf99, 0xe90,
    0x230, 0x339, 0x33, 0x13a, 0x636, 0x73f, 0x435, 0x53c,
    0xa3c, 0xb35, 0x83f, 0x936, 0xe3a, 0xf33, 0xc39, 0xd30,
    0x3a0, 0x2a9, 0x1a3, 0xaa, 0x7a6, 0x6af, 0x5a5, 0x4ac,
    0xbac, 0xaa5, 0x9af, 0x8a6, 0xfaa, 0xea3, 0xda9, 0xca0,
    0x460, 0x569, 0x663, 0x76a, 0x66, 0x16f, 0x265, 0x36c,
    0xc6c, 0xd65, 0xe6f, 0xf66, 0x86a, 0x963, 0xa69, 0xb60,
    0x5f0, 0x4f9, 0x7f3, 0x6fa, 0x1f6, 0xff, 0x3f5, 0x2fc,
    0xdfc, 0xcf5, 0xfff, 0xef6, 0x9fa, 0x8f3, 0xbf9, 0xaf0,
    0x650, 0x759, 0x453, 0x55a, 0x256, 0x35f, 0x55, 0x15c,
    0xe5c, 0xf55, 0xc5f, 0xd56, 0xa5a, 0xb53, 0x859, 0x950,
    0x7c0, 0x6c9, 0x5c3, 0x4ca, 0x3c6, 0x2cf, 0x1c5, 0xcc,
    0xfcc, 0xec5, 0xdcf, 0xcc6, 0xbca, 0xac3, 0x9c9, 0x8c0,
    0x8c0, 0x9c9, 0xac3, 0xbca, 0xcc6, 0xdcf, 0xec5, 0xfcc,
    0xcc, 0x1c5, 0x2cf, 0x3c6, 0x4ca, 0x5c3, 0x6c9, 0x7c0,
    0x950, 0x859, 0xb53, 0xa5a, 0xd56, 0xc5f, 0xf55, 0xe5c,
    0x15c, 0x55, 0x35f, 0x256, 0x55a, 0x453, 0x759, 0x650,
    0xaf0, 0xbf9, 0x8f3, 0x9fa, 0xef6, 0xfff, 0xcf5, 0xdfc,
    0x2fc, 0x3f5, 0xff, 0x1f6, 0x6fa, 0x7f3, 0x4f9, 0x5f0,
    0xb60, 0xa69, 0x963, 0x86a, 0xf66, 0xe6f, 0xd65, 0xc6c,
    0x36c, 0x265, 0x16f, 0x66, 0x76a, 0x663, 0x569, 0x460,
    0xca0, 0xda9, 0xea3, 0xfaa, 0x8a6, 0x9af, 0xaa5, 0xbac,
    0x4ac, 0x5a5, 0x6af, 0x7a6, 0xaa, 0x1a3, 0x2a9, 0x3a0,
    0xd30, 0xc39, 0xf33, 0xe3a, 0x936, 0x83f, 0xb35, 0xa3c,
    0x53c, 0x435, 0x73f, 0x636, 0x13a, 0x33, 0x339, 0x230,
    0xe90, 0xf99, 0xc93, 0xd9a, 0xa96, 0xb9f, 0x895, 0x99c,
    0x69c, 0x795, 0x49f, 0x596, 0x29a, 0x393, 0x99, 0x190,
    0xf00, 0xe09, 0xd03, 0xc0a, 0xb06, 0xa0f, 0x905, 0x80c,
    0x70c, 0x605, 0x50f, 0x406, 0x30a, 0x203, 0x109, 0x0,
};

// The triangles of each configuration. Made by walking the surface's outline
// on the cube's faces: on each face the crossed edges are joined in pairs,
// each pair cutting off the below-level corners; where a face has all four
// edges crossed (two diagonal corners below), each below corner is cut off
// on its own. Both cubes that share a face decide it alike, so neighbouring
// cubes always meet without cracks. Each closed outline, walked with the
// below corners on its right seen from outside the cube, is split into a fan
// from its lowest-numbered edge: at most five triangles per cube, all wound
// the same way round the surface.
const int8_t qvn_cMetaballField::s_anTriTable[256][16] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 9, 2, 9, 8, 2, 8, 3, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 11, 1, 11, 2, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 11, 1, 11, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 10, 0, 10, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 11, 0, 11, 10, 0, 10, 9, -1, -1, -1, -1, -1, -1, -1},
    {8, 11, 10, 8, 10, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 7, 1, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 3, 1, 2, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 9, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 9, 2, 9, 4, 2, 4, 7, 2, 7, 3, -1, -1, -1, -1},
    {2, 3, 11, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 11, 0, 11, 2, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 11, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 7, 1, 7, 11, 1, 11, 2, -1, -1, -1, -1},
    {1, 3, 11, 1, 11, 10, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 11, 0, 11, 10, 0, 10, 1, -1, -1, -1, -1},
    {0, 3, 11, 0, 11, 10, 0, 10, 9, 4, 7, 8, -1, -1, -1, -1},
    {4, 7, 11, 4, 11, 10, 4, 10, 9, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 4, 1, 4, 8, 1, 8, 3, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 10, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 5, 0, 5, 4, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 5, 2, 5, 4, 2, 4, 8, 2, 8, 3, -1, -1, -1, -1},
    {2, 3, 11, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 2, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 4, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 4, 1, 4, 8, 1, 8, 11, 1, 11, 2, -1, -1, -1, -1},
    {1, 3, 11, 1, 11, 10, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 10, 0, 10, 1, 4, 9, 5, -1, -1, -1, -1},
    {0, 3, 11, 0, 11, 10, 0, 10, 5, 0, 5, 4, -1, -1, -1, -1},
    {4, 8, 11, 4, 11, 10, 4, 10, 5, -1, -1, -1, -1, -1, -1, -1},
    {5, 7, 8, 5, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 7, 0, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 7, 0, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 7, 1, 7, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 5, 7, 8, 5, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 7, 0, 7, 3, 1, 2, 10, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 5, 0, 5, 7, 0, 7, 8, -1, -1, -1, -1},
    {2, 10, 5, 2, 5, 7, 2, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 11, 5, 7, 8, 5, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 7, 0, 7, 11, 0, 11, 2, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 7, 0, 7, 8, 2, 3, 11, -1, -1, -1, -1},
    {1, 5, 7, 1, 7, 11, 1, 11, 2, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 11, 1, 11, 10, 5, 7, 8, 5, 8, 9, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 7, 0, 7, 11, 0, 11, 10, 0, 10, 1, -1},
    {0, 3, 11, 0, 11, 10, 0, 10, 5, 0, 5, 7, 0, 7, 8, -1},
    {5, 7, 11, 5, 11, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 3, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 6, 1, 6, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 6, 1, 6, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 2, 6, 0, 6, 5, 0, 5, 9, -1, -1, -1, -1, -1, -1, -1},
    {2, 6, 5, 2, 5, 9, 2, 9, 8, 2, 8, 3, -1, -1, -1, -1},
    {2, 3, 11, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 2, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 11, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 11, 1, 11, 2, 5, 10, 6, -1, -1, -1, -1},
    {1, 3, 11, 1, 11, 6, 1, 6, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 6, 0, 6, 5, 0, 5, 1, -1, -1, -1, -1},
    {0, 3, 11, 0, 11, 6, 0, 6, 5, 0, 5, 9, -1, -1, -1, -1},
    {5, 9, 8, 5, 8, 11, 5, 11, 6, -1, -1, -1, -1, -1, -1, -1},
    {4, 7, 8, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 3, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 4, 7, 8, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 7, 1, 7, 3, 5, 10, 6, -1, -1, -1, -1},
    {1, 2, 6, 1, 6, 5, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5, -1, -1, -1, -1},
    {0, 2, 6, 0, 6, 5, 0, 5, 9, 4, 7, 8, -1, -1, -1, -1},
    {2, 6, 5, 2, 5, 9, 2, 9, 4, 2, 4, 7, 2, 7, 3, -1},
    {2, 3, 11, 4, 7, 8, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 11, 0, 11, 2, 5, 10, 6, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 11, 4, 7, 8, 5, 10, 6, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 7, 1, 7, 11, 1, 11, 2, 5, 10, 6, -1},
    {1, 3, 11, 1, 11, 6, 1, 6, 5, 4, 7, 8, -1, -1, -1, -1},
    {0, 4, 7, 0, 7, 11, 0, 11, 6, 0, 6, 5, 0, 5, 1, -1},
    {0, 3, 11, 0, 11, 6, 0, 6, 5, 0, 5, 9, 4, 7, 8, -1},
    {4, 7, 11, 4, 11, 6, 4, 6, 5, 4, 5, 9, -1, -1, -1, -1},
    {4, 9, 10, 4, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 10, 4, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 6, 0, 6, 4, -1, -1, -1, -1, -1, -1, -1},
    {1, 10, 6, 1, 6, 4, 1, 4, 8, 1, 8, 3, -1, -1, -1, -1},
    {1, 2, 6, 1, 6, 4, 1, 4, 9, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 6, 1, 6, 4, 1, 4, 9, -1, -1, -1, -1},
    {0, 2, 6, 0, 6, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 6, 4, 2, 4, 8, 2, 8, 3, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 11, 4, 9, 10, 4, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 2, 4, 9, 10, 4, 10, 6, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 6, 0, 6, 4, 2, 3, 11, -1, -1, -1, -1},
    {1, 10, 6, 1, 6, 4, 1, 4, 8, 1, 8, 11, 1, 11, 2, -1},
    {1, 3, 11, 1, 11, 6, 1, 6, 4, 1, 4, 9, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 6, 0, 6, 4, 0, 4, 9, 0, 9, 1, -1},
    {0, 3, 11, 0, 11, 6, 0, 6, 4, -1, -1, -1, -1, -1, -1, -1},
    {4, 8, 11, 4, 11, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {6, 7, 8, 6, 8, 9, 6, 9, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 10, 0, 10, 6, 0, 6, 7, 0, 7, 3, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 6, 0, 6, 7, 0, 7, 8, -1, -1, -1, -1},
    {1, 10, 6, 1, 6, 7, 1, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 6, 1, 6, 7, 1, 7, 8, 1, 8, 9, -1, -1, -1, -1},
    {0, 9, 1, 0, 1, 2, 0, 2, 6, 0, 6, 7, 0, 7, 3, -1},
    {0, 2, 6, 0, 6, 7, 0, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {2, 6, 7, 2, 7, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 11, 6, 7, 8, 6, 8, 9, 6, 9, 10, -1, -1, -1, -1},
    {0, 9, 10, 0, 10, 6, 0, 6, 7, 0, 7, 11, 0, 11, 2, -1},
    {0, 1, 10, 0, 10, 6, 0, 6, 7, 0, 7, 8, 2, 3, 11, -1},
    {1, 10, 6, 1, 6, 7, 1, 7, 11, 1, 11, 2, -1, -1, -1, -1},
    {1, 3, 11, 1, 11, 6, 1, 6, 7, 1, 7, 8, 1, 8, 9, -1},
    {0, 9, 1, 6, 7, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 11, 0, 11, 6, 0, 6, 7, 0, 7, 8, -1, -1, -1, -1},
    {6, 7, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 3, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 10, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 9, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 9, 2, 9, 8, 2, 8, 3, 6, 11, 7, -1, -1, -1, -1},
    {2, 3, 7, 2, 7, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 6, 0, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 7, 2, 7, 6, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 7, 1, 7, 6, 1, 6, 2, -1, -1, -1, -1},
    {1, 3, 7, 1, 7, 6, 1, 6, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 6, 0, 6, 10, 0, 10, 1, -1, -1, -1, -1},
    {0, 3, 7, 0, 7, 6, 0, 6, 10, 0, 10, 9, -1, -1, -1, -1},
    {6, 10, 9, 6, 9, 8, 6, 8, 7, -1, -1, -1, -1, -1, -1, -1},
    {4, 6, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 6, 0, 6, 11, 0, 11, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 4, 6, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 6, 1, 6, 11, 1, 11, 3, -1, -1, -1, -1},
    {1, 2, 10, 4, 6, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 6, 0, 6, 11, 0, 11, 3, 1, 2, 10, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 9, 4, 6, 11, 4, 11, 8, -1, -1, -1, -1},
    {2, 10, 9, 2, 9, 4, 2, 4, 6, 2, 6, 11, 2, 11, 3, -1},
    {2, 3, 8, 2, 8, 4, 2, 4, 6, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 6, 0, 6, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 8, 2, 8, 4, 2, 4, 6, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 6, 1, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 8, 1, 8, 4, 1, 4, 6, 1, 6, 10, -1, -1, -1, -1},
    {0, 4, 6, 0, 6, 10, 0, 10, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 8, 0, 8, 4, 0, 4, 6, 0, 6, 10, 0, 10, 9, -1},
    {4, 6, 10, 4, 10, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 5, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 5, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 4, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 4, 1, 4, 8, 1, 8, 3, 6, 11, 7, -1, -1, -1, -1},
    {1, 2, 10, 4, 9, 5, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 10, 4, 9, 5, 6, 11, 7, -1, -1, -1, -1},
    {0, 2, 10, 0, 10, 5, 0, 5, 4, 6, 11, 7, -1, -1, -1, -1},
    {2, 10, 5, 2, 5, 4, 2, 4, 8, 2, 8, 3, 6, 11, 7, -1},
    {2, 3, 7, 2, 7, 6, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 6, 0, 6, 2, 4, 9, 5, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 4, 2, 3, 7, 2, 7, 6, -1, -1, -1, -1},
    {1, 5, 4, 1, 4, 8, 1, 8, 7, 1, 7, 6, 1, 6, 2, -1},
    {1, 3, 7, 1, 7, 6, 1, 6, 10, 4, 9, 5, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 6, 0, 6, 10, 0, 10, 1, 4, 9, 5, -1},
    {0, 3, 7, 0, 7, 6, 0, 6, 10, 0, 10, 5, 0, 5, 4, -1},
    {4, 8, 7, 4, 7, 6, 4, 6, 10, 4, 10, 5, -1, -1, -1, -1},
    {5, 6, 11, 5, 11, 8, 5, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 6, 0, 6, 11, 0, 11, 3, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 6, 0, 6, 11, 0, 11, 8, -1, -1, -1, -1},
    {1, 5, 6, 1, 6, 11, 1, 11, 3, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 5, 6, 11, 5, 11, 8, 5, 8, 9, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 6, 0, 6, 11, 0, 11, 3, 1, 2, 10, -1},
    {0, 2, 10, 0, 10, 5, 0, 5, 6, 0, 6, 11, 0, 11, 8, -1},
    {2, 10, 5, 2, 5, 6, 2, 6, 11, 2, 11, 3, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 9, 2, 9, 5, 2, 5, 6, -1, -1, -1, -1},
    {0, 9, 5, 0, 5, 6, 0, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 5, 0, 5, 6, 0, 6, 2, 0, 2, 3, 0, 3, 8, -1},
    {1, 5, 6, 1, 6, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 8, 1, 8, 9, 1, 9, 5, 1, 5, 6, 1, 6, 10, -1},
    {0, 9, 5, 0, 5, 6, 0, 6, 10, 0, 10, 1, -1, -1, -1, -1},
    {0, 3, 8, 5, 6, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {5, 6, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 11, 5, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 5, 10, 11, 5, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 5, 10, 11, 5, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 3, 5, 10, 11, 5, 11, 7, -1, -1, -1, -1},
    {1, 2, 11, 1, 11, 7, 1, 7, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 11, 1, 11, 7, 1, 7, 5, -1, -1, -1, -1},
    {0, 2, 11, 0, 11, 7, 0, 7, 5, 0, 5, 9, -1, -1, -1, -1},
    {2, 11, 7, 2, 7, 5, 2, 5, 9, 2, 9, 8, 2, 8, 3, -1},
    {2, 3, 7, 2, 7, 5, 2, 5, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 5, 0, 5, 10, 0, 10, 2, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 7, 2, 7, 5, 2, 5, 10, -1, -1, -1, -1},
    {1, 9, 8, 1, 8, 7, 1, 7, 5, 1, 5, 10, 1, 10, 2, -1},
    {1, 3, 7, 1, 7, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 5, 0, 5, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 7, 0, 7, 5, 0, 5, 9, -1, -1, -1, -1, -1, -1, -1},
    {5, 9, 8, 5, 8, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 5, 10, 4, 10, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 5, 0, 5, 10, 0, 10, 11, 0, 11, 3, -1, -1, -1, -1},
    {0, 1, 9, 4, 5, 10, 4, 10, 11, 4, 11, 8, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 5, 1, 5, 10, 1, 10, 11, 1, 11, 3, -1},
    {1, 2, 11, 1, 11, 8, 1, 8, 4, 1, 4, 5, -1, -1, -1, -1},
    {0, 4, 5, 0, 5, 1, 0, 1, 2, 0, 2, 11, 0, 11, 3, -1},
    {0, 2, 11, 0, 11, 8, 0, 8, 4, 0, 4, 5, 0, 5, 9, -1},
    {2, 11, 3, 4, 5, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 4, 2, 4, 5, 2, 5, 10, -1, -1, -1, -1},
    {0, 4, 5, 0, 5, 10, 0, 10, 2, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 8, 2, 8, 4, 2, 4, 5, 2, 5, 10, -1},
    {1, 9, 4, 1, 4, 5, 1, 5, 10, 1, 10, 2, -1, -1, -1, -1},
    {1, 3, 8, 1, 8, 4, 1, 4, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 5, 0, 5, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 8, 0, 8, 4, 0, 4, 5, 0, 5, 9, -1, -1, -1, -1},
    {4, 5, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 10, 4, 10, 11, 4, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 10, 4, 10, 11, 4, 11, 7, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 11, 0, 11, 7, 0, 7, 4, -1, -1, -1, -1},
    {1, 10, 11, 1, 11, 7, 1, 7, 4, 1, 4, 8, 1, 8, 3, -1},
    {1, 2, 11, 1, 11, 7, 1, 7, 4, 1, 4, 9, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 11, 1, 11, 7, 1, 7, 4, 1, 4, 9, -1},
    {0, 2, 11, 0, 11, 7, 0, 7, 4, -1, -1, -1, -1, -1, -1, -1},
    {2, 11, 7, 2, 7, 4, 2, 4, 8, 2, 8, 3, -1, -1, -1, -1},
    {2, 3, 7, 2, 7, 4, 2, 4, 9, 2, 9, 10, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 4, 0, 4, 9, 0, 9, 10, 0, 10, 2, -1},
    {0, 1, 10, 0, 10, 2, 0, 2, 3, 0, 3, 7, 0, 7, 4, -1},
    {1, 10, 2, 4, 8, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 7, 1, 7, 4, 1, 4, 9, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 4, 0, 4, 9, 0, 9, 1, -1, -1, -1, -1},
    {0, 3, 7, 0, 7, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 8, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 9, 10, 8, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 10, 0, 10, 11, 0, 11, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 11, 0, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {1, 10, 11, 1, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 11, 1, 11, 8, 1, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 1, 0, 1, 2, 0, 2, 11, 0, 11, 3, -1, -1, -1, -1},
    {0, 2, 11, 0, 11, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 9, 2, 9, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 10, 0, 10, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 2, 0, 2, 3, 0, 3, 8, -1, -1, -1, -1},
    {1, 10, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 8, 1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
};

qvn_cMetaballField::qvn_cMetaballField()
    : m_afGrid(nullptr), m_nBalls(kBalls), m_nMaxTriangles(kMaxTriangles), m_fIsoLevel(0.3f), m_nTriangles(0),
      m_fRadius(7.0f), m_fInvRadius(1.0f / 7.0f), m_fRadius2(49.0f), m_fInvRadius2(1.0f / 49.0f), m_pBalls(nullptr),
      m_pMotion(nullptr), m_pTriangles(nullptr), m_afStretchX{1, 1, 1, 1}, m_afStretchY{1, 1, 1, 1},
      m_afOrigin{0, 0, 0}, m_anCubes{0, 0, 0} {}

qvn_cMetaballField::~qvn_cMetaballField() { release(); }

void qvn_cMetaballField::release() {
    delete[] m_afGrid;
    delete[] m_pBalls;
    delete[] m_pMotion;
    delete[] m_pTriangles;
    m_afGrid = nullptr;
    m_pBalls = nullptr;
    m_pMotion = nullptr;
    m_pTriangles = nullptr;
}

bool qvn_cMetaballField::init() {
    m_nBalls = kBalls;
    m_nMaxTriangles = kMaxTriangles;
    m_fIsoLevel = 0.3f;
    m_nTriangles = 0;
    m_fRadius = 7.0f;
    m_fInvRadius = 1.0f / m_fRadius;
    m_fRadius2 = m_fRadius * m_fRadius;
    m_fInvRadius2 = 1.0f / m_fRadius2;
    if (ready()) return true;
    m_afGrid = new (std::nothrow) float[kGridSize * kGridSize * kGridSize]();
    m_pBalls = new (std::nothrow) qvn_SBallCentre[kBalls]();
    m_pMotion = new (std::nothrow) qvn_SBallMotion[kBalls]();
    m_pTriangles = new (std::nothrow) qvn_SMetaTriangle[kMaxTriangles];
    if (!m_afGrid || !m_pBalls || !m_pMotion || !m_pTriangles) {
        release();
        LogMessage("qvn_cMetaballField::init() : Not enough memory.\n");
        return false;
    }
    return true;
}

void qvn_cMetaballField::randomiseMotion() {
    if (!m_pMotion) return;
    for (int i = 0; i < kBalls; ++i) {
        qvn_SBallMotion& m = m_pMotion[i];
        m.ax = 7.2f;
        m.ay = 7.2f;
        m.az = 15.0f;
        // One draw per statement: the order of the draws is the show's.
        m.fx = static_cast<float>(qvn_rand()) * (1.2f / 32768.0f);
        m.fy = static_cast<float>(qvn_rand()) / 65536.0f;
        m.fz = static_cast<float>(qvn_rand()) * (0.7f / 32768.0f);
        m.px = static_cast<float>(qvn_rand()) * (3.14f / 32768.0f);
        m.py = m.px + 1.570796f;
        m.pz = static_cast<float>(qvn_rand()) * (3.14f / 32768.0f);
    }
}

void qvn_cMetaballField::moveBalls(float T) {
    if (!m_pBalls || !m_pMotion) return;
    for (int i = 0; i < kBalls; ++i) {
        const qvn_SBallMotion& m = m_pMotion[i];
        m_pBalls[i].x = std::cos(T * m.fx + m.px) * m.ax;
        m_pBalls[i].y = std::cos(T * m.fy + m.py) * m.ay;
        m_pBalls[i].z = std::cos(T * m.fz + m.pz) * m.az;
        m_afStretchX[i] = 1.0f + 0.25f * std::cos(kWobble[i] * T);
        m_afStretchY[i] = 1.0f + 0.25f * std::sin(kWobble[i] * T);
    }
}

float qvn_cMetaballField::value(float x, float y, float z) const {
    float sum = 0.0f;
    for (int i = 0; i < kBalls; ++i) {
        const float dx = (m_pBalls[i].x - x) * m_afStretchX[i];
        const float dy = (m_pBalls[i].y - y) * m_afStretchY[i];
        const float dz = m_pBalls[i].z - z;
        const float t = 1.0f - (dx * dx + dy * dy + dz * dz) * m_fInvRadius2;
        if (t > 0.0f) sum += t;
    }
    return sum;
}

namespace {

// A cube corner as the march carries it: value, position, gradient.
struct SCorner {
    float v;
    qvn_SMetaVertex p;
};

qvn_SMetaVertex Interpolate(float iso, const SCorner& a, const SCorner& b) {
    if (std::fabs(iso - a.v) < 1e-7f) return a.p;
    if (std::fabs(iso - b.v) < 1e-7f) return b.p;
    if (std::fabs(a.v - b.v) < 1e-7f) return a.p;
    const float mu = (iso - a.v) / (b.v - a.v);
    qvn_SMetaVertex r;
    r.x = a.p.x + mu * (b.p.x - a.p.x);
    r.y = a.p.y + mu * (b.p.y - a.p.y);
    r.z = a.p.z + mu * (b.p.z - a.p.z);
    r.nx = a.p.nx + mu * (b.p.nx - a.p.nx);
    r.ny = a.p.ny + mu * (b.p.ny - a.p.ny);
    r.nz = a.p.nz + mu * (b.p.nz - a.p.nz);
    return r;
}

// Each edge is interpolated from its corner nearer the lattice's low side:
// the cubes on either side of a lattice edge then compute its vertex from
// the same end, bit for bit, and their triangles meet without slivers.
struct SEdgeEnds {
    int8_t from[12], to[12];
    SEdgeEnds() {
        for (int e = 0; e < 12; ++e) {
            const int a = qvn_cMetaballField::s_anEdgeCorners[e][0], b = qvn_cMetaballField::s_anEdgeCorners[e][1];
            const int8_t* pa = qvn_cMetaballField::s_anCorner[a];
            const int8_t* pb = qvn_cMetaballField::s_anCorner[b];
            const bool aLow = pa[0] + pa[1] + pa[2] <= pb[0] + pb[1] + pb[2];
            from[e] = static_cast<int8_t>(aLow ? a : b);
            to[e] = static_cast<int8_t>(aLow ? b : a);
        }
    }
};

}  // namespace

void qvn_cMetaballField::polygonise() {
    m_nTriangles = 0;
    m_anCubes[0] = m_anCubes[1] = m_anCubes[2] = 0;
    if (!ready()) return;

    // The box that holds every ball's whole field. The wobble stretches a
    // ball's x and y distances by 0.75 to 1.25, so on those axes its field
    // reaches radius / stretch, up to a third beyond the radius: a box of the
    // bare radius would cut the surface open on its low side and leave the
    // high side's cubes unsampled.
    float lo[3], hi[3];
    for (int i = 0; i < kBalls; ++i) {
        const float rx = m_fRadius / (m_afStretchX[i] > kMinStretch ? m_afStretchX[i] : kMinStretch);
        const float ry = m_fRadius / (m_afStretchY[i] > kMinStretch ? m_afStretchY[i] : kMinStretch);
        const float l[3] = {m_pBalls[i].x - rx, m_pBalls[i].y - ry, m_pBalls[i].z - m_fRadius};
        const float h[3] = {m_pBalls[i].x + rx, m_pBalls[i].y + ry, m_pBalls[i].z + m_fRadius};
        for (int a = 0; a < 3; ++a) {
            if (i == 0 || l[a] < lo[a]) lo[a] = l[a];
            if (i == 0 || h[a] > hi[a]) hi[a] = h[a];
        }
    }
    // Lattice points from the low side while below the high side; each is the
    // low corner of a cube, whose far corners and their forward differences
    // read two more samples on each axis: those are sampled too.
    int n[3];
    for (int a = 0; a < 3; ++a) {
        int count = 0;
        for (float c = lo[a]; c < hi[a] && count < kGridSize - 2; c += kLatticeStep) ++count;
        n[a] = count;
        m_anCubes[a] = count;
        m_afOrigin[a] = lo[a];
    }

    // Per ball, the squared (stretched) distance along each axis to every
    // lattice plane: a sample is then three additions per ball.
    float d2[3][kBalls][kGridSize];
    for (int b = 0; b < kBalls; ++b) {
        const float centre[3] = {m_pBalls[b].x, m_pBalls[b].y, m_pBalls[b].z};
        const float stretch[3] = {m_afStretchX[b], m_afStretchY[b], 1.0f};
        for (int a = 0; a < 3; ++a)
            for (int k = 0; k < n[a] + 2; ++k) {
                const float d = (centre[a] - (lo[a] + kLatticeStep * static_cast<float>(k))) * stretch[a];
                d2[a][b][k] = d * d;
            }
    }
    const float inv = m_fInvRadius2;
    for (int i = 0; i < n[0] + 2; ++i)
        for (int j = 0; j < n[1] + 2; ++j) {
            float* row = m_afGrid + i * kStrideX + j * kStrideY;
            for (int k = 0; k < n[2] + 2; ++k) {
                float sum = 0.0f;
                for (int b = 0; b < kBalls; ++b) {
                    const float t = 1.0f - (d2[0][b][i] + d2[1][b][j] + d2[2][b][k]) * inv;
                    if (t > 0.0f) sum += t;
                }
                row[k] = sum;
            }
        }

    const float iso = m_fIsoLevel;
    const float* g = m_afGrid;
    static const SEdgeEnds kEnds;
    const int8_t* kEdgeFrom = kEnds.from;
    const int8_t* kEdgeTo = kEnds.to;
    const int cornerOffset[8] = {
        s_anCorner[0][0] * kStrideX + s_anCorner[0][1] * kStrideY + s_anCorner[0][2],
        s_anCorner[1][0] * kStrideX + s_anCorner[1][1] * kStrideY + s_anCorner[1][2],
        s_anCorner[2][0] * kStrideX + s_anCorner[2][1] * kStrideY + s_anCorner[2][2],
        s_anCorner[3][0] * kStrideX + s_anCorner[3][1] * kStrideY + s_anCorner[3][2],
        s_anCorner[4][0] * kStrideX + s_anCorner[4][1] * kStrideY + s_anCorner[4][2],
        s_anCorner[5][0] * kStrideX + s_anCorner[5][1] * kStrideY + s_anCorner[5][2],
        s_anCorner[6][0] * kStrideX + s_anCorner[6][1] * kStrideY + s_anCorner[6][2],
        s_anCorner[7][0] * kStrideX + s_anCorner[7][1] * kStrideY + s_anCorner[7][2],
    };
    // A cube adds at most five triangles: stop taking cubes once fewer than
    // that are left, so the buffer is never overrun.
    const int limit = m_nMaxTriangles - kMaxTrianglesPerCube;
    for (int k = 0; k < n[2]; ++k)
        for (int j = 0; j < n[1]; ++j)
            for (int i = 0; i < n[0]; ++i) {
                if (m_nTriangles >= limit) return;
                const int base = i * kStrideX + j * kStrideY + k;
                int config = 0;
                for (int c = 0; c < 8; ++c)
                    if (g[base + cornerOffset[c]] < iso) config |= 1 << c;
                const int edges = s_anEdgeTable[config];
                if (edges == 0) continue;
                SCorner corner[8];
                for (int c = 0; c < 8; ++c) {
                    const int at = base + cornerOffset[c];
                    SCorner& r = corner[c];
                    r.v = g[at];
                    r.p.x = lo[0] + kLatticeStep * static_cast<float>(i + s_anCorner[c][0]);
                    r.p.y = lo[1] + kLatticeStep * static_cast<float>(j + s_anCorner[c][1]);
                    r.p.z = lo[2] + kLatticeStep * static_cast<float>(k + s_anCorner[c][2]);
                    r.p.nx = g[at + kStrideX] - r.v;
                    r.p.ny = g[at + kStrideY] - r.v;
                    r.p.nz = g[at + 1] - r.v;
                }
                qvn_SMetaVertex vertex[12];
                for (int e = 0; e < 12; ++e)
                    if (edges & (1 << e))
                        vertex[e] = Interpolate(iso, corner[kEdgeFrom[e]], corner[kEdgeTo[e]]);
                const int8_t* row = s_anTriTable[config];
                for (int t = 0; row[t] >= 0; t += 3) {
                    qvn_SMetaTriangle& out = m_pTriangles[m_nTriangles++];
                    out.v[0] = vertex[row[t]];
                    out.v[1] = vertex[row[t + 1]];
                    out.v[2] = vertex[row[t + 2]];
                }
            }
}

namespace {

// Screen coordinates far off the frame are clipped anyway; the bound keeps
// the conversion and the clipper's sums defined.
int ToScreen(float f) {
    if (!(f > -1.0e6f)) return -1000000;
    if (f > 1.0e6f) return 1000000;
    return static_cast<int>(f);
}

int ToTexel(float f) {
    if (!(f > 0.0f)) return 0;
    if (f > 255.0f) return 255;
    return static_cast<int>(f);
}

}  // namespace

void qvn_cMetaballField::drawTriangles(const qvn_SEnvTarget& target, const uint16_t* envMap) const {
    if (!m_pTriangles || !envMap) return;
    for (int i = m_nTriangles - 1; i >= 0; --i) {
        const qvn_SMetaTriangle& tri = m_pTriangles[i];
        qvn_SEnvPoint p[3];
        for (int k = 0; k < 3; ++k) {
            const qvn_SMetaVertex& v = tri.v[k];
            const float depth = v.z + 32.0f;
            p[k].x = ToScreen(v.x * 240.0f / depth + 160.0f);
            p[k].y = ToScreen(v.y * 240.0f / depth + 160.0f);
            p[k].u = ToTexel(v.nx * 350.0f + 128.0f);
            p[k].v = ToTexel(v.ny * 350.0f + 128.0f);
        }
        qvn_FillEnvTriangle(target, envMap, p[0], p[1], p[2]);
    }
}
