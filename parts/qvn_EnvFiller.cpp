#include "qvn_EnvFiller.h"

#include <cstdint>

namespace {

enum eBound { kLeft, kRight, kTop, kBottom, kBounds };

bool Outside(const qvn_SEnvPoint& p, int bound, const qvn_SEnvTarget& t) {
    switch (bound) {
    case kLeft: return p.x < 0;
    case kRight: return p.x >= t.width;
    case kTop: return p.y < 0;
    default: return p.y >= t.height;
    }
}

// Where the edge from an inside to an outside vertex crosses the bound: ten
// halvings of the edge, keeping the inside end. The result is always inside,
// though up to 1/1024 of the edge short of the bound on long edges.
qvn_SEnvPoint Crossing(qvn_SEnvPoint in, qvn_SEnvPoint out, int bound, const qvn_SEnvTarget& t) {
    for (int step = 0; step < 10; ++step) {
        const qvn_SEnvPoint mid = {(in.x + out.x) / 2, (in.y + out.y) / 2, (in.u + out.u) / 2, (in.v + out.v) / 2};
        if (Outside(mid, bound, t))
            out = mid;
        else
            in = mid;
    }
    return in;
}

void Scan(const qvn_SEnvTarget& t, const uint16_t* texture, qvn_SEnvPoint a, qvn_SEnvPoint b, qvn_SEnvPoint c) {
    // Top to bottom: a, b, c.
    if (b.y < a.y) { qvn_SEnvPoint s = a; a = b; b = s; }
    if (c.y < a.y) { qvn_SEnvPoint s = a; a = c; c = s; }
    if (c.y < b.y) { qvn_SEnvPoint s = b; b = c; c = s; }
    if (a.y == c.y) return;

    // The long edge a-c at b's line gives the widest line: the texel steps
    // along x come from it.
    const int64_t span = c.y - a.y;
    const int64_t part = b.y - a.y;
    const int64_t longX = (int64_t(a.x) * 65536) + part * ((int64_t(c.x - a.x)) * 65536) / span;
    const int64_t longU = (int64_t(a.u) * 65536) + part * ((int64_t(c.u - a.u)) * 65536) / span;
    const int64_t longV = (int64_t(a.v) * 65536) + part * ((int64_t(c.v - a.v)) * 65536) / span;
    const int64_t width = longX - (int64_t(b.x) * 65536);
    if (width == 0) return;
    const int32_t duDx = static_cast<int32_t>(((longU - (int64_t(b.u) * 65536)) * 65536) / width);
    const int32_t dvDx = static_cast<int32_t>(((longV - (int64_t(b.v) * 65536)) * 65536) / width);
    const bool longOnLeft = width < 0;

    struct SEdge {
        int64_t x, u, v, dx, du, dv;
        void start(const qvn_SEnvPoint& p, const qvn_SEnvPoint& q) {
            const int64_t rows = q.y - p.y;
            x = int64_t(p.x) * 65536;
            u = int64_t(p.u) * 65536;
            v = int64_t(p.v) * 65536;
            dx = rows ? ((int64_t(q.x - p.x)) * 65536) / rows : 0;
            du = rows ? ((int64_t(q.u - p.u)) * 65536) / rows : 0;
            dv = rows ? ((int64_t(q.v - p.v)) * 65536) / rows : 0;
        }
        void step() {
            x += dx;
            u += du;
            v += dv;
        }
    };
    SEdge longEdge, shortEdge;
    longEdge.start(a, c);
    shortEdge.start(a, b);
    for (int y = a.y; y < c.y; ++y) {
        if (y == b.y) shortEdge.start(b, c);
        const SEdge& left = longOnLeft ? longEdge : shortEdge;
        const SEdge& right = longOnLeft ? shortEdge : longEdge;
        if (y >= 0 && y < t.height) {
            int x0 = static_cast<int>(left.x >> 16);
            int x1 = static_cast<int>(right.x >> 16);
            int32_t u = static_cast<int32_t>(left.u), v = static_cast<int32_t>(left.v);
            // The clipped vertices keep every line inside; the clamps only
            // guard the surface against rounding.
            if (x0 < 0) {
                u += duDx * -x0;
                v += dvDx * -x0;
                x0 = 0;
            }
            if (x1 > t.width) x1 = t.width;
            uint16_t* dst = t.pixels + static_cast<int64_t>(y) * t.pitchPixels;
            for (int x = x0; x < x1; ++x) {
                dst[x] = texture[(((v >> 16) & 255) << 8) | ((u >> 16) & 255)];
                u += duDx;
                v += dvDx;
            }
        }
        longEdge.step();
        shortEdge.step();
    }
}

void Fill(const qvn_SEnvTarget& t, const uint16_t* texture, const qvn_SEnvPoint& a, const qvn_SEnvPoint& b,
          const qvn_SEnvPoint& c, int firstBound) {
    const qvn_SEnvPoint p[3] = {a, b, c};
    for (int bound = firstBound; bound < kBounds; ++bound) {
        const bool out[3] = {Outside(a, bound, t), Outside(b, bound, t), Outside(c, bound, t)};
        const int outside = out[0] + out[1] + out[2];
        if (outside == 0) continue;
        if (outside == 3) return;
        if (outside == 1) {
            const int o = out[0] ? 0 : out[1] ? 1 : 2;
            const qvn_SEnvPoint& in1 = p[o == 0 ? 1 : 0];
            const qvn_SEnvPoint& in2 = p[o == 2 ? 1 : 2];
            const qvn_SEnvPoint p1 = Crossing(in2, p[o], bound, t);
            const qvn_SEnvPoint p2 = Crossing(in1, p[o], bound, t);
            Fill(t, texture, p1, in1, p2, bound + 1);
            Fill(t, texture, p1, in1, in2, bound + 1);
        } else {
            const int i = !out[0] ? 0 : !out[1] ? 1 : 2;
            const qvn_SEnvPoint c1 = Crossing(p[i], p[(i + 1) % 3], bound, t);
            const qvn_SEnvPoint c2 = Crossing(p[i], p[(i + 2) % 3], bound, t);
            Fill(t, texture, p[i], c1, c2, bound + 1);
        }
        return;
    }
    Scan(t, texture, a, b, c);
}

}  // namespace

void qvn_FillEnvTriangle(const qvn_SEnvTarget& target, const uint16_t* texture, const qvn_SEnvPoint& a,
                         const qvn_SEnvPoint& b, const qvn_SEnvPoint& c) {
    if (!target.pixels || !texture || target.width <= 0 || target.height <= 0) return;
    Fill(target, texture, a, b, c, kLeft);
}
