// The OpenGL renderer of demo_hw on a context with no display: every render
// mode, the depth test, the colour key, fog and a scene of the default data
// against the software rasteriser by structure; where the two differ by
// design (bilinear against point sampling, intersecting faces) each against
// its own expectation; and the GL frames against their golden copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "datas_Fixture.h"
#include "gl_Context.h"
#include "gl_Frames.h"
#include "qvn_DisplayGL.h"
#include "qvn_TestScene.h"
#include "qvn_TestSoftRender.h"
#include "qvn_cImporter.h"
#include "qvn_cMaterial.h"
#include "qvn_cRendererGL.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

namespace {

using gltest::H;
using gltest::W;
using Frame = std::vector<uint16_t>;

constexpr uint16_t kBackground = 0x0841;
constexpr uint16_t kRed = 0xF800, kBlue = 0x001F;

gltest::cDisplayEnvironment* const s_pDisplays = gltest::AddDisplayEnvironment(W, H);

qvn_cCaptureGLDisplay* Display() { return s_pDisplays->Get(); }

class GL : public ::testing::Test {
protected:
    void SetUp() override {
        display_ = Display();
        if (!display_) GTEST_SKIP() << "no OpenGL context without a display on this machine";
        gl_.reset(new qvn_cRendererGL(display_));
        pf_.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
        ASSERT_TRUE(cache_.Create(&pf_));
        soft_.SetTextureCache(&cache_);
    }

    // The scene's frame drawn by the software rasteriser over a background.
    Frame Soft(const std::vector<uint8_t>& bytes, int frame, uint16_t background = kBackground) {
        Frame f(W * H, background);
        soft_.SetTarget(f.data(), W, H, W, pf_);
        EXPECT_TRUE(qvntest::RenderSoft(soft_, cache_, bytes, frame));
        return f;
    }

    // The same through the GL renderer: the background goes in through a
    // locked surface, so it is uploaded before the scene draws over it.
    Frame Gl(qvn_cScene& scene, int frame, uint16_t background = kBackground) {
        display_->Clear();
        display_->Lock();
        EXPECT_NE(display_->m_pSurfacePixels, nullptr);
        if (display_->m_pSurfacePixels) std::fill_n(display_->m_pSurfacePixels, W * H, background);
        display_->Unlock();
        scene.m_nFrame = frame;
        scene.Render();
        display_->Lock();
        Frame f(display_->m_pSurfacePixels, display_->m_pSurfacePixels + W * H);
        display_->Unlock();
        return f;
    }
    Frame Gl(const std::vector<uint8_t>& bytes, int frame, uint16_t background = kBackground) {
        qvn_cScene scene;
        scene.m_pRenderer = gl_.get();
        gl_->m_pCurrentMaterial = nullptr;
        qvn_cImporter importer;
        EXPECT_TRUE(importer.LoadBuffer(bytes.data(), bytes.size(), &scene));
        return Gl(scene, frame, background);
    }

    static int Count(const Frame& f, uint16_t value) { return static_cast<int>(std::count(f.begin(), f.end(), value)); }
    static double Luma(const Frame& f) {
        double sum = 0;
        for (uint16_t p : f) sum += ((p >> 11) & 31) * 2.0 + ((p >> 5) & 63) * 2.0 + (p & 31) * 0.8;
        return sum / f.size();
    }

    qvn_cCaptureGLDisplay* display_ = nullptr;
    std::unique_ptr<qvn_cRendererGL> gl_;
    qvn_cSoftRenderer soft_;
    qvn_cTextureCache cache_;
    qvn_cPixelFormat pf_;
};

struct SMode {
    const char* what;
    int flags, type;
    bool fog;
    int mode;
};
const SMode kModes[] = {
    {"copy", 1, 2, false, QVN_MODE_COPY},
    {"additive", 1, 0, false, QVN_MODE_ADD},
    {"masked", 1 | 4, 2, false, QVN_MODE_MASK},
    {"environment", 2, 2, false, QVN_MODE_ENV},
    {"texture + env", 1 | 2, 2, false, QVN_MODE_TEX_ENV},
    {"fogged", 1, 2, true, QVN_MODE_FOG},
};

// The rotating square of the software renderer's own golden test: 30 keys
// about Z, texture repeated twice across, a mask of 16-texel stripes.
qvntest::Scene ModeScene(const SMode& m) {
    qvntest::Scene s = qvntest::BasicScene(m.flags, m.type);
    s.fog = m.fog;
    s.cameras[0].farDistance = 30.0f;
    qvntest::Texture& mask = s.materials[0].tex[3];
    mask.palette[0] = mask.palette[1] = mask.palette[2] = 0;
    for (size_t i = 0; i < mask.pixels.size(); ++i) mask.pixels[i] = (i / 16) % 2 ? 0 : 200;
    qvntest::Track t;
    t.isStatic = false;
    t.keys.clear();
    for (int k = 0; k < 30; ++k) t.keys.push_back(qvntest::Key{0, 0, 0, k * 0.1f, 0, 0, 1});
    s.objects[2].tracks = {t};
    s.meshes[0] = qvntest::Square(2, 6.0f, 0.0f, 0, 2.0f);
    return s;
}

qvntest::Texture Solid(uint8_t r, uint8_t g, uint8_t b) {
    qvntest::Texture t = qvntest::GradientTexture();
    for (int i = 0; i < 256; ++i) {
        t.palette[3 * i] = r;
        t.palette[3 * i + 1] = g;
        t.palette[3 * i + 2] = b;
    }
    return t;
}

TEST_F(GL, EveryModeMatchesTheSoftwareRendererByStructure) {
    for (const SMode& m : kModes) {
        const std::vector<uint8_t> bytes = ModeScene(m).Build();
        for (int frame : {0, 5, 12}) {
            SCOPED_TRACE(std::string(m.what) + " frame " + std::to_string(frame));
            const Frame soft = Soft(bytes, frame);
            const Frame gl = Gl(bytes, frame);
            EXPECT_EQ(gl_->m_nRenderMode, m.mode);
            EXPECT_GT(W * H - Count(gl, kBackground), 5000);
            const gltest::SScore s = gltest::Compare(gl, soft, 1);
            EXPECT_GE(s.ssim, 0.85);
            EXPECT_GE(s.psnr, 20.0);
            // Spans end before the clip bounds in both: the last column and
            // row are never drawn.
            for (int y = 0; y < H; ++y) EXPECT_EQ(gl[y * W + W - 1], kBackground) << "row " << y;
            for (int x = 0; x < W; ++x) EXPECT_EQ(gl[(H - 1) * W + x], kBackground) << "column " << x;
        }
    }
}

TEST_F(GL, ColourKeyCutsTheMaskHolesUnderBilinearFiltering) {
    // Bilinear filtering moves the hole edges by a fraction of a texel, so
    // the holes are compared by area, not pixel by pixel.
    const std::vector<uint8_t> bytes = ModeScene(kModes[2]).Build();
    const Frame soft = Soft(bytes, 0), gl = Gl(bytes, 0);
    const Frame bare = Gl(ModeScene(kModes[0]).Build(), 0);
    const int holesSoft = Count(soft, kBackground) - Count(bare, kBackground);
    const int holesGl = Count(gl, kBackground) - Count(bare, kBackground);
    EXPECT_GT(holesSoft, 10000);
    EXPECT_NEAR(holesGl, holesSoft, holesSoft * 0.1);
    // Where a texel is drawn it is the texture's, not a blend with the hole.
    int drawnDiffer = 0;
    for (size_t i = 0; i < gl.size(); ++i) drawnDiffer += gl[i] != kBackground && gl[i] != bare[i];
    EXPECT_EQ(drawnDiffer, 0);
}

TEST_F(GL, IntersectingFacesMeetWhereTheyCross) {
    // Square A faces the camera at depth 0 (red); square B (blue) is tilted
    // through it, nearer on the left. The painter's order alone cannot show
    // that; the depth test does.
    qvntest::Scene s = qvntest::BasicScene(1, 2);
    s.materials[0].tex[0] = Solid(255, 0, 0);
    qvntest::Material blue = s.materials[0];
    blue.tex[0] = Solid(0, 0, 255);
    s.materials.push_back(blue);
    s.meshes[0] = qvntest::Square(2, 4.0f, 0.0f, 0);
    qvntest::Mesh b = qvntest::Square(2, 4.0f, 0.0f, 1);
    b.vertices = {-4, -2, 4, -4, -2, -4, 4, 2, -4, 4, 2, 4};
    s.meshes.push_back(b);
    const std::vector<uint8_t> bytes = s.Build();
    const Frame gl = Gl(bytes, 0), soft = Soft(bytes, 0);
    auto at = [](const Frame& f, int x, int y) { return f[y * W + x]; };
    // Upper left: B in front of A. Lower right: A in front of B.
    EXPECT_EQ(at(gl, 118, 72), kBlue);
    EXPECT_EQ(at(gl, 194, 161), kRed);
    // The software renderer draws whole faces in depth order instead.
    EXPECT_EQ(at(soft, 118, 72), kRed);
    EXPECT_EQ(at(soft, 194, 161), kBlue);
    // Along the crossing (screen x = 160) both colours meet.
    int left = 0, right = 0;
    for (int y = 60; y < 180; ++y) {
        left += at(gl, 150, y) == kBlue;
        right += at(gl, 170, y) == kRed;
    }
    EXPECT_GT(left, 60);
    EXPECT_GT(right, 60);
}

TEST_F(GL, FogDarkensTowardsBlackAsTheSoftwareFogDoes) {
    qvntest::Scene s = qvntest::BasicScene(1, 2);
    s.materials[0].tex[0] = Solid(200, 200, 200);
    s.cameras[0].farDistance = 30.0f;
    const Frame clear = Gl(s.Build(), 0, 0);
    s.fog = true;
    const std::vector<uint8_t> bytes = s.Build();
    const Frame gl = Gl(bytes, 0, 0), soft = Soft(bytes, 0, 0);
    EXPECT_EQ(gl_->m_nRenderMode, QVN_MODE_FOG);
    // Square at depth 10 of a 1 .. 30 range: fog 9 / 29, about a third.
    const double ratio = Luma(gl) / Luma(clear);
    EXPECT_NEAR(ratio, 1.0 - 9.0 / 29.0, 0.05);
    EXPECT_NEAR(Luma(gl) / Luma(soft), 1.0, 0.06);
}

TEST_F(GL, MirroredFaceDrawsNothing) {
    qvntest::Scene s = qvntest::BasicScene(1, 2);
    for (qvntest::Face& f : s.meshes[0].faces) {
        std::swap(f.v[1], f.v[2]);
        std::swap(f.t[1], f.t[2]);
    }
    const Frame gl = Gl(s.Build(), 0);
    EXPECT_EQ(Count(gl, kBackground), W * H);
}

TEST_F(GL, UnitsForgetTexturesOfAFreedScene) {
    // A material that binds nothing draws with what unit 0 held before; when
    // that scene is gone there is nothing left to draw with.
    Gl(qvntest::BasicScene(1, 2).Build(), 0);
    EXPECT_EQ(gl_->m_pUnit[0], nullptr);
    const Frame f = Gl(qvntest::BasicScene(0, 0).Build(), 0);
    EXPECT_EQ(gl_->m_nRenderMode, QVN_MODE_COPY);
    EXPECT_EQ(Count(f, kBackground), W * H);
}

TEST_F(GL, PicturesWrittenIntoTheLockedFrameSurviveTheNextScene) {
    // A part composites into the locked frame, then draws a scene over it
    // (the frame is uploaded first); what the faces do not cover stays.
    qvn_cScene scene;
    scene.m_pRenderer = gl_.get();
    gl_->m_pCurrentMaterial = nullptr;
    const std::vector<uint8_t> bytes = qvntest::BasicScene(1, 2).Build();
    qvn_cImporter importer;
    ASSERT_TRUE(importer.LoadBuffer(bytes.data(), bytes.size(), &scene));
    display_->Clear();
    display_->Lock();
    ASSERT_NE(display_->m_pSurfacePixels, nullptr);
    for (int i = 0; i < W * H; ++i) display_->m_pSurfacePixels[i] = static_cast<uint16_t>(i * 7);
    display_->Unlock();
    scene.Render();
    display_->Flip();
    const Frame& shown = display_->Presented();
    EXPECT_EQ(shown[0], 0);
    EXPECT_EQ(shown[5 * W + 3], static_cast<uint16_t>((5 * W + 3) * 7));
    EXPECT_EQ(shown[(H - 1) * W + W - 1], static_cast<uint16_t>(((H - 1) * W + W - 1) * 7));
    EXPECT_NE(shown[120 * W + 160], static_cast<uint16_t>((120 * W + 160) * 7));
    // Clear empties colour and depth: a face behind where the last one stood
    // draws again.
    display_->Clear();
    display_->Lock();
    EXPECT_EQ(std::count(display_->m_pSurfacePixels, display_->m_pSurfacePixels + W * H, 0), W * H);
    display_->Unlock();
    scene.Render();
    display_->Lock();
    EXPECT_NE(display_->m_pSurfacePixels[120 * W + 160], 0);
    display_->Unlock();
}

TEST_F(GL, FacesOfOneMaterialRunAreOneDrawCall) {
    qvntest::Scene s = qvntest::BasicScene(1, 2);
    // Nine squares one behind the other, all of one material: one run.
    for (int k = 1; k < 9; ++k) s.meshes.push_back(qvntest::Square(2, 1.0f + k, 0.5f * k, 0));
    Gl(s.Build(), 0);
    EXPECT_EQ(gl_->LastFaces(), 18);
    EXPECT_EQ(gl_->LastDrawCalls(), 1);
    // Texture plus environment: two passes, two calls for the whole run.
    s.materials[0].flags = 1 | 2;
    Gl(s.Build(), 0);
    EXPECT_EQ(gl_->LastDrawCalls(), 2);
}

TEST_F(GL, DefaultDataSceneMatchesTheSoftwareRenderer) {
    const std::string path = datas_test::Generated("datas/pilliers.qvn");
    ASSERT_FALSE(path.empty());
    qvn_cScene softScene, glScene;
    softScene.m_pRenderer = &soft_;
    glScene.m_pRenderer = gl_.get();
    qvn_cImporter a, b;
    ASSERT_TRUE(a.LoadData(path.c_str(), &softScene));
    gl_->m_pCurrentMaterial = nullptr;
    ASSERT_TRUE(b.LoadData(path.c_str(), &glScene));
    cache_.Reset();
    soft_.m_pCurrentMaterial = nullptr;
    cache_.PrepareScene(&softScene);
    for (int frame : {0, 250, 700, 1400}) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        Frame soft(W * H, 0);
        soft_.SetTarget(soft.data(), W, H, W, pf_);
        softScene.m_nFrame = frame;
        softScene.Render();
        const Frame gl = Gl(glScene, frame, 0);
        const gltest::SScore s = gltest::Compare(gl, soft, 1);
        EXPECT_GE(s.ssim, 0.85);
        EXPECT_GE(s.psnr, 20.0);
        EXPECT_LT(gl_->LastDrawCalls(), gl_->LastFaces() / 4 + 8);
    }
}

// Golden frames of this renderer, made on the context and by the compiler
// named in context.txt: exact there, within 40 dB elsewhere (another Mesa,
// another GPU, or another compiler's float rounding in the scene's own
// projection). QVN_UPDATE_GOLDEN=1 rewrites them.
TEST_F(GL, FramesMatchTheirGoldenCopies) {
    const std::string dir = std::string(QVN_SOURCE_DIR) + "/tests/gl/golden/";
    const bool update = std::getenv("QVN_UPDATE_GOLDEN") != nullptr;
    const std::string here = display_->ContextDescription() + " | " + __VERSION__;
    std::string madeOn;
    std::getline(std::ifstream(dir + "context.txt"), madeOn);
    const bool sameContext = madeOn == here;
    std::vector<std::pair<std::string, Frame>> frames;
    for (const SMode& m : kModes) {
        std::string name = m.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        name.erase(std::remove(name.begin(), name.end(), '+'), name.end());
        frames.emplace_back(name, Gl(ModeScene(m).Build(), 5));
    }
    const std::string path = datas_test::Generated("datas/pilliers.qvn");
    ASSERT_FALSE(path.empty());
    qvn_cScene scene;
    scene.m_pRenderer = gl_.get();
    gl_->m_pCurrentMaterial = nullptr;
    qvn_cImporter importer;
    ASSERT_TRUE(importer.LoadData(path.c_str(), &scene));
    frames.emplace_back("pillars_700", Gl(scene, 700, 0));
    if (update) {
        std::ofstream(dir + "context.txt") << here << "\n";
        for (auto& f : frames) ASSERT_TRUE(gltest::WriteFrame(dir + f.first + ".565.gz", f.second)) << f.first;
        GTEST_SKIP() << "golden frames written to " << dir;
    }
    for (auto& f : frames) {
        SCOPED_TRACE(f.first);
        Frame golden;
        ASSERT_TRUE(gltest::ReadFrame(dir + f.first + ".565.gz", &golden)) << "run with QVN_UPDATE_GOLDEN=1";
        if (sameContext) EXPECT_TRUE(golden == f.second) << "made on " << madeOn;
        else EXPECT_GE(gltest::FullPsnr(golden, f.second), 40.0) << "made on " << madeOn << ", here " << here;
    }
}

}  // namespace
