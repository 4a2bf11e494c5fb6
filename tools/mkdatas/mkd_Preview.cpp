#include "mkd_Preview.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace mkd {

namespace {

struct sMat { float m[12]; }; // 3 x 4, row-major


sMat FromKey(const sKey& k) {
    float c = std::cos(k.angle), s = std::sin(k.angle), t = 1 - c;
    float x = k.ax, y = k.ay, z = k.az;
    return {{t * x * x + c, t * x * y - s * z, t * x * z + s * y, k.px,
             t * x * y + s * z, t * y * y + c, t * y * z - s * x, k.py,
             t * x * z - s * y, t * y * z + s * x, t * z * z + c, k.pz}};
}

sMat Mul(const sMat& a, const sMat& b) {
    sMat r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            float v = a.m[i * 4 + 0] * b.m[0 * 4 + j] + a.m[i * 4 + 1] * b.m[1 * 4 + j] + a.m[i * 4 + 2] * b.m[2 * 4 + j];
            if (j == 3) v += a.m[i * 4 + 3];
            r.m[i * 4 + j] = v;
        }
    }
    return r;
}

sVec3 Apply(const sMat& a, sVec3 p) {
    return {a.m[0] * p.x + a.m[1] * p.y + a.m[2] * p.z + a.m[3], a.m[4] * p.x + a.m[5] * p.y + a.m[6] * p.z + a.m[7],
            a.m[8] * p.x + a.m[9] * p.y + a.m[10] * p.z + a.m[11]};
}

const sKey& KeyAt(const sObject& o, int frame) {
    const sTrack& t = o.tracks.back();
    if (t.isStatic || t.keys.size() < 2) return t.keys[0];
    int n = (int)t.keys.size(), f = frame;
    if (f >= n) f %= (n - 1);
    return t.keys[f];
}

bool Active(const sObject& o, int frame) {
    if (o.ranges.empty()) return false;
    int L = o.ranges.back().end;
    if (L <= 0) return false;
    int f = frame % L;
    for (const sRange& r : o.ranges)
        if (r.first <= f && f < r.end) return r.value > 0;
    return false;
}

sRGB PaletteColour(const sTexture& t, float u, float v) {
    int x = ((int)std::floor(u * 255.0f)) & 255, y = ((int)std::floor(v * 255.0f)) & 255;
    int i = t.pixels[y * 256 + x];
    return {t.palette[i * 3] / 255.0f, t.palette[i * 3 + 1] / 255.0f, t.palette[i * 3 + 2] / 255.0f};
}

} // namespace

cImage RenderPreview(const sScene& s, int frame) {
    const int W = 320, H = 240;
    cImage im(W, H);
    if (s.cameras.empty() || s.objects.empty()) return im;
    std::vector<sMat> world(s.objects.size());
    for (size_t i = 0; i < s.objects.size(); ++i) {
        sMat local = FromKey(KeyAt(s.objects[i], frame));
        int p = s.objects[i].parent;
        world[i] = p >= 0 && p < (int)i ? Mul(world[p], local) : local;
    }
    size_t ci = 0;
    for (size_t i = 0; i < s.cameras.size(); ++i)
        if (Active(s.objects[s.cameras[i].eye], frame)) ci = i;
    const sCamera& cam = s.cameras[ci];
    const sKey& ek = KeyAt(s.objects[cam.eye], frame);
    const sKey& tk = KeyAt(s.objects[cam.target], frame);
    sVec3 c{ek.px, ek.py, ek.pz}, t{tk.px, tk.py, tk.pz};
    sVec3 d{t.x - c.x, t.y - c.y, t.z - c.z};
    float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    sVec3 F{d.x / len, d.y / len, d.z / len};
    sVec3 R{F.y, -F.x, 0};
    float rl = std::sqrt(R.x * R.x + R.y * R.y);
    R = rl > 1e-6f ? sVec3{R.x / rl, R.y / rl, 0} : sVec3{1, 0, 0};
    sVec3 U{R.y * F.z - R.z * F.y, R.z * F.x - R.x * F.z, R.x * F.y - R.y * F.x};
    float fov = cam.fovTrack.empty() ? cam.fov : cam.fovTrack[frame % cam.fovTrack.size()];
    float focal = std::sqrt(240.0f * 320.0f) / (2 * std::tan(fov / 2));
    std::vector<float> zbuf((size_t)W * H, 1e30f);

    for (const sMesh& m : s.meshes) {
        std::vector<sVec3> cs(m.verts.size()); // camera space: x right, y depth, z up
        for (size_t i = 0; i < m.verts.size(); ++i) {
            sVec3 w = Apply(world[m.object], m.verts[i]);
            sVec3 q{w.x - c.x, w.y - c.y, w.z - c.z};
            cs[i] = {q.x * R.x + q.y * R.y + q.z * R.z, q.x * F.x + q.y * F.y + q.z * F.z, q.x * U.x + q.y * U.y + q.z * U.z};
        }
        for (const sFace& f : m.faces) {
            // Clip the triangle against the near plane, keeping uv with each corner.
            struct sCorner { sVec3 p; sUV t; };
            sCorner in[3] = {{cs[f.v[0]], m.uvs[f.t[0]]}, {cs[f.v[1]], m.uvs[f.t[1]]}, {cs[f.v[2]], m.uvs[f.t[2]]}};
            sCorner poly[4];
            int np = 0;
            for (int k = 0; k < 3; ++k) {
                const sCorner &a = in[k], &b = in[(k + 1) % 3];
                bool ain = a.p.y >= cam.nearDist, bin = b.p.y >= cam.nearDist;
                if (ain) poly[np++] = a;
                if (ain != bin) {
                    float t = (cam.nearDist - a.p.y) / (b.p.y - a.p.y);
                    poly[np++] = {{a.p.x + (b.p.x - a.p.x) * t, cam.nearDist, a.p.z + (b.p.z - a.p.z) * t},
                                  {a.t.u + (b.t.u - a.t.u) * t, a.t.v + (b.t.v - a.t.v) * t}};
                }
            }
            if (np < 3) continue;
            const sVec3 &a = in[0].p, &b = in[1].p, &e = in[2].p;
            sVec3 e1{b.x - a.x, b.y - a.y, b.z - a.z}, e2{e.x - a.x, e.y - a.y, e.z - a.z};
            sVec3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
            float nl = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            // Facing the camera means the normal points back along the view ray.
            float facing = -(n.x * a.x + n.y * a.y + n.z * a.z);
            if (facing <= 0) continue; // the rasteriser draws only faces turned toward the eye
            float light = nl > 0 ? 0.35f + 0.65f * std::fabs(n.y) / nl : 1.0f;
            const sMaterial& mat = s.materials[f.material];
            int tex = mat.tex0 >= 0 ? mat.tex0 : mat.tex1;
            bool additive = mat.type == 0;
            for (int tri = 1; tri + 1 < np; ++tri) {
                const sCorner* v[3] = {&poly[0], &poly[tri], &poly[tri + 1]};
                float sx[3], sy[3], z[3];
                for (int k = 0; k < 3; ++k) {
                    z[k] = v[k]->p.y;
                    sx[k] = 160 + focal * v[k]->p.x / z[k];
                    sy[k] = 120 - focal * v[k]->p.z / z[k];
                }
                float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
                if (std::fabs(area) < 1e-6f) continue;
                int x0 = std::max(0, (int)std::floor(std::min({sx[0], sx[1], sx[2]})));
                int x1 = std::min(W - 1, (int)std::ceil(std::max({sx[0], sx[1], sx[2]})));
                int y0 = std::max(0, (int)std::floor(std::min({sy[0], sy[1], sy[2]})));
                int y1 = std::min(H - 1, (int)std::ceil(std::max({sy[0], sy[1], sy[2]})));
                const sUV &ta = v[0]->t, &tb = v[1]->t, &tc = v[2]->t;
                for (int y = y0; y <= y1; ++y)
                    for (int x = x0; x <= x1; ++x) {
                        float px = x + 0.5f, py = y + 0.5f;
                        float w0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
                        float w1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
                        float w2 = 1 - w0 - w1;
                        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
                        float depth = 1 / (w0 / z[0] + w1 / z[1] + w2 / z[2]);
                        if (!additive && depth >= zbuf[(size_t)y * W + x]) continue;
                        float u = (w0 * ta.u / z[0] + w1 * tb.u / z[1] + w2 * tc.u / z[2]) * depth;
                        float vv = (w0 * ta.v / z[0] + w1 * tb.v / z[1] + w2 * tc.v / z[2]) * depth;
                        if (mat.tex2 >= 0) {
                            sRGB mk = PaletteColour(s.textures[mat.tex2], u, vv);
                            if (mk.r + mk.g + mk.b == 0) continue;
                        }
                        sRGB col = tex >= 0 ? PaletteColour(s.textures[tex], u, vv) : sRGB{0.6f, 0.6f, 0.6f};
                        if (s.fog)
                            col = Scale(col, 1.0f - std::min(0.99f, std::max(0.0f, (depth - cam.nearDist) / (cam.farDist - cam.nearDist))));
                        if (additive) {
                            im.Add(x, y, col, 1.0f);
                        } else {
                            zbuf[(size_t)y * W + x] = depth;
                            im.At(x, y) = Scale(col, light);
                        }
                    }
            }
        }
    }
    return im;
}

} // namespace mkd
