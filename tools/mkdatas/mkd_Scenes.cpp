#include "mkd_Scenes.h"

#include "mkd_Image.h"
#include "mkd_Text.h"

#include <cmath>

namespace mkd {

namespace {

const float kPi = 3.14159265f;
const float kTau = 6.2831853f;

sKey At(sVec3 p, float angle = 0, sVec3 axis = {0, 0, 1}) {
    float l = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z); // rotations want a unit axis
    return {p.x, p.y, p.z, angle, axis.x / l, axis.y / l, axis.z / l};
}

// A camera whose eye and target follow eye(t) and target(t), t in [0, 1) over n
// frames; active over [first, end) of a period (an empty period means always).
template <class E, class T>
int AddCamera(sScene& s, const std::string& name, int n, E eye, T target, float fov, std::vector<sRange> ranges = {},
              float farDist = 500.0f) {
    sObject e = AnimatedObject(name + "_eye", n, [&](float t) { return At(eye(t)); });
    if (!ranges.empty()) e.ranges = ranges;
    int ie = s.AddObject(e);
    int it = s.AddObject(AnimatedObject(name + "_target", n, [&](float t) { return At(target(t)); }));
    sCamera c;
    c.eye = ie;
    c.target = it;
    c.fov = fov;
    c.farDist = farDist;
    c.fovTrack = {fov};
    s.cameras.push_back(c);
    s.targets.push_back(it);
    return (int)s.cameras.size() - 1;
}

std::vector<float> Wave(int n, float base, float amp, float cycles) {
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i) v[i] = base + amp * std::sin(kTau * cycles * i / n);
    return v;
}

int Mat(sScene& s, const char* name, int type, int t0, int t1 = -1, int t2 = -1) {
    sMaterial m;
    m.name = name;
    m.type = type;
    m.tex0 = t0;
    m.tex1 = t1;
    m.tex2 = t2;
    return s.AddMaterial(m);
}

sMesh& NewMesh(sScene& s, int object) {
    s.meshes.emplace_back();
    s.meshes.back().object = object;
    return s.meshes.back();
}

float Hills(float x, float y, uint64_t seed) {
    return (Fbm(x / 40.0f + 50, y / 40.0f + 50, seed, 4) - 0.5f) * 36.0f + std::sin(x * 0.05f) * 3.0f;
}
float Flat(float, float, uint64_t) { return 0.0f; }

// Rays of additive quads (light shafts), crossed so they read from any side.
void Beam(sMesh& m, sVec3 base, float w, float h, int mat) {
    AddQuad(m, {base.x - w, base.y, base.z}, {base.x + w, base.y, base.z}, {base.x + w, base.y, base.z + h},
            {base.x - w, base.y, base.z + h}, mat);
    AddQuad(m, {base.x + w, base.y, base.z}, {base.x - w, base.y, base.z}, {base.x - w, base.y, base.z + h},
            {base.x + w, base.y, base.z + h}, mat);
    AddQuad(m, {base.x, base.y - w, base.z}, {base.x, base.y + w, base.z}, {base.x, base.y + w, base.z + h},
            {base.x, base.y - w, base.z + h}, mat);
    AddQuad(m, {base.x, base.y + w, base.z}, {base.x, base.y - w, base.z}, {base.x, base.y - w, base.z + h},
            {base.x, base.y + w, base.z + h}, mat);
}

void Pillars(sScene& s, uint64_t seed) {
    s.title = "pillars";
    int tFloor = s.AddTexture(TexChecker({20, 12, 6, 110, 70, 30, 230, 180, 110}, seed, 8));
    int tPillar = s.AddTexture(TexBricks({30, 16, 8, 150, 90, 40, 240, 200, 140}, seed + 1, 32, 16));
    int tBeam = s.AddTexture(TexStripes({0, 0, 0, 70, 35, 5, 150, 110, 55}, seed + 2, 3, false)); // added light: keep it dim
    int tOrb = s.AddTexture(TexNoise({40, 10, 0, 160, 80, 20, 255, 220, 160}, seed + 3, 32));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 90, 60, 30, 255, 240, 200}));
    int mFloor = Mat(s, "floor", 2, tFloor), mPillar = Mat(s, "pillar", 2, tPillar);
    int mBeam = Mat(s, "beam", 0, tBeam), mOrb = Mat(s, "orb", 2, tOrb, tEnv);

    int ground = s.AddObject(StaticObject("ground", {0, 0, 0}));
    AddGrid(NewMesh(s, ground), -120, -120, 120, 120, 20, 20, mFloor, 8, Flat, seed);
    for (int i = 0; i < 16; ++i) {
        float x = (i % 4 - 1.5f) * 55, y = (i / 4 - 1.5f) * 55;
        if (i == 5 || i == 6 || i == 9 || i == 10) continue; // leave the centre to the orb
        int o = s.AddObject(StaticObject("pillar" + std::to_string(i), {x, y, 0}));
        AddCylinder(NewMesh(s, o), {0, 0, 0}, 6, 70, 14, 5, mPillar, 2, 4, false, true);
        int b = s.AddObject(StaticObject("beam" + std::to_string(i), {x, y, 0}));
        Beam(NewMesh(s, b), {0, 0, 0}, 6, 110, mBeam);
    }
    int orb = s.AddObject(AnimatedObject("orb", 480, [](float t) {
        return At({0, 0, 26 + 6 * std::sin(kTau * 2 * t)}, kTau * t, {0.3f, 0.2f, 0.93f});
    }));
    AddSphere(NewMesh(s, orb), {0, 0, 0}, 16, 20, 12, mOrb, 2, 1, 0.15f, seed);
    // Ring around the orb, parented to it, so it follows the orb's motion.
    int halo = s.AddObject(AnimatedObject("orb_ring", 240, [](float t) { return At({0, 0, 0}, -kTau * t, {1, 0, 0}); }, orb));
    AddTorus(NewMesh(s, halo), {0, 0, 0}, 26, 1.5f, 32, 5, mOrb, 8, 1);

    int n = 600;
    AddCamera(s, "orbit", n, [](float t) { return sVec3{150 * std::cos(kTau * t), 150 * std::sin(kTau * t), 60 + 20 * std::sin(kTau * 2 * t)}; },
              [](float) { return sVec3{0, 0, 25}; }, 1.1f);
    // Walks down the aisle between the first two rows of pillars, looking ahead and in.
    int c1 = AddCamera(s, "walk", n, [](float t) { return sVec3{-100 + 150 * t, -55, 18}; },
                       [](float t) { return sVec3{-50 + 150 * t, -20, 30}; }, 1.3f, {{0, 300, 0.0f}, {300, 600, 1.0f}});
    s.cameras[0].fovTrack = Wave(300, 1.1f, 0.25f, 1);
    s.cameras[c1].roll = Wave(200, 0.0f, 0.12f, 1);
}

void Verta(sScene& s, uint64_t seed) {
    s.title = "verta";
    int tLand = s.AddTexture(TexGrid({0, 10, 4, 20, 120, 60, 160, 255, 190}, seed, 8));
    int tCube = s.AddTexture(TexGlyphs({0, 0, 0, 30, 140, 60, 180, 255, 200}, seed + 1));
    int mLand = Mat(s, "land", 2, tLand), mCube = Mat(s, "glyphcube", 0, tCube);
    int land = s.AddObject(StaticObject("land", {0, 0, 0}));
    AddGrid(NewMesh(s, land), -200, -200, 200, 200, 38, 38, mLand, 10, Hills, seed);
    cRng rng(seed);
    for (int i = 0; i < 12; ++i) {
        sVec3 p{rng.Range(-150, 150), rng.Range(-150, 150), rng.Range(30, 60)};
        float spin = rng.Range(1, 3);
        int o = s.AddObject(AnimatedObject("cube" + std::to_string(i), 360, [&](float t) {
            return At({p.x, p.y, p.z + 6 * std::sin(kTau * t)}, kTau * t * std::floor(spin), {0.4f, 0.5f, 0.77f});
        }));
        AddBox(NewMesh(s, o), {-6, -6, -6}, {6, 6, 6}, mCube, 0.8f);
    }
    int n = 900;
    auto glide = [](float t) {
        return sVec3{160 * std::sin(kTau * t), 160 * std::sin(kTau * 2 * t) * 0.6f, 55 + 10 * std::sin(kTau * 3 * t)};
    };
    AddCamera(s, "glide", n, glide, [&](float t) {
        sVec3 a = glide(t), b = glide(std::fmod(t + 0.02f, 1.0f));
        return sVec3{a.x + (b.x - a.x) * 6, a.y + (b.y - a.y) * 6, 20};
    }, 1.2f);
    int c1 = AddCamera(s, "high", n, [](float t) { return sVec3{0, -60 * std::cos(kTau * t), 160}; },
                       [](float t) { return sVec3{40 * std::sin(kTau * t), 0, 0}; }, 1.0f,
                       {{0, 450, 0.0f}, {450, 640, 1.0f}, {640, 900, 0.0f}});
    s.cameras[0].roll = Wave(450, 0.0f, 0.25f, 1);
    s.cameras[c1].fovTrack = Wave(240, 1.0f, 0.3f, 1);
}

void Horror(sScene& s, uint64_t seed) {
    s.title = "horror";
    int tWall = s.AddTexture(TexBricks({8, 2, 2, 70, 20, 20, 150, 90, 80}, seed, 64, 32));
    int tFloor = s.AddTexture(TexChecker({5, 2, 2, 50, 20, 20, 120, 90, 80}, seed + 1, 4));
    int tChrome = s.AddTexture(TexEnvironment({0, 0, 0, 120, 30, 30, 255, 230, 220}));
    int tLace = s.AddTexture(TexNoise({60, 0, 0, 180, 40, 40, 255, 200, 180}, seed + 2, 24));
    int tMask = s.AddTexture(TexMaskHoles(8, 0.7f));
    int mWall = Mat(s, "wall", 2, tWall), mFloor = Mat(s, "floor", 2, tFloor);
    int mChrome = Mat(s, "chrome", 2, -1, tChrome), mLace = Mat(s, "lace", 2, tLace, -1, tMask);

    int room = s.AddObject(StaticObject("room", {0, 0, 0}));
    sMesh& r = NewMesh(s, room);
    AddGrid(r, -80, -80, 80, 80, 12, 12, mFloor, 4, Flat, seed);
    AddGrid(r, -80, -80, 80, 80, 8, 8, mWall, 3, [](float, float, uint64_t) { return 90.0f; }, seed, true);
    AddWalls(r, {-80, -80, 0}, {80, 80, 90}, 8, mWall, 3);
    // Curtains of lace hanging along two walls: seen through where the mask is black.
    for (int i = 0; i < 6; ++i) {
        float x = -60 + i * 24;
        AddQuad(r, {x, 70, 5}, {x + 20, 70, 5}, {x + 20, 70, 80}, {x, 70, 80}, mLace, {0, 3}, {1, 3}, {1, 0}, {0, 0});
        AddQuad(r, {x + 20, 70, 5}, {x, 70, 5}, {x, 70, 80}, {x + 20, 70, 80}, mLace, {0, 3}, {1, 3}, {1, 0}, {0, 0});
    }
    // A chandelier: a turning hub with six arms, each arm swinging a lantern (three levels of parents).
    int hub = s.AddObject(AnimatedObject("hub", 720, [](float t) { return At({0, 0, 70}, kTau * t, {0, 0, 1}); }));
    AddTorus(NewMesh(s, hub), {0, 0, 0}, 14, 2.5f, 24, 8, mChrome);
    for (int i = 0; i < 6; ++i) {
        float a = kTau * i / 6;
        int arm = s.AddObject(StaticObject("arm" + std::to_string(i), {0, 0, 0}, a, {0, 0, 1}, hub));
        AddBox(NewMesh(s, arm), {12, -1, -1}, {34, 1, 1}, mChrome);
        int lantern = s.AddObject(AnimatedObject("lantern" + std::to_string(i), 180, [&](float t) {
            return At({34, 0, -8}, 0.4f * std::sin(kTau * t + i), {1, 0, 0});
        }, arm));
        AddSphere(NewMesh(s, lantern), {0, 0, -6}, 5, 10, 6, mChrome);
    }
    int n = 800;
    AddCamera(s, "prowl", n, [](float t) { return sVec3{60 * std::cos(kTau * t), 60 * std::sin(kTau * t), 30 + 15 * std::sin(kTau * 2 * t)}; },
              [](float) { return sVec3{0, 0, 55}; }, 1.3f);
    int c1 = AddCamera(s, "corner", n, [](float) { return sVec3{-70, -70, 80}; },
                       [](float t) { return sVec3{30 * std::cos(kTau * t), 30 * std::sin(kTau * t), 40}; }, 1.0f,
                       {{0, 500, 0.0f}, {500, 800, 1.0f}});
    s.cameras[c1].roll = Wave(300, 0.15f, 0.1f, 1);
}

void Nawak(sScene& s, uint64_t seed) {
    s.title = "nawak";
    int tCube = s.AddTexture(TexChecker({60, 0, 60, 220, 60, 160, 255, 240, 80}, seed, 4));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 120, 40, 120, 255, 240, 200}));
    int tRing = s.AddTexture(TexStripes({0, 0, 0, 140, 40, 110, 255, 220, 90}, seed + 1, 8, true));
    int tChrome = s.AddTexture(TexEnvironment({10, 0, 20, 200, 120, 40, 255, 255, 220}));
    int mCube = Mat(s, "cube", 2, tCube, tEnv), mRing = Mat(s, "ring", 0, tRing), mBlob = Mat(s, "blob", 2, -1, tChrome);
    int spinner = s.AddObject(AnimatedObject("spinner", 600, [](float t) { return At({0, 0, 0}, kTau * t, {0.2f, 0.3f, 0.93f}); }));
    AddSphere(NewMesh(s, spinner), {0, 0, 0}, 14, 24, 14, mBlob, 1, 1, 0.35f, seed);
    for (int i = 0; i < 12; ++i) {
        float a = kTau * i / 12;
        int o = s.AddObject(AnimatedObject("satellite" + std::to_string(i), 200, [&](float t) {
            return At({40 * std::cos(a), 40 * std::sin(a), 8 * std::sin(a * 3)}, kTau * t, {std::cos(a), std::sin(a), 0.5f});
        }, spinner));
        AddBox(NewMesh(s, o), {-5, -5, -5}, {5, 5, 5}, mCube, 1.0f);
    }
    int ring = s.AddObject(AnimatedObject("ring", 300, [](float t) { return At({0, 0, 0}, -kTau * t, {1, 0.2f, 0}); }));
    AddTorus(NewMesh(s, ring), {0, 0, 0}, 60, 3, 48, 8, mRing, 12, 1);
    AddCamera(s, "watch", 400, [](float t) { return sVec3{130 * std::cos(kTau * t), 130 * std::sin(kTau * t), 40}; },
              [](float) { return sVec3{0, 0, 0}; }, 1.1f);
    s.cameras[0].roll = Wave(400, 0.0f, 0.4f, 2);
}

std::vector<sVec3> Loop(int n, float R, float wob, float lift) {
    std::vector<sVec3> p(n + 1);
    for (int i = 0; i <= n; ++i) {
        float a = kTau * i / n;
        p[i] = {R * std::cos(a) + wob * std::cos(3 * a), R * std::sin(a) + wob * std::sin(2 * a), lift * std::sin(2 * a)};
    }
    return p;
}

void Maxitub(sScene& s, uint64_t seed) {
    s.title = "maxitub";
    int tWall = s.AddTexture(TexStripes({0, 10, 20, 20, 120, 130, 200, 255, 240}, seed, 6, true));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 60, 20, 100, 220, 180, 255}));
    int tRib = s.AddTexture(TexStripes({0, 0, 0, 100, 30, 160, 240, 200, 255}, seed + 1, 4, false));
    int mWall = Mat(s, "wall", 2, tWall, tEnv), mRib = Mat(s, "glowrib", 0, tRib);
    std::vector<sVec3> path = Loop(96, 220, 40, 30);
    int tube = s.AddObject(StaticObject("tube", {0, 0, 0}));
    AddPathTube(NewMesh(s, tube), path, 14, 14, mWall, 2, 0.5f, true, 0.15f);
    int ribs = s.AddObject(StaticObject("ribs", {0, 0, 0}));
    sMesh& rm = NewMesh(s, ribs);
    for (int k = 0; k < 96; k += 8) AddPathTube(rm, {path[k], path[k + 1]}, 11, 12, mRib, 2, 1, true);
    int n = 1200;
    auto along = [path](float t) {
        float f = t * 96;
        int i = (int)f % 96;
        float a = f - std::floor(f);
        const sVec3 &p = path[i], &q = path[i + 1];
        return sVec3{p.x + (q.x - p.x) * a, p.y + (q.y - p.y) * a, p.z + (q.z - p.z) * a};
    };
    AddCamera(s, "ride", n, along, [along](float t) { return along(std::fmod(t + 0.012f, 1.0f)); }, 1.4f);
    s.cameras[0].roll = Wave(n, 0.0f, kPi, 1);
}

void Glon(sScene& s, uint64_t seed) {
    s.title = "glon";
    int tSkin = s.AddTexture(TexNoise({30, 0, 40, 150, 60, 170, 255, 200, 90}, seed, 20));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 100, 50, 140, 255, 230, 160}));
    int tSky = s.AddTexture(TexNoise({5, 0, 10, 40, 10, 50, 120, 70, 40}, seed + 1, 48));
    int tMoon = s.AddTexture(TexNoise({80, 50, 10, 200, 150, 60, 255, 240, 190}, seed + 2, 16));
    int mSkin = Mat(s, "skin", 2, tSkin, tEnv), mSky = Mat(s, "sky", 2, tSky), mMoon = Mat(s, "moon", 2, tMoon);
    int sky = s.AddObject(StaticObject("sky", {0, 0, 0}));
    sMesh& sm = NewMesh(s, sky);
    AddSphere(sm, {0, 0, 0}, 400, 24, 12, mSky, 4, 2);
    for (sFace& f : sm.faces) std::swap(f.v[1], f.v[2]), std::swap(f.t[1], f.t[2]); // seen from inside
    int glon = s.AddObject(AnimatedObject("glon", 600, [](float t) { return At({0, 0, 5 * std::sin(kTau * 2 * t)}, kTau * t, {0, 0.3f, 0.95f}); }));
    AddSphere(NewMesh(s, glon), {0, 0, 0}, 30, 32, 18, mSkin, 3, 2, 0.45f, seed);
    for (int i = 0; i < 5; ++i) {
        float a = kTau * i / 5;
        int m = s.AddObject(AnimatedObject("moon" + std::to_string(i), 240, [&](float t) {
            return At({55 * std::cos(a + kTau * t), 55 * std::sin(a + kTau * t), 12 * std::sin(2 * a + kTau * t)}, kTau * t * 2, {1, 0, 0});
        }, glon));
        AddSphere(NewMesh(s, m), {0, 0, 0}, 6, 12, 8, mMoon, 1, 1, 0.3f, seed + i);
    }
    int n = 600;
    AddCamera(s, "front", n, [](float t) { return sVec3{120 * std::cos(kTau * t * 0.5f), -120, 30}; },
              [](float) { return sVec3{0, 0, 0}; }, 1.0f);
    AddCamera(s, "close", n, [](float t) { return sVec3{70 * std::cos(kTau * t), 70 * std::sin(kTau * t), -20}; },
              [](float) { return sVec3{0, 0, 10}; }, 1.4f, {{0, 200, 0.0f}, {200, 400, 1.0f}, {400, 600, 0.0f}});
    AddCamera(s, "above", n, [](float t) { return sVec3{20 * std::sin(kTau * t), 10, 150}; },
              [](float) { return sVec3{0, 0, 0}; }, 0.9f, {{0, 400, 0.0f}, {400, 600, 1.0f}});
    s.cameras[0].fovTrack = Wave(600, 1.0f, 0.2f, 2);
    s.cameras[2].roll = Wave(200, 0.0f, 0.5f, 1);
}

// Fogged tunnels: a straight tunnel whose pattern repeats every `period` along Y,
// so a camera that travels one period and starts over shows no jump.
void Tunnel(sScene& s, uint64_t seed, bool ribs) {
    s.title = ribs ? "chromatunnel ribs" : "chromatunnel";
    s.fog = true;
    float fogc[4] = {0.0f, 0.1f, 0.3f, 1.0f};
    for (int i = 0; i < 4; ++i) s.fogColour[i] = fogc[i];
    const float period = 40, length = 520;
    int o = s.AddObject(StaticObject("tunnel", {0, 0, 0}));
    sMesh& m = NewMesh(s, o);
    if (ribs) {
        int tRib = s.AddTexture(TexStripes({0, 20, 40, 40, 140, 220, 220, 250, 255}, seed, 4, false));
        int tBar = s.AddTexture(TexGrid({0, 10, 30, 30, 90, 160, 200, 230, 255}, seed + 1, 2));
        int mRib = Mat(s, "rib", 2, tRib), mBar = Mat(s, "bar", 2, tBar);
        for (float y = 0; y < length; y += period / 4)
            AddPathTube(m, {{0, y, 0}, {0, y + 2.5f, 0}}, 18, 16, mRib, 4, 1, true);
        for (int k = 0; k < 4; ++k) { // four rails spiralling with the period
            std::vector<sVec3> p;
            for (float y = 0; y <= length; y += 10) {
                float a = kTau * (k / 4.0f + y / (period * 2));
                p.push_back({15 * std::cos(a), y, 15 * std::sin(a)});
            }
            AddPathTube(m, p, 1.2f, 4, mBar, 1, 0.2f, false);
        }
    } else {
        int tWall = s.AddTexture(TexGrid({0, 0, 10, 20, 60, 140, 160, 220, 255}, seed, 4));
        int tFloor = s.AddTexture(TexNoise({0, 0, 10, 30, 80, 150, 150, 210, 255}, seed + 1, 24));
        int mWall = Mat(s, "wall", 2, tWall), mFloor = Mat(s, "floor", 2, tFloor);
        std::vector<sVec3> p;
        for (float y = 0; y <= length; y += period / 4) p.push_back({0, y, 0});
        AddPathTube(m, p, 28, 8, mWall, 2, 0.25f, true, 0.1f);
        AddGrid(m, -14, 0, 14, length, 2, 52, mFloor, 13, [](float, float, uint64_t) { return -20.0f; }, seed);
    }
    int n = ribs ? 240 : 400; // frames per period: the second tunnel drifts slower
    float travel = period * (ribs ? 2 : 1);
    AddCamera(s, "fly", n, [=](float t) { return sVec3{3 * std::sin(kTau * t), 10 + travel * t, 2 * std::cos(kTau * t)}; },
              [=](float t) { return sVec3{0, 60 + travel * t, 0}; }, 1.3f, {}, 300.0f);
    s.cameras[0].roll = Wave(n, 0.0f, ribs ? kPi : 0.3f, 1);
}

void Salle(sScene& s, uint64_t seed) {
    s.title = "salle";
    int tFloor = s.AddTexture(TexChecker({10, 0, 20, 80, 40, 110, 200, 160, 240}, seed, 8));
    int tWall = s.AddTexture(TexBricks({10, 5, 20, 70, 40, 100, 170, 140, 210}, seed + 1, 32, 16));
    int tGrille = s.AddTexture(TexStripes({20, 0, 30, 160, 100, 200, 255, 230, 255}, seed + 2, 8, false));
    int tMask = s.AddTexture(TexMaskHoles(16, 0.6f));
    int tChrome = s.AddTexture(TexEnvironment({0, 0, 0, 110, 60, 160, 255, 240, 255}));
    int mFloor = Mat(s, "floor", 2, tFloor), mWall = Mat(s, "wall", 2, tWall);
    int mGrille = Mat(s, "grille", 2, tGrille, -1, tMask), mChrome = Mat(s, "chrome", 2, -1, tChrome);
    int room = s.AddObject(StaticObject("room", {0, 0, 0}));
    sMesh& r = NewMesh(s, room);
    AddGrid(r, -100, -100, 100, 100, 14, 14, mFloor, 6, [](float, float, uint64_t) { return -40.0f; }, seed);
    AddGrid(r, -100, -100, 100, 100, 10, 10, mWall, 4, [](float, float, uint64_t) { return 80.0f; }, seed, true);
    AddWalls(r, {-100, -100, -40}, {100, 100, 80}, 10, mWall, 4);
    for (int i = 0; i < 4; ++i) { // grilles in front of the walls, the wall showing through
        float x = -75 + i * 50;
        AddQuad(r, {x, 95, -30}, {x + 40, 95, -30}, {x + 40, 95, 60}, {x, 95, 60}, mGrille, {0, 2}, {2, 2}, {2, 0}, {0, 0});
        AddQuad(r, {-95, x + 40, -30}, {-95, x, -30}, {-95, x, 60}, {-95, x + 40, 60}, mGrille, {0, 2}, {2, 2}, {2, 0}, {0, 0});
    }
    for (int i = 0; i < 2; ++i) {
        int t = s.AddObject(AnimatedObject("sculpture" + std::to_string(i), 500, [&](float u) {
            return At({i ? 60.0f : -60.0f, 60, -10}, kTau * u * (i ? 1 : -1), {0.5f, 0.2f, 0.84f});
        }));
        AddTorus(NewMesh(s, t), {0, 0, 0}, 16, 5, 32, 10, mChrome);
    }
    AddCamera(s, "sway", 900, [](float t) { return sVec3{40 * std::sin(kTau * t), -90, 10 + 10 * std::sin(kTau * 2 * t)}; },
              [](float t) { return sVec3{20 * std::sin(kTau * t + 1), 40, 0}; }, 1.3f);
}

void Piece(sScene& s, uint64_t seed) {
    s.title = "piece";
    int tFloor = s.AddTexture(TexChecker({5, 5, 10, 80, 90, 110, 210, 220, 240}, seed, 8));
    int tPiece = s.AddTexture(TexNoise({20, 25, 40, 110, 120, 150, 230, 235, 250}, seed + 1, 24));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 70, 80, 110, 240, 245, 255}));
    int tGlow = s.AddTexture(TexStripes({0, 0, 0, 40, 70, 120, 180, 220, 255}, seed + 2, 5, true));
    int tScreen = s.AddTexture(TexGrid({10, 10, 20, 90, 100, 130, 220, 230, 250}, seed + 3, 8));
    int tMask = s.AddTexture(TexMaskHoles(8, 0.8f));
    int mFloor = Mat(s, "board", 2, tFloor), mPiece = Mat(s, "piece", 2, tPiece, tEnv);
    int mGlow = Mat(s, "glow", 0, tGlow), mScreen = Mat(s, "screen", 2, tScreen, -1, tMask);
    int board = s.AddObject(StaticObject("board", {0, 0, 0}));
    AddGrid(NewMesh(s, board), -80, -80, 80, 80, 16, 16, mFloor, 2, Flat, seed);
    cRng rng(seed);
    for (int i = 0; i < 8; ++i) {
        float x = (i % 4 - 1.5f) * 36, y = (i / 4 - 0.5f) * 50;
        float h = rng.Range(18, 40);
        int o = s.AddObject(AnimatedObject("piece" + std::to_string(i), 300, [&](float t) {
            return At({x, y, 3 * std::fabs(std::sin(kTau * t + i))}, kTau * t, {0, 0, 1});
        }));
        sMesh& m = NewMesh(s, o);
        AddCylinder(m, {0, 0, 0}, 7, h, 12, 3, mPiece, 1, 1, false, true);
        AddSphere(m, {0, 0, h + 5}, 6, 12, 8, mPiece);
        Beam(m, {0, 0, h + 5}, 10, 2, mGlow);
    }
    AddQuad(NewMesh(s, board), {-80, 70, 0}, {80, 70, 0}, {80, 70, 70}, {-80, 70, 70}, mScreen, {0, 2}, {4, 2}, {4, 0}, {0, 0});
    AddCamera(s, "circle", 720, [](float t) { return sVec3{110 * std::cos(kTau * t), 110 * std::sin(kTau * t), 55}; },
              [](float) { return sVec3{0, 0, 15}; }, 1.1f);
    int c1 = AddCamera(s, "low", 720, [](float t) { return sVec3{-70 + 140 * t, -60, 12}; },
                       [](float t) { return sVec3{-40 + 140 * t, 0, 20}; }, 1.4f, {{0, 360, 0.0f}, {360, 720, 1.0f}});
    s.cameras[c1].roll = Wave(360, 0.0f, 0.2f, 1);
}

void Train(sScene& s, uint64_t seed) {
    s.title = "train";
    int tLand = s.AddTexture(TexNoise({10, 30, 5, 80, 150, 40, 220, 240, 140}, seed, 24));
    int tCar = s.AddTexture(TexStripes({40, 40, 5, 200, 200, 40, 255, 255, 200}, seed + 1, 6, false));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 80, 120, 40, 250, 255, 220}));
    int tWheel = s.AddTexture(TexChecker({10, 10, 0, 90, 90, 40, 200, 200, 150}, seed + 2, 4));
    int mLand = Mat(s, "land", 2, tLand), mCar = Mat(s, "car", 2, tCar, tEnv), mWheel = Mat(s, "wheel", 2, tWheel);
    int land = s.AddObject(StaticObject("land", {0, 0, 0}));
    AddGrid(NewMesh(s, land), -260, -260, 260, 260, 30, 30, mLand, 8, [](float x, float y, uint64_t sd) {
        float r = std::sqrt(x * x + y * y);
        float track = std::exp(-std::pow((r - 150) / 30, 2.0f)); // flatten the ring the train runs on
        return (Hills(x, y, sd) + 12) * (1 - track) - 6;
    }, seed);
    const int n = 900;
    for (int c = 0; c < 7; ++c) {
        float lag = c * 0.022f;
        int car = s.AddObject(AnimatedObject("car" + std::to_string(c), n, [&](float t) {
            float a = kTau * (t - lag);
            return At({150 * std::cos(a), 150 * std::sin(a), 4}, a, {0, 0, 1});
        }));
        sMesh& m = NewMesh(s, car);
        if (c == 0)
            AddSphere(m, {0, 0, 8}, 8, 16, 10, mCar);
        else if (c % 2)
            AddBox(m, {-7, -9, 0}, {7, 9, 14}, mCar);
        else
            AddCylinder(m, {0, 0, 0}, 7, 14, 12, 2, mCar, 1, 1, false, true);
        for (int w = 0; w < 4; ++w) { // wheels: children of the car that spin on their own
            float wx = (w & 1) ? 8.0f : -8.0f, wy = (w & 2) ? 6.0f : -6.0f;
            int wheel = s.AddObject(AnimatedObject("wheel" + std::to_string(c * 4 + w), 60, [&](float t) {
                return At({wx, wy, 0}, kTau * t, {1, 0, 0});
            }, car));
            AddCylinder(NewMesh(s, wheel), {0, 0, -1}, 3, 2, 10, 1, mWheel, 1, 1, false, true);
        }
    }
    AddCamera(s, "chase", n, [](float t) {
        float a = kTau * (t - 0.09f);
        return sVec3{185 * std::cos(a), 185 * std::sin(a), 30};
    }, [](float t) { float a = kTau * t; return sVec3{150 * std::cos(a), 150 * std::sin(a), 5}; }, 1.2f);
    AddCamera(s, "tower", n, [](float) { return sVec3{0, 0, 120}; },
              [](float t) { float a = kTau * (t - 0.05f); return sVec3{150 * std::cos(a), 150 * std::sin(a), 0}; }, 0.8f,
              {{0, 300, 0.0f}, {300, 450, 1.0f}, {450, 750, 0.0f}, {750, 900, 1.0f}});
    s.cameras[1].fovTrack = Wave(150, 0.8f, 0.25f, 1);
}

void TheEnd(sScene& s, uint64_t seed) {
    s.title = "the end";
    int tMetal = s.AddTexture(TexNoise({60, 40, 0, 200, 150, 40, 255, 240, 180}, seed, 16));
    int tEnv = s.AddTexture(TexEnvironment({0, 0, 0, 140, 90, 20, 255, 250, 220}));
    int tStar = s.AddTexture(TexEnvironment({0, 0, 0, 0, 0, 0, 255, 220, 160}));
    int mLetter = Mat(s, "letters", 2, tMetal, tEnv), mStar = Mat(s, "stars", 0, tStar);
    // Letters as voxels: render the words small, then one block per lit pixel
    // with only the faces that border an empty neighbour.
    cImage glyphs(64, 16);
    DrawTextInBand(glyphs, "THE END", FONT_SANS_BOLD, 13, 32, 1, 15, {1, 1, 1});
    auto lit = [&](int x, int y) { return x >= 0 && y >= 0 && x < 64 && y < 16 && glyphs.At(x, y).r > 0.5f; };
    int word = s.AddObject(AnimatedObject("words", 720, [](float t) {
        return At({0, 0, 0}, 0.35f * std::sin(kTau * t), {0, 0, 1});
    }));
    sMesh& m = NewMesh(s, word);
    const float c = 3.0f, d = 6.0f;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            if (!lit(x, y)) continue;
            float x0 = (x - 32) * c, x1 = x0 + c, z1 = (8 - y) * c, z0 = z1 - c, y0 = -d * 0.5f, y1 = d * 0.5f;
            sUV a{x / 64.0f * 4, y / 16.0f}, b{(x + 1) / 64.0f * 4, y / 16.0f}, cc{(x + 1) / 64.0f * 4, (y + 1) / 16.0f}, dd{x / 64.0f * 4, (y + 1) / 16.0f};
            AddQuad(m, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, mLetter, dd, cc, b, a); // front (-Y)
            AddQuad(m, {x1, y1, z0}, {x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, mLetter, dd, cc, b, a); // back
            if (!lit(x, y - 1)) AddQuad(m, {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, mLetter, a, b, cc, dd);
            if (!lit(x, y + 1)) AddQuad(m, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, {x0, y0, z0}, mLetter, a, b, cc, dd);
            if (!lit(x - 1, y)) AddQuad(m, {x0, y1, z0}, {x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, mLetter, a, b, cc, dd);
            if (!lit(x + 1, y)) AddQuad(m, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, mLetter, a, b, cc, dd);
        }
    int stars = s.AddObject(AnimatedObject("stars", 1200, [](float t) { return At({0, 0, 0}, kTau * t, {0, 0, 1}); }));
    sMesh& sm = NewMesh(s, stars);
    cRng rng(seed);
    for (int i = 0; i < 150; ++i) {
        float a = rng.Range(0, kTau), e = rng.Range(-0.6f, 0.9f), r = rng.Range(150, 260), sz = rng.Range(2, 5);
        sVec3 p{r * std::cos(a) * std::cos(e), r * std::sin(a) * std::cos(e), r * std::sin(e)};
        sVec3 u{-std::sin(a) * sz, std::cos(a) * sz, 0}, v{0, 0, sz};
        // Stars face the centre, where the camera is.
        AddQuad(sm, {p.x - u.x - v.x, p.y - u.y - v.y, p.z - v.z}, {p.x - u.x + v.x, p.y - u.y + v.y, p.z + v.z},
                {p.x + u.x + v.x, p.y + u.y + v.y, p.z + v.z}, {p.x + u.x - v.x, p.y + u.y - v.y, p.z - v.z}, mStar,
                {0, 0}, {0, 1}, {1, 1}, {1, 0});
    }
    AddCamera(s, "gaze", 720, [](float t) { return sVec3{50 * std::sin(kTau * t), -190, 20 * std::sin(kTau * 2 * t)}; },
              [](float) { return sVec3{0, 0, 0}; }, 1.1f);
    s.cameras[0].fovTrack = Wave(720, 1.1f, 0.15f, 1);
    s.cameras[0].roll = Wave(360, 0.0f, 0.1f, 1);
}

} // namespace

bool MakeScene(const std::string& name, uint64_t seed, sScene& out) {
    out = sScene();
    if (name == "pilliers.qvn") Pillars(out, seed);
    else if (name == "verta.qvn") Verta(out, seed);
    else if (name == "horror.qvn") Horror(out, seed);
    else if (name == "nawak.qvn") Nawak(out, seed);
    else if (name == "maxitub.qvn") Maxitub(out, seed);
    else if (name == "glon.qvn") Glon(out, seed);
    else if (name == "chromatunnel1.qvn") Tunnel(out, seed, true);
    else if (name == "chromatunnel2.qvn") Tunnel(out, seed, false);
    else if (name == "sallemetaballs.qvn") Salle(out, seed);
    else if (name == "piecef.qvn") Piece(out, seed);
    else if (name == "train.qvn") Train(out, seed);
    else if (name == "theend.qvn") TheEnd(out, seed);
    else return false;
    return true;
}

} // namespace mkd
