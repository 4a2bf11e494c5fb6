// The metaballs' geometry: the marching-cubes tables against a construction
// of their own, the extracted surface of a sphere and of random lattices
// (closed, consistently wound, on the iso-surface), the triangle budget, and
// the filler's clipping against a guarded buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "qvn_EnvFiller.h"
#include "qvn_MetaballField.h"
#include "qvn_Random.h"

namespace {

using Field = qvn_cMetaballField;

// The cube's six faces as their four corners in cyclic order.
const int kFace[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

int EdgeBetween(int a, int b) {
    for (int e = 0; e < 12; ++e) {
        const int p = Field::s_anEdgeCorners[e][0], q = Field::s_anEdgeCorners[e][1];
        if ((p == a && q == b) || (p == b && q == a)) return e;
    }
    return -1;
}

std::vector<std::vector<int>> Triangles(int config) {
    std::vector<std::vector<int>> out;
    const int8_t* row = Field::s_anTriTable[config];
    for (int i = 0; i < 16 && row[i] >= 0; i += 3) out.push_back({row[i], row[i + 1], row[i + 2]});
    return out;
}

TEST(MetaballTables, EdgeMasksAreTheEdgesWhoseCornersDisagreeAndTheTrianglesUseThem) {
    for (int c = 0; c < 256; ++c) {
        int crossed = 0, used = 0;
        for (int e = 0; e < 12; ++e)
            if (((c >> Field::s_anEdgeCorners[e][0]) & 1) != ((c >> Field::s_anEdgeCorners[e][1]) & 1)) crossed |= 1 << e;
        for (const auto& t : Triangles(c))
            for (int e : t) used |= 1 << e;
        EXPECT_EQ(Field::s_anEdgeTable[c], crossed) << c;
        EXPECT_EQ(used, crossed) << c;
    }
    // The published first values.
    EXPECT_EQ(Field::s_anEdgeTable[1], 0x109);
    EXPECT_EQ(Field::s_anEdgeTable[2], 0x203);
    EXPECT_EQ(Field::s_anEdgeTable[3], 0x30a);
}

TEST(MetaballTables, EveryRowClosesTheSurfaceOfItsCube) {
    int most = 0;
    for (int c = 0; c < 256; ++c) {
        const auto tris = Triangles(c);
        most = std::max(most, static_cast<int>(tris.size()));
        // Each row ends with -1 after whole triangles.
        const int8_t* row = Field::s_anTriTable[c];
        int n = 0;
        while (n < 16 && row[n] >= 0) ++n;
        ASSERT_EQ(n % 3, 0) << c;
        for (int i = n; i < 16; ++i) EXPECT_EQ(row[i], -1) << c;
        // Inside the cube every triangle side is shared by exactly two
        // triangles, once in each direction; the sides used once form the
        // outline on the cube's faces.
        std::map<std::pair<int, int>, int> directed;
        for (const auto& t : tris) {
            ASSERT_TRUE(t[0] != t[1] && t[1] != t[2] && t[0] != t[2]) << c;
            for (int k = 0; k < 3; ++k) ++directed[{t[k], t[(k + 1) % 3]}];
        }
        std::vector<std::pair<int, int>> outline;
        for (const auto& [side, count] : directed) {
            EXPECT_EQ(count, 1) << c;
            const int back = directed.count({side.second, side.first}) ? directed.at({side.second, side.first}) : 0;
            if (back == 0) outline.push_back(side);
        }
        // Each outline side lies on one face, joins two crossed edges of it
        // and, where all four edges of a face are crossed, cuts off one of
        // its below corners: then two cubes sharing the face agree.
        int perFace[6] = {};
        for (const auto& [a, b] : outline) {
            int face = -1;
            for (int f = 0; f < 6; ++f) {
                int hits = 0;
                for (int i = 0; i < 4; ++i) {
                    const int e = EdgeBetween(kFace[f][i], kFace[f][(i + 1) % 4]);
                    hits += (e == a) + (e == b);
                }
                if (hits == 2) face = f;
            }
            ASSERT_GE(face, 0) << c << ": side " << a << "-" << b << " crosses the cube";
            int crossedOnFace = 0;
            for (int i = 0; i < 4; ++i)
                crossedOnFace += (Field::s_anEdgeTable[c] >> EdgeBetween(kFace[face][i], kFace[face][(i + 1) % 4])) & 1;
            if (crossedOnFace == 4) {
                bool cutsBelowCorner = false;
                for (int i = 0; i < 4; ++i) {
                    const int corner = kFace[face][i];
                    const int e1 = EdgeBetween(corner, kFace[face][(i + 1) % 4]);
                    const int e2 = EdgeBetween(corner, kFace[face][(i + 3) % 4]);
                    if (((a == e1 && b == e2) || (a == e2 && b == e1)) && ((c >> corner) & 1)) cutsBelowCorner = true;
                }
                EXPECT_TRUE(cutsBelowCorner) << c;
            }
            ++perFace[face];
        }
        // Every crossed edge is met by the outline on both its faces.
        for (int f = 0; f < 6; ++f) {
            int crossedOnFace = 0;
            for (int i = 0; i < 4; ++i)
                crossedOnFace += (Field::s_anEdgeTable[c] >> EdgeBetween(kFace[f][i], kFace[f][(i + 1) % 4])) & 1;
            EXPECT_EQ(perFace[f] * 2, crossedOnFace) << c << " face " << f;
        }
    }
    EXPECT_LE(most, Field::kMaxTrianglesPerCube);
    // Rows the published table starts with, as triangles.
    EXPECT_EQ(Triangles(1), (std::vector<std::vector<int>>{{0, 8, 3}}));
    auto sorted = [](std::vector<std::vector<int>> t) {
        for (auto& v : t) std::sort(v.begin(), v.end());
        std::sort(t.begin(), t.end());
        return t;
    };
    EXPECT_EQ(sorted(Triangles(3)), sorted({{1, 8, 3}, {9, 8, 1}}));
}

// Closed-surface check on a mesh whose vertices are named by the lattice
// edge they lie on: every side is used as often one way as the other. On a
// manifold surface that is exactly once each way; where two cubes' fans both
// run a diagonal across an ambiguous face they share, four triangles meet
// along it (the surfaces touch, without a gap).
void ExpectClosed(const std::vector<std::array<long, 3>>& tris, const char* what, bool manifold) {
    std::map<std::pair<long, long>, int> directed;
    for (const auto& t : tris) {
        // A vertex that falls on a lattice point (the field exactly at the
        // level there) may be shared by several edges: its flat triangle
        // balances its own sides.
        if (manifold) {
            EXPECT_TRUE(t[0] != t[1] && t[1] != t[2] && t[0] != t[2]) << what;
        }
        for (int k = 0; k < 3; ++k) ++directed[{t[k], t[(k + 1) % 3]}];
    }
    int open = 0;
    for (const auto& [side, count] : directed) {
        auto back = directed.find({side.second, side.first});
        const int backCount = back == directed.end() ? 0 : back->second;
        if (backCount != count || (manifold && count != 1)) ++open;
    }
    EXPECT_EQ(open, 0) << what << ": " << open << " of " << directed.size() << " sides are not shared";
}

TEST(MetaballTables, RandomLatticesGiveClosedSurfaces) {
    // Lattices of random samples (zero on the border, so the surface closes
    // inside) polygonised with the tables, vertices named by lattice edge:
    // the ambiguous faces must be decided alike by both cubes.
    constexpr int N = 7;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 0x7FFF) / 32768.0f;
    };
    for (int trial = 0; trial < 40; ++trial) {
        float v[N][N][N];
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j)
                for (int k = 0; k < N; ++k) {
                    const bool border = i == 0 || j == 0 || k == 0 || i == N - 1 || j == N - 1 || k == N - 1;
                    v[i][j][k] = border ? 0.0f : next();
                }
        std::vector<std::array<long, 3>> tris;
        for (int i = 0; i + 1 < N; ++i)
            for (int j = 0; j + 1 < N; ++j)
                for (int k = 0; k + 1 < N; ++k) {
                    int config = 0;
                    for (int c = 0; c < 8; ++c) {
                        const int8_t* o = Field::s_anCorner[c];
                        if (v[i + o[0]][j + o[1]][k + o[2]] < 0.5f) config |= 1 << c;
                    }
                    auto name = [&](int e) {
                        // The lattice edge, by its two end points in half steps.
                        const int8_t* a = Field::s_anCorner[Field::s_anEdgeCorners[e][0]];
                        const int8_t* b = Field::s_anCorner[Field::s_anEdgeCorners[e][1]];
                        const long x = 2 * i + a[0] + b[0], y = 2 * j + a[1] + b[1], z = 2 * k + a[2] + b[2];
                        return (x * 100 + y) * 100 + z;
                    };
                    for (const auto& t : Triangles(config)) tris.push_back({name(t[0]), name(t[1]), name(t[2])});
                }
        ExpectClosed(tris, "random lattice", false);
    }
}

// A field of four balls sitting still at (cx, cy, cz) with no wobble: a
// sphere of radius 7 * sqrt(1 - iso / 4).
void MakeSphere(Field& f, float cx, float cy, float cz) {
    ASSERT_TRUE(f.init());
    for (int i = 0; i < Field::kBalls; ++i) {
        f.m_pMotion[i] = qvn_SBallMotion{0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    f.moveBalls(0.0f);
    for (int i = 0; i < Field::kBalls; ++i) {
        f.m_pBalls[i] = {cx, cy, cz};
        f.m_afStretchX[i] = 1.0f;
        f.m_afStretchY[i] = 1.0f;
    }
}

// Names a surface vertex by its coordinates: the cubes on both sides of a
// lattice edge compute its vertex alike, bit for bit.
long LatticeName(const Field&, const qvn_SMetaVertex& v) {
    static std::map<std::array<float, 3>, long> names;
    const std::array<float, 3> key = {v.x, v.y, v.z};
    auto it = names.find(key);
    if (it != names.end()) return it->second;
    const long name = static_cast<long>(names.size());
    names[key] = name;
    return name;
}

TEST(MetaballField, ASphereIsClosedAndOnItsIsoSurface) {
    // At the show's level 0.3 the sphere lies just inside the balls' radius,
    // where the field's clamp to 0 bends it: the interpolated vertices may
    // sit up to a quarter step out. At level 2 every crossed lattice edge is
    // inside the radius, and linear interpolation of 4 (1 - r^2 / 49) along
    // a 2-unit edge is off by at most f'' h^2 / 8 / |f'| = 0.1 units.
    const float levels[][2] = {{0.3f, 0.5f}, {2.0f, 0.105f}};
    for (const auto& centre : {std::array<float, 3>{0, 0, 0}, std::array<float, 3>{0.37f, -1.3f, 2.9f}})
        for (const auto& level : levels) {
            Field f;
            MakeSphere(f, centre[0], centre[1], centre[2]);
            f.m_fIsoLevel = level[0];
            f.polygonise();
            ASSERT_GT(f.m_nTriangles, 100);
            const float radius = 7.0f * std::sqrt(1.0f - f.m_fIsoLevel / 4.0f);
            std::vector<std::array<long, 3>> tris;
            float worst = 0.0f;
            for (int i = 0; i < f.m_nTriangles; ++i) {
                std::array<long, 3> t;
                for (int k = 0; k < 3; ++k) {
                    const qvn_SMetaVertex& v = f.m_pTriangles[i].v[k];
                    const float dx = v.x - centre[0], dy = v.y - centre[1], dz = v.z - centre[2];
                    const float r = std::sqrt(dx * dx + dy * dy + dz * dz);
                    worst = std::max(worst, std::fabs(r - radius));
                    // The gradient points into the ball, where the field grows.
                    EXPECT_LT(v.nx * dx + v.ny * dy + v.nz * dz, 0.0f);
                    t[k] = LatticeName(f, v);
                }
                tris.push_back(t);
            }
            EXPECT_LT(worst, level[1]) << level[0];
            ExpectClosed(tris, "sphere", true);
        }
}

TEST(MetaballField, TheSurfaceIsWholeWhereverTheWobbleStretchesIt) {
    // The balls as the show moves them, over a long stretch of ball time:
    // a field sampled only to the bare radius would cut the stretched
    // surface open at the box's low side.
    Field f;
    ASSERT_TRUE(f.init());
    qvn_srand(1);
    f.randomiseMotion();
    for (float T = 0.0f; T < 200.0f; T += 3.7f) {
        f.moveBalls(T);
        f.polygonise();
        ASSERT_GT(f.m_nTriangles, 0);
        ASSERT_LT(f.m_nTriangles, f.m_nMaxTriangles - Field::kMaxTrianglesPerCube) << T;
        std::vector<std::array<long, 3>> tris;
        for (int i = 0; i < f.m_nTriangles; ++i)
            tris.push_back({LatticeName(f, f.m_pTriangles[i].v[0]), LatticeName(f, f.m_pTriangles[i].v[1]),
                            LatticeName(f, f.m_pTriangles[i].v[2])});
        ExpectClosed(tris, "moving balls", false);
    }
}

TEST(MetaballField, TheTriangleBudgetStopsTakingCubes) {
    Field f;
    ASSERT_TRUE(f.init());
    qvn_srand(1);
    f.randomiseMotion();
    f.moveBalls(10.0f);
    f.polygonise();
    const int full = f.m_nTriangles;
    ASSERT_GT(full, 300);
    std::vector<qvn_SMetaTriangle> all(f.m_pTriangles, f.m_pTriangles + full);
    // A budget the surface needs more than: the cubes stop once fewer than
    // five triangles are left, and what was made is the start of the surface.
    f.m_nMaxTriangles = 200;
    f.polygonise();
    EXPECT_GE(f.m_nTriangles, 200 - Field::kMaxTrianglesPerCube);
    EXPECT_LE(f.m_nTriangles, 200);
    for (int i = 0; i < f.m_nTriangles; ++i) EXPECT_EQ(f.m_pTriangles[i].v[2].x, all[i].v[2].x);
    // The show's own budget with balls ten times the size: the buffer is
    // filled to at most its end (an overrun shows under the sanitiser).
    f.m_nMaxTriangles = Field::kMaxTriangles;
    f.m_fRadius = 70.0f;
    f.m_fRadius2 = 4900.0f;
    f.m_fInvRadius2 = 1.0f / 4900.0f;
    f.m_fIsoLevel = 0.05f;
    f.polygonise();
    EXPECT_GE(f.m_nTriangles, Field::kMaxTriangles - Field::kMaxTrianglesPerCube);
    EXPECT_LE(f.m_nTriangles, Field::kMaxTriangles);
}

TEST(MetaballField, AllCornersOnOneSideMakeNothing) {
    EXPECT_TRUE(Triangles(0).empty());
    EXPECT_TRUE(Triangles(255).empty());
    EXPECT_EQ(Field::s_anEdgeTable[0], 0);
    EXPECT_EQ(Field::s_anEdgeTable[255], 0);
}

// A 320 x 240 target inside a larger buffer whose margins must stay intact.
struct SGuarded {
    static constexpr int kPitch = 352, kMargin = 8, kRows = 240 + 2 * kMargin;
    static constexpr uint16_t kGuard = 0xDEAD, kBlank = 0x0000;
    std::vector<uint16_t> buffer = std::vector<uint16_t>(kPitch * kRows, kGuard);
    std::vector<uint16_t> texture = std::vector<uint16_t>(65536);
    SGuarded() {
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) at(x, y) = kBlank;
        for (int i = 0; i < 65536; ++i) texture[i] = static_cast<uint16_t>(0x8000 | i >> 1);
    }
    uint16_t& at(int x, int y) { return buffer[(y + kMargin) * kPitch + kMargin + x]; }
    qvn_SEnvTarget target() { return {&at(0, 0), kPitch, 320, 240}; }
    void fill(qvn_SEnvPoint a, qvn_SEnvPoint b, qvn_SEnvPoint c) {
        qvn_FillEnvTriangle(target(), texture.data(), a, b, c);
    }
    int guardsBroken() const {
        int broken = 0;
        for (int y = 0; y < kRows; ++y)
            for (int x = 0; x < kPitch; ++x) {
                const bool inside = y >= kMargin && y < kMargin + 240 && x >= kMargin && x < kMargin + 320;
                if (!inside && buffer[y * kPitch + x] != kGuard) ++broken;
            }
        return broken;
    }
    int drawn() {
        int n = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) n += at(x, y) != kBlank;
        return n;
    }
};

TEST(EnvFiller, ClipsAtTheFrameEdgesExactly) {
    {
        // x = 320 and y = 240 are outside: a triangle lying there draws nothing.
        SGuarded g;
        g.fill({320, 0, 0, 0}, {400, 100, 0, 0}, {320, 200, 0, 0});
        g.fill({0, 240, 0, 0}, {100, 240, 0, 0}, {50, 300, 0, 0});
        g.fill({-1, 0, 0, 0}, {-100, 100, 0, 0}, {-1, 200, 0, 0});
        EXPECT_EQ(g.drawn(), 0);
        EXPECT_EQ(g.guardsBroken(), 0);
    }
    {
        // A triangle reaching x = 319 is inside and drawn as it is; with its
        // corner on x = 320 it is clipped and still drawn up to the edge.
        SGuarded in, on;
        in.fill({300, 10, 0, 0}, {319, 10, 0, 0}, {300, 60, 0, 0});
        on.fill({300, 10, 0, 0}, {320, 10, 0, 0}, {300, 60, 0, 0});
        EXPECT_GT(in.drawn(), 400);
        EXPECT_GE(on.drawn(), in.drawn() - 60);
        EXPECT_EQ(in.guardsBroken(), 0);
        EXPECT_EQ(on.guardsBroken(), 0);
    }
    {
        // The whole frame and far beyond, every edge case at once.
        SGuarded g;
        g.fill({-5000, -3000, 0, 0}, {9000, -10, 255, 0}, {160, 9000, 0, 255});
        g.fill({0, 0, 0, 0}, {320, 0, 0, 0}, {0, 240, 0, 0});
        g.fill({320, 0, 0, 0}, {320, 240, 0, 0}, {0, 240, 0, 0});
        EXPECT_EQ(g.guardsBroken(), 0);
        EXPECT_GT(g.drawn(), 318 * 238);
    }
}

TEST(EnvFiller, NeverWritesOutsideWhateverTheVertices) {
    SGuarded g;
    uint32_t seed = 99;
    auto next = [&](int lo, int hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + static_cast<int>((seed >> 8) % static_cast<uint32_t>(hi - lo + 1));
    };
    const int edges[] = {-1, 0, 1, 318, 319, 320, 321, 239, 240, 241};
    for (int i = 0; i < 20000; ++i) {
        qvn_SEnvPoint p[3];
        for (auto& v : p) {
            v.x = next(0, 3) == 0 ? edges[next(0, 9)] : next(-700, 1000);
            v.y = next(0, 3) == 0 ? edges[next(0, 9)] : next(-700, 1000);
            v.u = next(0, 255);
            v.v = next(0, 255);
        }
        g.fill(p[0], p[1], p[2]);
    }
    EXPECT_EQ(g.guardsBroken(), 0);
}

TEST(EnvFiller, MapsTexelsAffinelyAcrossTheTriangle) {
    // u follows x and v follows y: each pixel shows the texel of its place.
    SGuarded g;
    for (int i = 0; i < 65536; ++i) g.texture[i] = static_cast<uint16_t>(i);
    g.fill({10, 10, 10, 10}, {210, 10, 210, 10}, {10, 210, 10, 210});
    int checked = 0;
    for (int y = 12; y < 200; y += 7)
        for (int x = 12; x + y < 205; x += 7) {
            const uint16_t p = g.at(x, y);
            EXPECT_NEAR(p & 255, x, 1) << x << "," << y;
            EXPECT_NEAR(p >> 8, y, 1) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 300);
    // Nothing right of the hypotenuse.
    EXPECT_EQ(g.at(150, 150), SGuarded::kBlank);
}

TEST(EnvFiller, FlatTrianglesDrawNothing) {
    SGuarded g;
    g.fill({10, 50, 0, 0}, {200, 50, 0, 0}, {100, 50, 0, 0});  // one line
    g.fill({10, 10, 0, 0}, {20, 20, 0, 0}, {30, 30, 0, 0});     // no width
    EXPECT_EQ(g.drawn(), 0);
}

}  // namespace
