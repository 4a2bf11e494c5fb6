// The frame's looks on a screen: where the frame goes, each look against its
// own definition on known frames (blocks, edges blended over at most one
// screen pixel, scanlines, the mask), and the GL presenters' shader against
// the definition, on a context with no display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "gl_Context.h"
#include "qvn_DisplayGL.h"
#include "qvn_PictureFilter.h"

namespace {

constexpr int W = 320, H = 240;
using Frame = std::vector<uint16_t>;
using Picture = std::vector<uint32_t>;

struct SOut {
    int w, h;
};

Picture Filtered(qvn_eFilter filter, const Frame& frame, SOut out, qvn_SFilterRect* rectOut = nullptr) {
    const qvn_SFilterRect rect = qvn_FilterRect(filter, out.w, out.h, W, H);
    Picture p(static_cast<size_t>(out.w) * out.h);
    qvn_FilterPicture(filter, frame.data(), W, H, W, out.w, out.h, rect, p.data());
    if (rectOut) *rectOut = rect;
    return p;
}

int Channel(uint32_t p, int c) { return static_cast<int>((p >> (16 - 8 * c)) & 0xFF); }
double Luma(uint32_t p) { return 0.3 * Channel(p, 0) + 0.59 * Channel(p, 1) + 0.11 * Channel(p, 2); }

// A frame with something of everything: random pixels, flat areas and
// gradients (a fixed generator, so the same every run).
Frame KnownFrame() {
    Frame f(W * H);
    uint32_t seed = 12345;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525u + 1013904223u;
            uint16_t p;
            if (y < 80) p = static_cast<uint16_t>(seed >> 16);
            else if (y < 160) p = static_cast<uint16_t>(((x * 31 / W) << 11) | ((y * 63 / H) << 5) | (x / 40 * 4));
            else p = (x / 16 + y / 16) % 2 ? 0xFFFF : 0x0000;
            f[static_cast<size_t>(y) * W + x] = p;
        }
    return f;
}

TEST(PictureFilter, TheFrameGoesWhereEachLookPutsIt) {
    struct SCase {
        qvn_eFilter filter;
        SOut out;
        qvn_SFilterRect want;
    };
    const SCase cases[] = {
        // Whole-number blocks, letterboxed.
        {qvn_eFilter::kNearest, {1920, 1080}, {320, 60, 1280, 960}},
        {qvn_eFilter::kNearest, {640, 480}, {0, 0, 640, 480}},
        // Not even 1x fits: the largest 4:3 rectangle.
        {qvn_eFilter::kNearest, {200, 100}, {33, 0, 133, 100}},
        // The other looks fill the screen at 4:3.
        {qvn_eFilter::kSharp, {1920, 1080}, {240, 0, 1440, 1080}},
        {qvn_eFilter::kCrt, {1920, 1080}, {240, 0, 1440, 1080}},
        {qvn_eFilter::kSharp, {1000, 750}, {0, 0, 1000, 750}},
        {qvn_eFilter::kSharp, {1024, 1024}, {0, 128, 1024, 768}},
    };
    for (const SCase& c : cases) {
        const qvn_SFilterRect r = qvn_FilterRect(c.filter, c.out.w, c.out.h, W, H);
        EXPECT_EQ(r.x, c.want.x) << qvn_FilterName(c.filter) << " " << c.out.w << "x" << c.out.h;
        EXPECT_EQ(r.y, c.want.y) << qvn_FilterName(c.filter) << " " << c.out.w << "x" << c.out.h;
        EXPECT_EQ(r.w, c.want.w) << qvn_FilterName(c.filter) << " " << c.out.w << "x" << c.out.h;
        EXPECT_EQ(r.h, c.want.h) << qvn_FilterName(c.filter) << " " << c.out.w << "x" << c.out.h;
    }
    qvn_eFilter f;
    EXPECT_TRUE(qvn_ParseFilter("crt", &f));
    EXPECT_EQ(f, qvn_eFilter::kCrt);
    EXPECT_FALSE(qvn_ParseFilter("Sharp", &f));
    EXPECT_FALSE(qvn_ParseFilter("", &f));
}

// At a whole-number scale the sharp look is the nearest one, pixel for pixel,
// in the PNG files' colours; outside the rectangle everything is black.
TEST(PictureFilter, SharpAtWholeScalesIsNearest) {
    const Frame frame = KnownFrame();
    for (SOut out : {SOut{640, 480}, SOut{1280, 960}, SOut{960, 720}}) {
        EXPECT_EQ(Filtered(qvn_eFilter::kSharp, frame, out), Filtered(qvn_eFilter::kNearest, frame, out))
            << out.w << "x" << out.h;
    }
    qvn_SFilterRect r;
    const Picture p = Filtered(qvn_eFilter::kNearest, frame, {1920, 1080}, &r);
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x)
            if (x < r.x || x >= r.x + r.w || y < r.y || y >= r.y + r.h) {
                ASSERT_EQ(p[y * 1920 + x], 0u) << x << "," << y;
            }
    // 0x001F is blue 31: 255 in the file's colours.
    Frame blue(W * H, 0x001F);
    EXPECT_EQ(Filtered(qvn_eFilter::kNearest, blue, {640, 480})[0], 0x0000FFu);
}

// Stripes one frame pixel wide, the hardest case: at any scale from 2x every
// edge is blended over at most one screen pixel, and each frame pixel keeps
// a flat inside of its own colour.
TEST(PictureFilter, SharpEdgesBlendOverAtMostOneScreenPixel) {
    Frame columns(W * H), rows(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            columns[y * W + x] = x % 2 ? 0xFFFF : 0;
            rows[y * W + x] = y % 2 ? 0xFFFF : 0;
        }
    for (SOut out : {SOut{700, 525}, SOut{1000, 750}, SOut{1920, 1080}, SOut{2560, 1440}, SOut{1366, 768}}) {
        qvn_SFilterRect r;
        const Picture pc = Filtered(qvn_eFilter::kSharp, columns, out, &r);
        const Picture pr = Filtered(qvn_eFilter::kSharp, rows, out);
        // Along a line across the stripes: between two pure pixels of
        // different colour at most one in between.
        auto check = [&](const Picture& p, bool acrossColumns, int line) {
            int between = 0, pure = 0;
            const int n = acrossColumns ? r.w : r.h;
            for (int i = 0; i < n; ++i) {
                const uint32_t v =
                    acrossColumns ? p[(r.y + line) * out.w + r.x + i] : p[(r.y + i) * out.w + r.x + line];
                if (v == 0 || v == 0xFFFFFF) {
                    ++pure;
                    between = 0;
                } else if (++between > 1) {
                    ADD_FAILURE() << out.w << "x" << out.h << ": two blended pixels in a row at " << i;
                    return;
                }
            }
            // Every frame pixel keeps at least one pure screen pixel.
            EXPECT_GE(pure, acrossColumns ? W : H) << out.w << "x" << out.h;
        };
        for (int line : {0, r.h / 3, r.h - 1}) check(pc, true, std::min(line, r.h - 1));
        for (int line : {0, r.w / 3, r.w - 1}) check(pr, false, std::min(line, r.w - 1));
    }
}

// Scanlines: within each frame row the screen rows darken toward its end,
// so at 2x and 4x the last screen row of a frame row is darker than the
// first, and the first keeps the picture bright; the mask makes columns
// lean to red, green and blue in turn.
TEST(PictureFilter, CrtRowsDarkenTowardTheScanlineAndColumnsCarryTheMask) {
    const Frame grey(W * H, 0x8410);  // mid grey
    for (int scale : {2, 4}) {
        const SOut out{W * scale, H * scale};
        const Picture p = Filtered(qvn_eFilter::kCrt, grey, out);
        std::vector<double> rowLuma(scale, 0.0);
        for (int y = 0; y < out.h; ++y)
            for (int x = 0; x < out.w; ++x) rowLuma[y % scale] += Luma(p[y * out.w + x]);
        for (double& l : rowLuma) l /= static_cast<double>(H) * out.w;
        EXPECT_LT(rowLuma[scale - 1], rowLuma[0] * 0.8) << scale << "x";
        for (int k = 1; k < scale; ++k) EXPECT_LE(rowLuma[k], rowLuma[k - 1] + 1e-9) << scale << "x row " << k;
        // The grey is 132: the bright rows stay at least that bright.
        EXPECT_GE(rowLuma[0], 132.0 * 0.95) << scale << "x";
        for (int x = 0; x < 3; ++x) {
            const uint32_t v = p[x];
            for (int c = 0; c < 3; ++c) {
                if (c != x) {
                    EXPECT_GT(Channel(v, x), Channel(v, c)) << scale << "x column " << x;
                }
            }
        }
    }
    // Black stays black; white is clamped, not wrapped.
    EXPECT_EQ(Filtered(qvn_eFilter::kCrt, Frame(W * H, 0), {640, 480})[1000], 0u);
    EXPECT_EQ(Channel(Filtered(qvn_eFilter::kCrt, Frame(W * H, 0xFFFF), {640, 480})[0], 0), 255);
}

// ------------------------------------------------------------ the shader

gltest::cDisplayEnvironment* const s_pContext = gltest::AddDisplayEnvironment(W, H);

// The presenters' picture of a known frame against the definition: nearest
// (a blit) within the one step GL's own widening of 5 and 6 bits may round
// to, the shaders within one step but for a rare rounding of two.
TEST(PictureFilterGL, TheShaderDrawsTheDefinition) {
    qvn_cCaptureGLDisplay* display = s_pContext->Get();
    if (!display) GTEST_SKIP() << "no OpenGL context without a display on this machine";
    const Frame frame = KnownFrame();
    display->Device().Upload(frame.data());
    for (qvn_eFilter filter : {qvn_eFilter::kNearest, qvn_eFilter::kSharp, qvn_eFilter::kCrt}) {
        for (SOut out : {SOut{640, 480}, SOut{1280, 960}, SOut{1000, 750}, SOut{1920, 1080}}) {
            qvn_SFilterRect rect;
            const Picture want = Filtered(filter, frame, out, &rect);
            Picture got;
            ASSERT_TRUE(display->Device().FilteredPicture(filter, out.w, out.h, rect, &got))
                << display->Device().Error();
            ASSERT_EQ(got.size(), want.size());
            int worst = 0;
            size_t offByMore = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                int d = 0;
                for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(Channel(got[i], c) - Channel(want[i], c)));
                worst = std::max(worst, d);
                offByMore += d > 1;
            }
            const char* name = qvn_FilterName(filter);
            if (filter == qvn_eFilter::kNearest) {
                EXPECT_LE(worst, 1) << name << " " << out.w << "x" << out.h;
            } else {
                EXPECT_LE(worst, 2) << name << " " << out.w << "x" << out.h;
                EXPECT_LE(offByMore, got.size() / 1000) << name << " " << out.w << "x" << out.h;
            }
        }
    }
    EXPECT_TRUE(display->Device().Error().empty()) << display->Device().Error();
}

}  // namespace
