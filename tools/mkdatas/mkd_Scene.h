// Scene description and the gzip writer of the .qvn record layout, written from
// the layout itself (not from the engine's importer), plus procedural geometry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkd {

struct sVec3 { float x, y, z; };
struct sUV { float u, v; };

// 256 x 256 paletted texture (palette of 256 red, green, blue triples).
struct sTexture {
    int w = 256, h = 256;
    std::vector<uint8_t> palette = std::vector<uint8_t>(768, 0);
    std::vector<uint8_t> pixels = std::vector<uint8_t>(256 * 256, 0);
};

struct sMaterial {
    std::string name;
    int type = 2;        // 0: additive texture; 2: copy, masked, environment, fog
    int tex0 = -1;       // indices into sScene::textures, -1 for none
    int tex1 = -1;       // environment map
    int tex2 = -1;       // mask
};

struct sKey { float px, py, pz, angle, ax, ay, az; };
struct sTrack {
    std::string name;
    bool isStatic = false; // written with key count -1 and exactly one key
    std::vector<sKey> keys;
};
struct sRange { int first, end; float value; };

struct sObject {
    std::string name;
    int parent = -1;
    std::vector<sTrack> tracks; // the last one is the one played
    std::vector<sRange> ranges;
};

struct sCamera {
    int eye, target;
    float nearDist = 1.0f, farDist = 500.0f, fov = 1.2f;
    std::vector<float> roll{0.0f}, fovTrack{1.2f};
};

struct sFace { int v[3], t[3], material; };
struct sMesh {
    int object = 0;
    std::vector<sVec3> verts;
    std::vector<sUV> uvs;
    std::vector<sFace> faces;
};

struct sScene {
    std::string title;
    bool fog = false;
    float fogColour[4] = {0, 0, 0, 0};
    std::vector<sTexture> textures;
    std::vector<sMaterial> materials;
    std::vector<sObject> objects;
    std::vector<sCamera> cameras;
    std::vector<int> targets;
    std::vector<sMesh> meshes;

    int AddTexture(sTexture t) { textures.push_back(std::move(t)); return (int)textures.size() - 1; }
    int AddMaterial(const sMaterial& m) { materials.push_back(m); return (int)materials.size() - 1; }
    int AddObject(sObject o) { objects.push_back(std::move(o)); return (int)objects.size() - 1; }
    size_t FaceCount() const;
    // Texture-cache slots the scene occupies once registered: one per texture,
    // two per texture of a fogged scene (indices plus shade table).
    int TextureSlots() const;
};

// The uncompressed record stream; WriteQvn gzips the same bytes.
std::vector<uint8_t> SerializeQvn(const sScene& s);
bool WriteQvn(const std::string& path, const sScene& s);

// ---- objects and tracks ----
sObject StaticObject(const std::string& name, sVec3 pos, float angle = 0, sVec3 axis = {0, 0, 1}, int parent = -1);
// An animated object whose n keys come from fn(i / (n - 1)); the last key
// repeats the first so that the cycle over keys 0 .. n-2 has no jump.
template <class F>
sObject AnimatedObject(const std::string& name, int n, F fn, int parent = -1) {
    sObject o;
    o.name = name;
    o.parent = parent;
    sTrack t;
    t.name = name + "_track";
    for (int i = 0; i < n; ++i) t.keys.push_back(fn(i == n - 1 ? 0.0f : (float)i / (n - 1)));
    o.tracks.push_back(std::move(t));
    o.ranges.push_back({0, n, 1.0f});
    return o;
}

// ---- geometry (appended to a mesh; faces wind counter-clockwise seen from
// the side the normal points to, which is the side the rasteriser draws) ----
void AddQuad(sMesh& m, sVec3 a, sVec3 b, sVec3 c, sVec3 d, int mat, sUV ta = {0, 0}, sUV tb = {1, 0}, sUV tc = {1, 1},
             sUV td = {0, 1});
void AddBox(sMesh& m, sVec3 lo, sVec3 hi, int mat, float uvScale = 1.0f, bool inward = false);
// Cylinder along Z; inward for tunnels seen from inside.
void AddCylinder(sMesh& m, sVec3 base, float radius, float height, int seg, int rings, int mat, float uRep, float vRep,
                 bool inward, bool caps);
// Tube along a path of centres (Z up frames), seen from inside.
void AddPathTube(sMesh& m, const std::vector<sVec3>& path, float radius, int seg, int mat, float uRep, float vPerRing,
                 bool inward, float radiusWobble = 0.0f);
void AddSphere(sMesh& m, sVec3 c, float r, int seg, int rings, int mat, float uRep = 1, float vRep = 1,
               float bumps = 0.0f, uint64_t seed = 0);
void AddTorus(sMesh& m, sVec3 c, float R, float r, int seg, int sides, int mat, float uRep = 4, float vRep = 1);
// A flat panel o + i/nu * U + j/nv * V, facing `want`.
void AddPanel(sMesh& m, sVec3 o, sVec3 U, sVec3 V, int nu, int nv, int mat, float uRep, float vRep, sVec3 want);
// The four walls of a room, facing inward.
void AddWalls(sMesh& m, sVec3 lo, sVec3 hi, int n, int mat, float uvRep);
void AddGrid(sMesh& m, float x0, float y0, float x1, float y1, int nx, int ny, int mat, float uvRep,
             float (*height)(float, float, uint64_t), uint64_t seed, bool faceDown = false);

// ---- textures ----
struct sPalRamp { uint8_t r0, g0, b0, r1, g1, b1, r2, g2, b2; };
sTexture TexNoise(const sPalRamp& p, uint64_t seed, float scale);
sTexture TexBricks(const sPalRamp& p, uint64_t seed, int bw, int bh);
sTexture TexStripes(const sPalRamp& p, uint64_t seed, int count, bool rings);
sTexture TexGrid(const sPalRamp& p, uint64_t seed, int cells);
sTexture TexChecker(const sPalRamp& p, uint64_t seed, int cells);
sTexture TexEnvironment(const sPalRamp& p);   // sphere map: dark body, bright rim
sTexture TexMaskHoles(int cells, float hole); // index 0 black where see-through, 255 white solid
sTexture TexGlyphs(const sPalRamp& p, uint64_t seed);

} // namespace mkd
