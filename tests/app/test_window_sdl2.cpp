// The SDL2 window's message pump with synthetic key presses (SDL's dummy
// video driver: no display needed).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
