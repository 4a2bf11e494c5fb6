// The frame loop on its own, with a display whose lock can fail: a frame
// without a surface is not read or written, every lock is undone exactly
// once, and a part that cannot start ends the show instead of drawing.
#include <gtest/gtest.h>

#include <filesystem>

#include "qvn_Bitmap.h"
#include "qvn_Capture.h"
#include "qvn_CaptureRun.h"
#include "qvn_Display_capture.h"
#include "qvn_FramePart.h"
#include "qvn_Run.h"
#include "qvn_Window.h"

namespace {

class FlakyDisplay : public qvn_cCaptureDisplay {
public:
    int lockCalls = 0, locked = 0, unlocked = 0;
    bool failEven = false;
    void Lock() override {
        ++lockCalls;
        if (failEven && lockCalls % 2 == 0) {
            m_pSurfacePixels = nullptr;
            return;
        }
        qvn_cCaptureDisplay::Lock();
        ++locked;
    }
    int32_t Unlock() override {
        ++unlocked;
        return qvn_cCaptureDisplay::Unlock();
    }
};

// Paints a white full-screen layer; ends after a number of frames, either
// before drawing or in the middle of a frame.
class WhitePart : public qvn_cFramePart {
public:
    int framesToDraw = 5;
    bool endInside = true;
    bool failStart = false;
    int frames = 0;
    bool load() override { return true; }

protected:
    bool beginRun() override {
        if (failStart) return false;
        qvn_cBitmap* white = screenBitmap(1.0f, 1.0f, 1.0f, 1.0f);
        return white && m_pLayers->add(white) >= 0;
    }
    bool endsBeforeDrawing(int32_t) override { return !endInside && frames == framesToDraw; }
    bool frame(int32_t) override {
        if (endInside && frames == framesToDraw) return false;
        ++frames;
        return true;
    }
};

class FrameLoop : public testing::Test {
protected:
    void SetUp() override {
        settings.dir = (std::filesystem::path(testing::TempDir()) / "qvn_frame_loop").string();
        settings.firstPngFrame = -1;
        ASSERT_TRUE(session.Start(settings));
        g_pCapture = &session;
        qvn_run::Add(&captureRun);
        window.SetInput(&captureRun);
        ASSERT_TRUE(display.Init("NoSelection", 320, 240, 16, 0));
        g_pDisplay = &display;
    }
    void TearDown() override {
        g_pDisplay = nullptr;
        g_pCapture = nullptr;
        qvn_run::Clear();
        session.Finish();
    }
    qvn_SCaptureSettings settings;
    qvn_cCaptureSession session;
    qvn_cCaptureRun captureRun{&session};
    FlakyDisplay display;
    qvn_cWindow window;
};

TEST_F(FrameLoop, AFailedLockSkipsTheSurfaceWorkButNotTheFrame) {
    display.failEven = true;
    WhitePart part;
    part.framesToDraw = 6;
    part.endInside = false;
    part.run();
    EXPECT_EQ(part.frames, 6);
    EXPECT_EQ(display.FlipCount(), 6);
    // Every successful lock is undone once; the failed ones are not.
    EXPECT_EQ(display.locked, 3);
    EXPECT_EQ(display.unlocked, 3);
    EXPECT_EQ(part.m_bLocked, 0);
    // The last frame's lock failed: the cleared surface was shown as it was.
    EXPECT_EQ(display.Presented()[160 * 320 + 120], 0);
}

TEST_F(FrameLoop, APartEndingInsideAFrameIsUnlockedOnceAndNotShown) {
    WhitePart part;
    part.framesToDraw = 3;
    part.run();
    EXPECT_EQ(display.FlipCount(), 3);
    EXPECT_EQ(display.locked, 4);
    EXPECT_EQ(display.unlocked, 4);
    EXPECT_EQ(display.Presented()[100 * 320 + 100], 0xFFFF);
}

TEST_F(FrameLoop, APartThatCannotStartEndsTheShow) {
    WhitePart part;
    part.failStart = true;
    part.run();
    EXPECT_EQ(display.FlipCount(), 0);
    EXPECT_EQ(display.lockCalls, 0);
    EXPECT_FALSE(window.PumpMessages());
    EXPECT_TRUE(window.QuitSeen());
    // After the quit a part's loop does not start at all.
    WhitePart next;
    next.run();
    EXPECT_EQ(display.FlipCount(), 0);
}

TEST_F(FrameLoop, APumpWithoutAFlipStillMovesTheCaptureClock) {
    const uint32_t start = session.VirtualMs();
    ASSERT_TRUE(window.PumpMessages());
    ASSERT_TRUE(window.PumpMessages());
    EXPECT_EQ(session.VirtualMs(), start + 2000 / 60);
    // A pump right after a flip does not move it again.
    WhitePart part;
    part.framesToDraw = 1;
    part.endInside = false;
    part.run();
    const uint32_t afterRun = session.VirtualMs();
    EXPECT_EQ(session.FrameIndex(), 1u);
    EXPECT_EQ(afterRun, 3000u / 60);
}

}  // namespace
