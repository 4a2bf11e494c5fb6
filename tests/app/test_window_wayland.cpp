// The SDL2 screens on a Wayland compositor that scales its desktop by 2 (run
// by with_weston.sh): the program takes SDL's Wayland driver by itself, the
// window's picture is drawn in the drawable's pixels (twice the window's
// size in points), and full screen covers the output without a mode change.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qvn_DisplayGL.h"
#include "qvn_EngDisplay.h"
#include "qvn_SdlContext_sdl2.h"
#include "qvn_Window.h"

namespace {

struct SPicture {
    std::vector<uint32_t> rgb;
    int w = 0, h = 0;
    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * w + x]; }
};

void Pump(int ms) {
    const Uint32 end = SDL_GetTicks() + static_cast<Uint32>(ms);
    while (!SDL_TICKS_PASSED(SDL_GetTicks(), end)) {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        SDL_Delay(10);
    }
}

void FillBlue(qvn_cEngDisplay& display) {
    display.Lock();
    ASSERT_NE(display.m_pSurfacePixels, nullptr);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) display.m_pSurfacePixels[y * display.m_nPitchPixels + x] = 0x001F;
    display.Unlock();
}

// The blue rectangle of the picture (x0, y0, x1, y1), -1s when none.
struct SBox {
    int x0 = -1, y0 = -1, x1 = -1, y1 = -1;
};
SBox BlueBox(const SPicture& p) {
    SBox b;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            if (p.At(x, y) == 0x0000FFu) {
                if (b.x0 < 0 || x < b.x0) b.x0 = x;
                if (b.y0 < 0) b.y0 = y;
                if (x + 1 > b.x1) b.x1 = x + 1;
                b.y1 = y + 1;
            }
    return b;
}

class Wayland : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Whatever the run's environment asked for, these cases are about
        // the driver the program picks on its own.
        unsetenv("SDL_VIDEODRIVER");
    }
    void SetUp() override {
        if (!std::getenv("WAYLAND_DISPLAY")) GTEST_SKIP() << "no Wayland compositor (run through with_weston.sh)";
        ASSERT_TRUE(m_Window.Create(nullptr, nullptr, nullptr, 1)) << SDL_GetError();
        ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "wayland");
    }
    void TearDown() override { Pump(50); }

    // Shows the display's frame, lets the compositor configure the window,
    // and returns the window's picture and its size in points.
    SPicture Shown(qvn_cEngDisplay& display, int* pointsW, int* pointsH) {
        SPicture p;
        for (int i = 0; i < 20; ++i) {
            display.Flip();
            Pump(25);
        }
        SDL_GetWindowSize(qvn_Sdl().window, pointsW, pointsH);
        EXPECT_TRUE(display.WindowPicture(&p.rgb, &p.w, &p.h));
        return p;
    }

    void CheckScreen(qvn_cEngDisplay& display) {
        FillBlue(display);
        int pw = 0, ph = 0;
        SPicture p = Shown(display, &pw, &ph);
        // 640 x 480 points are 1280 x 960 pixels: the frame at 4x, not 2x
        // blown up by the compositor.
        EXPECT_EQ(pw, 640);
        EXPECT_EQ(ph, 480);
        EXPECT_EQ(p.w, 2 * pw);
        EXPECT_EQ(p.h, 2 * ph);
        SBox b = BlueBox(p);
        EXPECT_EQ(b.x1 - b.x0, 1280);
        EXPECT_EQ(b.y1 - b.y0, 960);

        // Full screen: the output's own size, the desktop's mode unchanged,
        // the frame centred at a whole-number scale.
        SDL_DisplayMode before, after;
        ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &before), 0);
        ASSERT_NE(qvn_Sdl().toggleFullscreen, nullptr);
        qvn_Sdl().toggleFullscreen();
        p = Shown(display, &pw, &ph);
        ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &after), 0);
        EXPECT_EQ(after.w, before.w);
        EXPECT_EQ(after.h, before.h);
        EXPECT_TRUE(SDL_GetWindowFlags(qvn_Sdl().window) & SDL_WINDOW_FULLSCREEN_DESKTOP);
        EXPECT_GT(p.w, 1280);
        b = BlueBox(p);
        const int scale = (b.x1 - b.x0) / 320;
        EXPECT_GE(scale, 1);
        EXPECT_EQ(b.x1 - b.x0, 320 * scale);
        EXPECT_EQ(b.y1 - b.y0, 240 * scale);
        EXPECT_NEAR(b.x0, p.w - b.x1, 1);
        EXPECT_NEAR(b.y0, p.h - b.y1, 1);
        qvn_Sdl().toggleFullscreen();
    }

    qvn_cWindow m_Window;
};

TEST_F(Wayland, TheSoftwareScreenDrawsInPixelsAndGoesFullScreenWithoutAModeChange) {
    qvn_cEngDisplay display;
    ASSERT_TRUE(display.Init("display", 320, 240, 16, 1));
    CheckScreen(display);
}

TEST_F(Wayland, TheGLScreenDoesTheSame) {
    qvn_cScreenGLDisplay display(true);
    ASSERT_TRUE(display.Init("display", 320, 240, 16, 1));
    CheckScreen(display);
}

}  // namespace
