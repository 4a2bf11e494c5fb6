// Builds .qvn files for the tests: a description of a small scene turned into
// the file's records, written plain or gzip'd. Malformed files are made by
// editing a description or the bytes it gives.
#pragma once

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace qvntest {

struct Bytes {
    std::vector<uint8_t> b;
    void i32(int32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
    }
    void f32(float f) {
        int32_t v;
        std::memcpy(&v, &f, 4);
        i32(v);
    }
    void str(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    void raw(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
};

struct Texture {
    int32_t width = 256, height = 256, bpp = 8;
    std::vector<uint8_t> palette = std::vector<uint8_t>(768, 0);
    std::vector<uint8_t> pixels;
};

// Index i at texel (x, y) = (x + y) & 255 unless pixels are given; palette
// entry i = (i, 255 - i, i / 2).
inline Texture GradientTexture(int w = 256, int h = 256) {
    Texture t;
    t.width = w;
    t.height = h;
    for (int i = 0; i < 256; ++i) {
        t.palette[3 * i] = static_cast<uint8_t>(i);
        t.palette[3 * i + 1] = static_cast<uint8_t>(255 - i);
        t.palette[3 * i + 2] = static_cast<uint8_t>(i / 2);
    }
    t.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) t.pixels[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((x + y) & 255);
    return t;
}

struct Material {
    std::string name = "mat";
    int32_t flags = 0, type = 2;
    Texture tex[4];  // slot 0, slot 1, the unassigned block (flag 8), slot 2
};

struct Key {
    float x = 0, y = 0, z = 0, angle = 0, ax = 0, ay = 0, az = 1;
};

struct Track {
    std::string name = "track";
    bool isStatic = true;
    std::vector<Key> keys = {Key()};
};

struct Range {
    int32_t first, end;
    float value;
};

struct Object {
    std::string name = "object";
    int32_t parent = -1;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float pivot[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1};
    float scale[4] = {0, 1, 1, 1};
    int32_t frequency = 1;
    std::vector<Track> tracks = {Track()};
    std::vector<Range> ranges;
};

struct Camera {
    int32_t eye = 0, target = 1;
    float f0 = 0, f1 = 0, nearDistance = 1.0f, farDistance = 1000.0f, fov = 1.5707964f, f5 = 0;
    std::vector<float> rolls = {0.0f};
    std::vector<float> fovs = {1.5707964f};
};

struct Face {
    int32_t v[3], t[3], material;
};

struct Mesh {
    int32_t object = 2;
    std::vector<float> vertices;  // x, y, z per vertex
    std::vector<float> tvertices; // u, v per texture vertex
    std::vector<Face> faces;
};

struct Scene {
    uint32_t magic = 0x51564E21;
    std::string title = "test scene";
    bool fog = false;
    float fogValues[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    std::vector<Material> materials;
    std::vector<Object> objects;
    std::vector<Camera> cameras;
    std::vector<int32_t> targets;
    std::vector<Mesh> meshes;

    static void Tex(Bytes& o, const Texture& t) {
        o.i32(0);
        o.i32(t.width);
        o.i32(t.height);
        o.i32(t.bpp);
        o.raw(t.palette);
        o.raw(t.pixels);
    }

    std::vector<uint8_t> Build() const {
        Bytes o;
        o.i32(static_cast<int32_t>(magic));
        o.str(title);
        o.i32(0);
        o.i32(fog ? 1 : 0);
        if (fog)
            for (float f : fogValues) o.f32(f);
        o.i32(static_cast<int32_t>(materials.size()));
        o.i32(0);
        for (const Material& m : materials) {
            o.str(m.name);
            o.i32(m.flags);
            o.i32(m.type);
            if (m.flags & 1) Tex(o, m.tex[0]);
            if (m.flags & 2) Tex(o, m.tex[1]);
            if (m.flags & 8) Tex(o, m.tex[2]);
            if (m.flags & 4) Tex(o, m.tex[3]);
        }
        o.i32(static_cast<int32_t>(objects.size()));
        for (const Object& ob : objects) {
            o.str(ob.name);
            o.i32(ob.parent);
            for (float f : ob.matrix) o.f32(f);
            for (float f : ob.pivot) o.f32(f);
            for (float f : ob.rotation) o.f32(f);
            for (float f : ob.scale) o.f32(f);
            o.i32(ob.frequency);
            o.i32(static_cast<int32_t>(ob.tracks.size()));
            for (const Track& t : ob.tracks) {
                o.str(t.name);
                o.i32(t.isStatic ? -1 : static_cast<int32_t>(t.keys.size()));
                for (const Key& k : t.keys) {
                    o.f32(k.x);
                    o.f32(k.y);
                    o.f32(k.z);
                    o.f32(k.angle);
                    o.f32(k.ax);
                    o.f32(k.ay);
                    o.f32(k.az);
                }
            }
            o.i32(static_cast<int32_t>(ob.ranges.size()));
            for (const Range& r : ob.ranges) {
                o.i32(r.first);
                o.i32(r.end);
                o.f32(r.value);
            }
        }
        o.i32(static_cast<int32_t>(cameras.size()));
        for (const Camera& c : cameras) {
            o.i32(c.eye);
            o.i32(c.target);
            for (float f : {c.f0, c.f1, c.nearDistance, c.farDistance, c.fov, c.f5}) o.f32(f);
            o.i32(static_cast<int32_t>(c.rolls.size()));
            for (float f : c.rolls) o.f32(f);
            o.i32(static_cast<int32_t>(c.fovs.size()));
            for (float f : c.fovs) o.f32(f);
        }
        o.i32(static_cast<int32_t>(targets.size()));
        for (int32_t t : targets) o.i32(t);
        o.i32(static_cast<int32_t>(meshes.size()));
        for (const Mesh& m : meshes) {
            o.i32(m.object);
            o.i32(0);
            o.i32(static_cast<int32_t>(m.vertices.size() / 3));
            for (float f : m.vertices) o.f32(f);
            o.i32(static_cast<int32_t>(m.tvertices.size() / 2));
            for (float f : m.tvertices) o.f32(f);
            o.i32(static_cast<int32_t>(m.faces.size()));
            for (const Face& f : m.faces) {
                for (int k = 0; k < 3; ++k) o.i32(f.v[k]);
                for (int k = 0; k < 3; ++k) o.i32(f.t[k]);
                o.i32(f.material);
            }
        }
        return o.b;
    }
};

inline Object StaticObject(const std::string& name, float x, float y, float z) {
    Object o;
    o.name = name;
    o.tracks[0].keys[0] = Key{x, y, z, 0, 0, 0, 1};
    return o;
}

// A square of side 2 * half in the plane y = depth, facing a camera on the -Y
// side: corners top-left, bottom-left, bottom-right, top-right; two faces
// wound so they fill on screen.
inline Mesh Square(int32_t object, float half, float depth, int32_t material, float uMax = 1.0f) {
    Mesh m;
    m.object = object;
    m.vertices = {-half, depth, half, -half, depth, -half, half, depth, -half, half, depth, half};
    m.tvertices = {0, 0, 0, 1, uMax, 1, uMax, 0};
    m.faces = {Face{{0, 1, 2}, {0, 1, 2}, material}, Face{{0, 2, 3}, {0, 2, 3}, material}};
    return m;
}

// Eye at (0, -10, 0) looking at the origin along +Y; object 2 at the origin
// holds a 10 x 10 square; one material of the given kind.
inline Scene BasicScene(int32_t flags = 1, int32_t type = 2) {
    Scene s;
    Material m;
    m.flags = flags;
    m.type = type;
    for (Texture& t : m.tex) t = GradientTexture();
    s.materials.push_back(m);
    s.objects.push_back(StaticObject("eye", 0, -10, 0));
    s.objects.push_back(StaticObject("target", 0, 0, 0));
    s.objects.push_back(StaticObject("square", 0, 0, 0));
    s.cameras.push_back(Camera());
    s.targets.push_back(1);
    s.meshes.push_back(Square(2, 5.0f, 0.0f, 0));
    return s;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, bool gzip) {
    if (gzip) {
        gzFile f = gzopen(path.c_str(), "wb");
        if (!f) return false;
        const int n = bytes.empty() ? 0 : gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
        gzclose(f);
        return n == static_cast<int>(bytes.size());
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const size_t n = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return n == bytes.size();
}

}  // namespace qvntest
