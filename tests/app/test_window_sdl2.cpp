// The SDL2 window's message pump with synthetic key presses (SDL's dummy
// video driver: no display needed).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "qvn_EngDisplay.h"
#include "qvn_Overlay.h"
#include "qvn_Window.h"

namespace {

void PressKey(SDL_Keycode key) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    SDL_PushEvent(&e);
}

// Pumps until the queue is empty; counts the calls that reported the quit.
int PumpAll(qvn_cWindow& window, int calls) {
    int quits = 0;
    for (int i = 0; i < calls; ++i) quits += !window.PumpMessages();
    return quits;
}

class SdlWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "dummy", 1); }
    void SetUp() override { ASSERT_TRUE(m_Window.Create(nullptr, nullptr, nullptr, 1)) << SDL_GetError(); }
    void TearDown() override { SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); }
    qvn_cWindow m_Window;
};

TEST_F(SdlWindowTest, OtherKeysDoNothing) {
    PumpAll(m_Window, 50);  // whatever the window's creation queued
    PressKey(SDLK_a);
    PressKey(SDLK_SPACE);
    PressKey(SDLK_RETURN);
    EXPECT_EQ(PumpAll(m_Window, 10), 0);
    EXPECT_FALSE(m_Window.QuitSeen());
}

TEST_F(SdlWindowTest, EscapeClosesTheWindowThroughTheQueueOnce) {
    PumpAll(m_Window, 50);
    PressKey(SDLK_ESCAPE);
    // The key closes the window; a later pump call takes the quit, and
    // exactly one call reports it, however often the key comes.
    EXPECT_TRUE(m_Window.PumpMessages());
    PressKey(SDLK_ESCAPE);
    EXPECT_EQ(PumpAll(m_Window, 10), 1);
    EXPECT_TRUE(m_Window.QuitSeen());
    PressKey(SDLK_F12);
    EXPECT_EQ(PumpAll(m_Window, 10), 0);
}

TEST_F(SdlWindowTest, F12ClosesTheWindowLikeEscape) {
    PumpAll(m_Window, 50);
    PressKey(SDLK_F12);
    EXPECT_TRUE(m_Window.PumpMessages());
    EXPECT_EQ(PumpAll(m_Window, 10), 1);
    EXPECT_TRUE(m_Window.QuitSeen());
}

// The screen reports the refresh it paces to (the statistics count late
// frames against it) and draws the overlay it was last told, over the
// window's picture only.
TEST_F(SdlWindowTest, TheScreenReportsItsRefreshAndDrawsTheOverlayItIsTold) {
    qvn_cEngDisplay display;
    ASSERT_TRUE(display.Init("display", 320, 240, 16, 1));
    EXPECT_GT(display.RefreshHz(), 0);
    display.Lock();
    ASSERT_NE(display.m_pSurfacePixels, nullptr);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) display.m_pSurfacePixels[y * display.m_nPitchPixels + x] = 0x001F;  // blue
    display.Unlock();
    qvn_SOverlayPicture overlay;
    overlay.width = 8;
    overlay.height = 8;
    overlay.argb.assign(64, 0xFFFF0000u);  // opaque red
    auto redInCorner = [&display]() {
        std::vector<uint32_t> picture;
        int w = 0, h = 0;
        if (!display.WindowPicture(&picture, &w, &h) || picture.empty()) return -1;
        int red = 0;
        for (int y = 0; y < h / 4; ++y)
            for (int x = 0; x < w / 4; ++x) red += picture[static_cast<size_t>(y) * w + x] == 0xFF0000u;
        return red;
    };
    display.Flip();
    EXPECT_EQ(redInCorner(), 0);
    display.SetOverlay(&overlay);
    display.Flip();
    EXPECT_GT(redInCorner(), 0);
    // The show's own frame never holds it.
    std::vector<uint16_t> frame;
    ASSERT_TRUE(display.PresentedFrame(&frame));
    for (uint16_t p : frame) ASSERT_EQ(p, 0x001F);
    display.SetOverlay(nullptr);
    display.Represent();
    EXPECT_EQ(redInCorner(), 0);
}

}  // namespace
