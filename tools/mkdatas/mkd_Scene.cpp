#include "mkd_Scene.h"

#include "mkd_Image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <zlib.h>

namespace mkd {

namespace {

const float kPi = 3.14159265f;

sVec3 Sub(sVec3 a, sVec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
sVec3 Cross(sVec3 a, sVec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(sVec3 a, sVec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
sVec3 Norm(sVec3 a) {
    float l = std::sqrt(Dot(a, a));
    return l > 0 ? sVec3{a.x / l, a.y / l, a.z / l} : sVec3{0, 0, 1};
}

class cOut {
public:
    void I32(int32_t v) {
        uint32_t u = (uint32_t)v;
        for (int i = 0; i < 4; ++i) b.push_back((uint8_t)(u >> (8 * i)));
    }
    void F32(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        I32((int32_t)u);
    }
    void Str(const std::string& s, size_t maxBytes) {
        std::string t = s.substr(0, maxBytes - 1);
        b.insert(b.end(), t.begin(), t.end());
        b.push_back(0);
    }
    void Bytes(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
    std::vector<uint8_t> b;
};

void WriteTexture(cOut& o, const sTexture& t) {
    o.I32(0);
    o.I32(t.w);
    o.I32(t.h);
    o.I32(8);
    o.Bytes(t.palette);
    o.Bytes(t.pixels);
}

// Appends a triangle wound so that its normal agrees with the wanted direction;
// zero-area triangles (poles of a sphere) are left out, since they have no normal.
void Tri(sMesh& m, int a, int b, int c, int ta, int tb, int tc, int mat, sVec3 want) {
    sVec3 n = Cross(Sub(m.verts[b], m.verts[a]), Sub(m.verts[c], m.verts[a]));
    if (Dot(n, n) < 1e-6f) return; // no normal to speak of; our smallest real faces are far larger
    if (Dot(n, want) < 0) {
        std::swap(b, c);
        std::swap(tb, tc);
    }
    m.faces.push_back({{a, b, c}, {ta, tb, tc}, mat});
}

int Vert(sMesh& m, sVec3 p, sUV uv) {
    m.verts.push_back(p);
    m.uvs.push_back(uv);
    return (int)m.verts.size() - 1;
}

// Grid of (cols + 1) x (rows + 1) shared vertices; quads wound toward want(i, j).
template <class P, class W>
void Surface(sMesh& m, int cols, int rows, int mat, P pos, W want) {
    int base = (int)m.verts.size();
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= cols; ++i) {
            sUV uv;
            sVec3 p = pos(i, j, uv);
            Vert(m, p, uv);
        }
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            int a = base + j * (cols + 1) + i, b = a + 1, c = a + cols + 2, d = a + cols + 1;
            sVec3 w = want(i, j);
            Tri(m, a, b, c, a, b, c, mat, w);
            Tri(m, a, c, d, a, c, d, mat, w);
        }
}

} // namespace

size_t sScene::FaceCount() const {
    size_t n = 0;
    for (const sMesh& m : meshes) n += m.faces.size();
    return n;
}

int sScene::TextureSlots() const {
    int n = 0;
    for (const sMaterial& m : materials) n += (m.tex0 >= 0) + (m.tex1 >= 0) + (m.tex2 >= 0);
    return fog ? 2 * n : n;
}

std::vector<uint8_t> SerializeQvn(const sScene& s) {
    cOut o;
    o.I32(0x51564E21);
    o.Str(s.title, 64);
    o.I32(0);
    o.I32(s.fog ? 1 : 0);
    if (s.fog)
        for (float f : s.fogColour) o.F32(f);
    o.I32((int32_t)s.materials.size());
    o.I32(0);
    for (const sMaterial& m : s.materials) {
        o.Str(m.name, 1024);
        int flags = (m.tex0 >= 0 ? 1 : 0) | (m.tex1 >= 0 ? 2 : 0) | (m.tex2 >= 0 ? 4 : 0);
        o.I32(flags);
        o.I32(m.type);
        if (m.tex0 >= 0) WriteTexture(o, s.textures[m.tex0]);
        if (m.tex1 >= 0) WriteTexture(o, s.textures[m.tex1]);
        if (m.tex2 >= 0) WriteTexture(o, s.textures[m.tex2]);
    }
    o.I32((int32_t)s.objects.size());
    for (const sObject& ob : s.objects) {
        o.Str(ob.name, 1024);
        o.I32(ob.parent);
        for (int i = 0; i < 16; ++i) o.F32(i % 5 == 0 ? 1.0f : 0.0f); // identity: keys carry the placement
        for (int i = 0; i < 3; ++i) o.F32(0.0f);                         // pivot
        o.F32(0.0f);                                                     // rotation: angle, axis
        o.F32(0.0f);
        o.F32(0.0f);
        o.F32(1.0f);
        for (int i = 0; i < 4; ++i) o.F32(1.0f);                         // scale
        o.I32(1);                                                        // sample frequency
        o.I32((int32_t)ob.tracks.size());
        for (const sTrack& t : ob.tracks) {
            o.Str(t.name, 1024);
            o.I32(t.isStatic ? -1 : (int32_t)t.keys.size());
            size_t n = t.isStatic ? 1 : t.keys.size();
            for (size_t k = 0; k < n; ++k) {
                const sKey& key = t.keys[k];
                o.F32(key.px);
                o.F32(key.py);
                o.F32(key.pz);
                o.F32(key.angle);
                o.F32(key.ax);
                o.F32(key.ay);
                o.F32(key.az);
            }
        }
        o.I32((int32_t)ob.ranges.size());
        for (const sRange& r : ob.ranges) {
            o.I32(r.first);
            o.I32(r.end);
            o.F32(r.value);
        }
    }
    o.I32((int32_t)s.cameras.size());
    for (const sCamera& c : s.cameras) {
        o.I32(c.eye);
        o.I32(c.target);
        o.F32(0.0f);
        o.F32(0.0f);
        o.F32(c.nearDist);
        o.F32(c.farDist);
        o.F32(c.fov);
        o.F32(0.0f);
        o.I32((int32_t)c.roll.size());
        for (float r : c.roll) o.F32(r);
        o.I32((int32_t)c.fovTrack.size());
        for (float f : c.fovTrack) o.F32(f);
    }
    o.I32((int32_t)s.targets.size());
    for (int t : s.targets) o.I32(t);
    o.I32((int32_t)s.meshes.size());
    for (const sMesh& m : s.meshes) {
        o.I32(m.object);
        o.I32(0);
        o.I32((int32_t)m.verts.size());
        for (const sVec3& v : m.verts) {
            o.F32(v.x);
            o.F32(v.y);
            o.F32(v.z);
        }
        o.I32((int32_t)m.uvs.size());
        for (const sUV& t : m.uvs) {
            o.F32(t.u);
            o.F32(t.v);
        }
        o.I32((int32_t)m.faces.size());
        for (const sFace& f : m.faces) {
            for (int k = 0; k < 3; ++k) o.I32(f.v[k]);
            for (int k = 0; k < 3; ++k) o.I32(f.t[k]);
            o.I32(f.material);
        }
    }
    return o.b;
}

bool WriteQvn(const std::string& path, const sScene& s) {
    std::vector<uint8_t> bytes = SerializeQvn(s);
    gzFile f = gzopen(path.c_str(), "wb6"); // zlib writes a fixed header (no time stamp)
    if (!f) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        unsigned chunk = (unsigned)std::min<size_t>(bytes.size() - done, 1u << 20);
        ok = gzwrite(f, bytes.data() + done, chunk) == (int)chunk;
        done += chunk;
    }
    return gzclose(f) == Z_OK && ok;
}

sObject StaticObject(const std::string& name, sVec3 pos, float angle, sVec3 axis, int parent) {
    sObject o;
    o.name = name;
    o.parent = parent;
    sTrack t;
    t.name = name + "_rest";
    t.isStatic = true;
    t.keys.push_back({pos.x, pos.y, pos.z, angle, axis.x, axis.y, axis.z});
    o.tracks.push_back(t);
    o.ranges.push_back({0, 1000, 1.0f});
    return o;
}

void AddQuad(sMesh& m, sVec3 a, sVec3 b, sVec3 c, sVec3 d, int mat, sUV ta, sUV tb, sUV tc, sUV td) {
    int ia = Vert(m, a, ta), ib = Vert(m, b, tb), ic = Vert(m, c, tc), id = Vert(m, d, td);
    sVec3 n = Cross(Sub(b, a), Sub(c, a));
    Tri(m, ia, ib, ic, ia, ib, ic, mat, n);
    Tri(m, ia, ic, id, ia, ic, id, mat, n);
}

void AddBox(sMesh& m, sVec3 lo, sVec3 hi, int mat, float uvScale, bool inward) {
    float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
    float su = uvScale;
    auto q = [&](sVec3 a, sVec3 b, sVec3 c, sVec3 d, float w, float h) {
        sUV ta{0, 0}, tb{w * su, 0}, tc{w * su, h * su}, td{0, h * su};
        if (inward)
            AddQuad(m, a, d, c, b, mat, ta, td, tc, tb);
        else
            AddQuad(m, a, b, c, d, mat, ta, tb, tc, td);
    };
    float dx = (x1 - x0) / 10, dy = (y1 - y0) / 10, dz = (z1 - z0) / 10;
    q({x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, dx, dy);
    q({x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, dy, dx);
    q({x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, dy, dz);
    q({x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, {x0, y1, z0}, dz, dy);
    q({x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, dz, dx);
    q({x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, dx, dz);
}

void AddCylinder(sMesh& m, sVec3 base, float radius, float height, int seg, int rings, int mat, float uRep, float vRep,
                 bool inward, bool caps) {
    float sign = inward ? -1.0f : 1.0f;
    Surface(m, seg, rings, mat,
            [&](int i, int j, sUV& uv) {
                float a = 2 * kPi * i / seg;
                uv = {uRep * i / seg, vRep * j / rings};
                return sVec3{base.x + radius * std::cos(a), base.y + radius * std::sin(a), base.z + height * j / rings};
            },
            [&](int i, int) {
                float a = 2 * kPi * (i + 0.5f) / seg;
                return sVec3{sign * std::cos(a), sign * std::sin(a), 0};
            });
    if (caps) {
        for (int end = 0; end < 2; ++end) {
            float z = base.z + (end ? height : 0);
            int c = Vert(m, {base.x, base.y, z}, {0.5f, 0.5f});
            int first = (int)m.verts.size();
            for (int i = 0; i <= seg; ++i) {
                float a = 2 * kPi * i / seg;
                Vert(m, {base.x + radius * std::cos(a), base.y + radius * std::sin(a), z},
                     {0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a)});
            }
            sVec3 want{0, 0, (end ? 1.0f : -1.0f) * sign};
            for (int i = 0; i < seg; ++i) Tri(m, c, first + i, first + i + 1, c, first + i, first + i + 1, mat, want);
        }
    }
}

void AddPathTube(sMesh& m, const std::vector<sVec3>& path, float radius, int seg, int mat, float uRep, float vPerRing,
                 bool inward, float radiusWobble) {
    int rings = (int)path.size() - 1;
    std::vector<sVec3> nrm(path.size()), bin(path.size());
    for (size_t k = 0; k < path.size(); ++k) {
        sVec3 a = path[k == 0 ? 0 : k - 1], b = path[k + 1 < path.size() ? k + 1 : k];
        sVec3 t = Norm(Sub(b, a));
        sVec3 up = std::fabs(t.z) > 0.9f ? sVec3{1, 0, 0} : sVec3{0, 0, 1};
        nrm[k] = Norm(Cross(t, up));
        bin[k] = Cross(nrm[k], t);
    }
    auto point = [&](int i, int j) {
        float a = 2 * kPi * i / seg;
        // The wobble repeats every four rings, so periodic tunnels stay periodic.
        float r = radius * (1.0f + radiusWobble * std::sin(a * 3 + j * 1.5707963f));
        const sVec3& p = path[j];
        return sVec3{p.x + r * (std::cos(a) * nrm[j].x + std::sin(a) * bin[j].x),
                     p.y + r * (std::cos(a) * nrm[j].y + std::sin(a) * bin[j].y),
                     p.z + r * (std::cos(a) * nrm[j].z + std::sin(a) * bin[j].z)};
    };
    Surface(m, seg, rings, mat,
            [&](int i, int j, sUV& uv) {
                uv = {uRep * i / seg, vPerRing * j};
                return point(i, j);
            },
            [&](int i, int j) {
                sVec3 d = Sub(point(i, j), path[j]);
                return inward ? sVec3{-d.x, -d.y, -d.z} : d;
            });
}

void AddSphere(sMesh& m, sVec3 c, float r, int seg, int rings, int mat, float uRep, float vRep, float bumps,
               uint64_t seed) {
    auto point = [&](int i, int j) {
        float th = 2 * kPi * (i % seg) / seg, ph = kPi * j / rings;
        if (j == 0 || j == rings) return sVec3{c.x, c.y, c.z + (j == 0 ? r : -r)}; // one exact point per pole
        float rr = r;
        if (bumps > 0 && j > 0 && j < rings)
            rr *= 1.0f + bumps * (ValueNoise(std::cos(th) * 2 + 3, ph * 2, seed) - 0.5f + 0.5f * std::sin(th * 3) * std::sin(ph * 4));
        return sVec3{c.x + rr * std::sin(ph) * std::cos(th), c.y + rr * std::sin(ph) * std::sin(th), c.z + rr * std::cos(ph)};
    };
    Surface(m, seg, rings, mat,
            [&](int i, int j, sUV& uv) {
                uv = {uRep * i / seg, vRep * j / rings};
                return point(i, j);
            },
            [&](int i, int j) {
                float th = 2 * kPi * (i + 0.5f) / seg, ph = kPi * (j + 0.5f) / rings;
                return sVec3{std::sin(ph) * std::cos(th), std::sin(ph) * std::sin(th), std::cos(ph)};
            });
}

void AddTorus(sMesh& m, sVec3 c, float R, float r, int seg, int sides, int mat, float uRep, float vRep) {
    Surface(m, seg, sides, mat,
            [&](int i, int j, sUV& uv) {
                float a = 2 * kPi * i / seg, b = 2 * kPi * j / sides;
                uv = {uRep * i / seg, vRep * j / sides};
                return sVec3{c.x + (R + r * std::cos(b)) * std::cos(a), c.y + (R + r * std::cos(b)) * std::sin(a),
                             c.z + r * std::sin(b)};
            },
            [&](int i, int j) {
                float a = 2 * kPi * (i + 0.5f) / seg, b = 2 * kPi * (j + 0.5f) / sides;
                return sVec3{std::cos(b) * std::cos(a), std::cos(b) * std::sin(a), std::sin(b)};
            });
}

void AddGrid(sMesh& m, float x0, float y0, float x1, float y1, int nx, int ny, int mat, float uvRep,
             float (*height)(float, float, uint64_t), uint64_t seed, bool faceDown) {
    Surface(m, nx, ny, mat,
            [&](int i, int j, sUV& uv) {
                float x = x0 + (x1 - x0) * i / nx, y = y0 + (y1 - y0) * j / ny;
                uv = {uvRep * i / nx, uvRep * j / ny};
                return sVec3{x, y, height ? height(x, y, seed) : 0.0f};
            },
            [&](int, int) { return sVec3{0, 0, faceDown ? -1.0f : 1.0f}; });
}

void AddPanel(sMesh& m, sVec3 o, sVec3 U, sVec3 V, int nu, int nv, int mat, float uRep, float vRep, sVec3 want) {
    Surface(m, nu, nv, mat,
            [&](int i, int j, sUV& uv) {
                float a = (float)i / nu, b = (float)j / nv;
                uv = {uRep * a, vRep * b};
                return sVec3{o.x + U.x * a + V.x * b, o.y + U.y * a + V.y * b, o.z + U.z * a + V.z * b};
            },
            [&](int, int) { return want; });
}

void AddWalls(sMesh& m, sVec3 lo, sVec3 hi, int n, int mat, float uvRep) {
    float w = hi.x - lo.x, d = hi.y - lo.y, h = hi.z - lo.z;
    int nh = std::max(1, (int)(n * h / std::max(w, d)));
    AddPanel(m, {lo.x, lo.y, lo.z}, {w, 0, 0}, {0, 0, h}, n, nh, mat, uvRep, uvRep * h / w, {0, 1, 0});
    AddPanel(m, {lo.x, hi.y, lo.z}, {w, 0, 0}, {0, 0, h}, n, nh, mat, uvRep, uvRep * h / w, {0, -1, 0});
    AddPanel(m, {lo.x, lo.y, lo.z}, {0, d, 0}, {0, 0, h}, n, nh, mat, uvRep, uvRep * h / d, {1, 0, 0});
    AddPanel(m, {hi.x, lo.y, lo.z}, {0, d, 0}, {0, 0, h}, n, nh, mat, uvRep, uvRep * h / d, {-1, 0, 0});
}

// ---- textures ----

static void Ramp(sTexture& t, const sPalRamp& p) {
    for (int i = 0; i < 256; ++i) {
        float f = i / 255.0f;
        float a = f < 0.5f ? f * 2 : (f - 0.5f) * 2;
        const uint8_t* lo = f < 0.5f ? &p.r0 : &p.r1;
        const uint8_t* hi = f < 0.5f ? &p.r1 : &p.r2;
        for (int k = 0; k < 3; ++k) t.palette[i * 3 + k] = (uint8_t)std::lround(lo[k] + (hi[k] - lo[k]) * a);
    }
}

static uint8_t Q(float v) { return (uint8_t)std::min(255, std::max(0, (int)std::lround(v * 255))); }

sTexture TexNoise(const sPalRamp& p, uint64_t seed, float scale) {
    sTexture t;
    Ramp(t, p);
    int per = (int)(256 / scale);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) t.pixels[y * 256 + x] = Q(Fbm(x / scale, y / scale, seed, 5, per, per));
    return t;
}

sTexture TexBricks(const sPalRamp& p, uint64_t seed, int bw, int bh) {
    sTexture t;
    Ramp(t, p);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int row = y / bh, xx = x + ((row & 1) ? bw / 2 : 0);
            bool mortar = (y % bh) < 2 || (xx % bw) < 2;
            float n = Fbm(x / 16.0f, y / 16.0f, seed, 4, 16, 16);
            float brick = 0.45f + 0.3f * ValueNoise((float)(xx / bw), (float)row, seed + 3) + 0.25f * n;
            t.pixels[y * 256 + x] = Q(mortar ? 0.12f + 0.1f * n : brick);
        }
    return t;
}

sTexture TexStripes(const sPalRamp& p, uint64_t seed, int count, bool rings) {
    sTexture t;
    Ramp(t, p);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float c = rings ? (float)y : (float)x;
            float s = 0.5f + 0.5f * std::cos(c * 2 * kPi * count / 256);
            float n = Fbm(x / 32.0f, y / 32.0f, seed, 4, 8, 8);
            t.pixels[y * 256 + x] = Q(std::pow(s, 3.0f) * 0.8f + n * 0.25f);
        }
    return t;
}

sTexture TexGrid(const sPalRamp& p, uint64_t seed, int cells) {
    sTexture t;
    Ramp(t, p);
    int cs = 256 / cells;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int dx = std::min(x % cs, cs - 1 - x % cs), dy = std::min(y % cs, cs - 1 - y % cs);
            int d = std::min(dx, dy);
            float line = d < 2 ? 1.0f : std::exp(-d * 0.35f) * 0.6f;
            float n = Fbm(x / 32.0f, y / 32.0f, seed, 3, 8, 8) * 0.2f;
            t.pixels[y * 256 + x] = Q(std::min(1.0f, line + n));
        }
    return t;
}

sTexture TexChecker(const sPalRamp& p, uint64_t seed, int cells) {
    sTexture t;
    Ramp(t, p);
    int cs = 256 / cells;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            bool on = ((x / cs) + (y / cs)) & 1;
            float n = Fbm(x / 24.0f, y / 24.0f, seed, 4, 10, 10) * 0.3f;
            t.pixels[y * 256 + x] = Q((on ? 0.75f : 0.15f) + n);
        }
    return t;
}

sTexture TexEnvironment(const sPalRamp& p) {
    sTexture t;
    Ramp(t, p);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float nx = (x - 127.5f) / 128.0f, ny = (y - 127.5f) / 128.0f;
            float r = std::min(1.0f, std::sqrt(nx * nx + ny * ny));
            float nz = std::sqrt(std::max(0.0f, 1 - r * r));
            float key = std::pow(std::max(0.0f, -0.5f * nx - 0.5f * ny + 0.7f * nz), 16.0f);
            t.pixels[y * 256 + x] = Q(std::min(1.0f, 0.15f + 0.6f * std::pow(r, 3.0f) + key));
        }
    return t;
}

sTexture TexMaskHoles(int cells, float hole) {
    sTexture t;
    for (int k = 3; k < 768; ++k) t.palette[k] = 255; // entry 0 stays black: see-through
    int cs = 256 / cells;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float dx = (x % cs) - cs * 0.5f + 0.5f, dy = (y % cs) - cs * 0.5f + 0.5f;
            t.pixels[y * 256 + x] = (dx * dx + dy * dy < (cs * hole * 0.5f) * (cs * hole * 0.5f)) ? 0 : 255;
        }
    return t;
}

sTexture TexGlyphs(const sPalRamp& p, uint64_t seed) {
    sTexture t;
    Ramp(t, p);
    cRng rng(seed);
    for (int cy = 0; cy < 16; ++cy)
        for (int cx = 0; cx < 16; ++cx) {
            uint32_t bits = (uint32_t)rng.Next();
            float bright = 0.3f + 0.7f * rng.Unit();
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    int gx = (x - 3) / 2, gy = (y - 2) / 2;
                    bool on = x >= 3 && x < 13 && y >= 2 && y < 14 && ((bits >> ((gy * 5 + gx) % 30)) & 1);
                    t.pixels[(cy * 16 + y) * 256 + cx * 16 + x] = Q(on ? bright : 0.05f);
                }
        }
    return t;
}

} // namespace mkd
