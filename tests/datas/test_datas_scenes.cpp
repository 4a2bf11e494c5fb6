// The generated scenes, read back with a small walker written from the record
// layout: every count and index in range, nothing left over, and across the set
// every render path of the software rasteriser, fog, camera switches, parents.
#include "datas_Fixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <stdexcept>

using namespace datas_test;

namespace {

std::vector<uint8_t> Gunzip(const std::string& path) {
    std::vector<uint8_t> out;
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    gzclose(f);
    return out;
}

class cWalker {
public:
    explicit cWalker(std::vector<uint8_t> b) : m_b(std::move(b)) {}
    int32_t I() {
        Need(4);
        int32_t v;
        std::memcpy(&v, &m_b[m_at], 4);
        m_at += 4;
        return v;
    }
    float F() {
        Need(4);
        float v;
        std::memcpy(&v, &m_b[m_at], 4);
        m_at += 4;
        if (!std::isfinite(v)) throw std::runtime_error("non-finite float");
        return v;
    }
    std::string S(size_t max) {
        std::string s;
        for (;;) {
            Need(1);
            char c = (char)m_b[m_at++];
            if (!c) break;
            s += c;
        }
        if (s.size() + 1 > max) throw std::runtime_error("string too long");
        return s;
    }
    void Skip(size_t n) {
        Need(n);
        m_at += n;
    }
    bool AtEnd() const { return m_at == m_b.size(); }
private:
    void Need(size_t n) {
        if (m_at + n > m_b.size()) throw std::runtime_error("file ends early");
    }
    std::vector<uint8_t> m_b;
    size_t m_at = 0;
};

struct sSummary {
    bool fog = false;
    std::set<int> modes;     // render mode words the materials select
    int textureSlots = 0;    // texture-cache slots once registered
    int faces = 0, cameras = 0, parented = 0, staticTracks = 0, animatedTracks = 0;
    bool cameraSwitch = false, fovTrack = false, rollTrack = false;
};

#define CHECK(cond, what) \
    if (!(cond)) throw std::runtime_error(what)

sSummary Walk(const std::vector<uint8_t>& bytes) {
    sSummary s;
    cWalker w(bytes);
    CHECK(w.I() == 0x51564E21, "magic");
    w.S(64);
    w.I();
    if (w.I()) {
        s.fog = true;
        for (int i = 0; i < 4; ++i) w.F();
    }
    int nMat = w.I();
    w.I();
    CHECK(nMat > 0 && nMat < 256, "material count");
    std::vector<int> matMode(nMat);
    for (int m = 0; m < nMat; ++m) {
        w.S(1024);
        int flags = w.I(), type = w.I();
        CHECK((flags & ~7) == 0, "material flags");
        CHECK(type == 0 || type == 2, "material type");
        for (int bit : {1, 2, 4})
            if (flags & bit) {
                w.I();
                CHECK(w.I() == 256 && w.I() == 256, "texture size");
                CHECK(w.I() == 8, "texture depth");
                w.Skip(768 + 256 * 256);
                ++s.textureSlots;
            }
        bool t0 = flags & 1, t1 = flags & 2, t2 = flags & 4;
        int mode = 0x100;
        if (type == 0) mode = t0 ? 0x101 : 0x100;
        else if (t0) mode = t2 ? 0x102 : t1 ? 0x307 : (s.fog ? 0x503 : 0x100);
        else mode = t1 ? 0x205 : 0x100;
        // In a fogged scene every texture is stored as indices plus shade table,
        // which only the fogged filler reads: other modes would show garbage.
        if (s.fog) CHECK(mode == 0x503, "fogged scene with a non-fog material");
        matMode[m] = mode;
    }
    if (s.fog) s.textureSlots *= 2;
    int nObj = w.I();
    CHECK(nObj > 0, "object count");
    std::vector<int> eyeRanges;
    std::vector<std::vector<std::array<float, 3>>> ranges(nObj);
    std::vector<int> parent(nObj);
    for (int o = 0; o < nObj; ++o) {
        w.S(1024);
        parent[o] = w.I();
        CHECK(parent[o] >= -1 && parent[o] < o, "parent must come first");
        s.parented += parent[o] >= 0;
        for (int i = 0; i < 16 + 3 + 4 + 4; ++i) w.F();
        CHECK(w.I() == 1, "sample frequency");
        int nTracks = w.I();
        CHECK(nTracks >= 1, "track count");
        for (int t = 0; t < nTracks; ++t) {
            w.S(1024);
            int keys = w.I();
            CHECK(keys == -1 || keys >= 2, "key count");
            (keys == -1 ? s.staticTracks : s.animatedTracks)++;
            for (int k = 0; k < (keys == -1 ? 1 : keys); ++k) {
                for (int i = 0; i < 4; ++i) w.F();
                float ax = w.F(), ay = w.F(), az = w.F();
                CHECK(std::fabs(ax * ax + ay * ay + az * az - 1) < 1e-3f, "rotation axis not unit");
            }
        }
        int nRanges = w.I();
        CHECK(nRanges >= 0, "range count");
        for (int r = 0; r < nRanges; ++r) {
            float first = (float)w.I(), end = (float)w.I(), v = w.F();
            ranges[o].push_back({first, end, v});
        }
        if (nRanges) CHECK(ranges[o].back()[1] > 0, "last range end");
    }
    int nCam = w.I();
    CHECK(nCam >= 1, "camera count");
    s.cameras = nCam;
    for (int c = 0; c < nCam; ++c) {
        int eye = w.I(), target = w.I();
        CHECK(eye >= 0 && eye < nObj && target >= 0 && target < nObj, "camera objects");
        w.F();
        w.F();
        float nearD = w.F(), farD = w.F(), fov = w.F();
        w.F();
        CHECK(nearD >= 1 && farD > nearD && fov > 0.2f && fov < 3.0f, "camera values");
        int nRoll = w.I();
        CHECK(nRoll >= 1, "roll count");
        for (int i = 0; i < nRoll; ++i) w.F();
        int nFov = w.I();
        CHECK(nFov >= 1, "fov count");
        for (int i = 0; i < nFov; ++i) CHECK(w.F() > 0.2f, "fov value");
        s.rollTrack |= nRoll > 1;
        s.fovTrack |= nFov > 1;
        // A camera that is off for part of its period hands over to another.
        for (auto& r : ranges[eye]) s.cameraSwitch |= c > 0 && r[2] <= 0;
    }
    int nTargets = w.I();
    for (int t = 0; t < nTargets; ++t) CHECK(w.I() < nObj, "target index");
    int nMesh = w.I();
    CHECK(nMesh >= 1, "mesh count");
    for (int m = 0; m < nMesh; ++m) {
        CHECK(w.I() < nObj, "mesh object");
        w.I();
        int nv = w.I();
        CHECK(nv >= 1, "vertex count");
        std::vector<std::array<float, 3>> v(nv);
        for (auto& p : v) p = {w.F(), w.F(), w.F()};
        int nt = w.I();
        for (int i = 0; i < nt * 2; ++i) {
            float uv = w.F();
            CHECK(std::fabs(uv) < 120, "texture coordinate beyond the fixed-point range");
        }
        int nf = w.I();
        for (int f = 0; f < nf; ++f) {
            int vi[3], ti[3];
            for (int& i : vi) { i = w.I(); CHECK(i >= 0 && i < nv, "vertex index"); }
            for (int& i : ti) { i = w.I(); CHECK(i >= 0 && i < nt, "texture vertex index"); }
            int mat = w.I();
            CHECK(mat >= 0 && mat < nMat, "material index");
            s.modes.insert(matMode[mat]);
            float e1[3], e2[3];
            for (int k = 0; k < 3; ++k) {
                e1[k] = v[vi[1]][k] - v[vi[0]][k];
                e2[k] = v[vi[2]][k] - v[vi[0]][k];
            }
            float cx = e1[1] * e2[2] - e1[2] * e2[1], cy = e1[2] * e2[0] - e1[0] * e2[2], cz = e1[0] * e2[1] - e1[1] * e2[0];
            CHECK(cx * cx + cy * cy + cz * cz > 1e-10f, "degenerate face");
        }
        s.faces += nf;
    }
    CHECK(w.AtEnd(), "bytes after the last mesh");
    return s;
}

} // namespace

TEST(DataScenes, EveryRecordIsInRangeAndTheSetCoversEveryRenderPath) {
    std::set<int> modes;
    int fogged = 0, switching = 0, parented = 0, statics = 0, fovs = 0, rolls = 0;
    int firstHalfSlots = 0, secondHalfSlots = 0;
    const std::set<std::string> secondHalf = {"datas/chromatunnel1.qvn", "datas/chromatunnel2.qvn", "datas/sallemetaballs.qvn",
                                              "datas/piecef.qvn", "datas/train.qvn", "datas/theend.qvn"};
    for (const qvn_SDataFile* f : FilesOfKind(QVN_DATA_SCENE)) {
        std::vector<uint8_t> raw = ReadAll(Generated(f->pszName));
        ASSERT_GT(raw.size(), 2u) << f->pszName;
        EXPECT_EQ(raw[0], 0x1F) << f->pszName << " is not gzip-compressed";
        EXPECT_EQ(raw[1], 0x8B) << f->pszName;
        sSummary s;
        try {
            s = Walk(Gunzip(Generated(f->pszName)));
        } catch (const std::exception& e) {
            ADD_FAILURE() << f->pszName << ": " << e.what();
            continue;
        }
        EXPECT_GE(s.faces, 1000) << f->pszName;
        EXPECT_LE(s.faces, 4000) << f->pszName;
        modes.insert(s.modes.begin(), s.modes.end());
        fogged += s.fog;
        switching += s.cameraSwitch;
        parented += s.parented > 0;
        statics += s.staticTracks > 0 && s.animatedTracks > 0;
        fovs += s.fovTrack;
        rolls += s.rollTrack;
        (secondHalf.count(f->pszName) ? secondHalfSlots : firstHalfSlots) += s.textureSlots;
    }
    for (int mode : {0x100, 0x101, 0x102, 0x205, 0x307, 0x503}) EXPECT_TRUE(modes.count(mode)) << std::hex << mode;
    EXPECT_GE(fogged, 2);
    EXPECT_GE(switching, 2);
    EXPECT_GE(parented, 2);
    EXPECT_GE(statics, 2);
    EXPECT_GE(fovs, 2);
    EXPECT_GE(rolls, 2);
    // Each half's scenes share one texture cache of 103 slots (reset only at the
    // start of a half), so together they must fit.
    EXPECT_LE(firstHalfSlots, 103);
    EXPECT_LE(secondHalfSlots, 103);
}
