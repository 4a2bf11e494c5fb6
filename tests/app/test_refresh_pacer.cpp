// Frames on the refresh grid at the rates displays have today, on a clock of
// nanoseconds the test moves itself: drawing that takes part of a refresh,
// now and then a frame that takes more, with and without a present that
// waits for vertical blank.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "qvn_RefreshPacer.h"

namespace {

constexpr uint64_t kSecond = 1000000000;  // nanoseconds

struct SRun {
    std::vector<int> refreshes;       // what Presented said, frame by frame
    std::vector<uint64_t> presents;   // when each present returned
    std::vector<uint64_t> showTimes;  // when each frame read the clock
};

// Plays frames: each reads the clock, draws for its share of a refresh
// (frame `slow` takes 1.3 refreshes), and presents. A waiting present
// returns at the next refresh; an immediate one takes 50 microseconds.
SRun Play(int hz, bool vsync, int frames, int slow) {
    qvn_cRefreshPacer pacer;
    pacer.Reset(kSecond, hz);
    const uint64_t period = kSecond / static_cast<uint64_t>(hz);
    SRun run;
    uint64_t now = 12345;  // the display's refreshes begin at 0
    uint32_t seed = 7;
    for (int f = 0; f < frames; ++f) {
        run.showTimes.push_back(now);
        seed = seed * 1664525u + 1013904223u;
        const uint64_t drawing = f == slow ? period * 13 / 10 : period * (20 + (seed >> 24) % 60) / 100;
        now += drawing;
        if (vsync) {
            now = (now / period + 1) * period;  // the display's own next refresh
            run.refreshes.push_back(pacer.Presented(now, true));
            run.presents.push_back(now);
        } else {
            now += pacer.WaitBeforePresent(now, false);
            run.refreshes.push_back(pacer.Presented(now, false));
            run.presents.push_back(now);
            now += 50000;  // the present itself
        }
    }
    return run;
}

TEST(RefreshPacer, EachFrameStaysAWholeNumberOfRefreshesAtEveryRate) {
    for (int hz : {50, 60, 75, 120, 144}) {
        for (bool vsync : {false, true}) {
            const uint64_t period = kSecond / static_cast<uint64_t>(hz);
            const int slow = 300;
            const SRun run = Play(hz, vsync, 600, slow);
            EXPECT_EQ(run.refreshes[0], 0) << hz << " Hz";
            for (size_t f = 1; f < run.refreshes.size(); ++f) {
                // The slow frame is shown a refresh late; every other frame,
                // the one after it too, exactly one refresh after the last.
                const int want = static_cast<int>(f) == slow ? 2 : 1;
                ASSERT_EQ(run.refreshes[f], want) << hz << " Hz, vsync " << vsync << ", frame " << f;
                const uint64_t gap = run.presents[f] - run.presents[f - 1];
                ASSERT_NEAR(static_cast<double>(gap), static_cast<double>(want * period), 2.0)
                    << hz << " Hz, vsync " << vsync << ", frame " << f;
                // Motion is even: the frames' clock readings are whole
                // refreshes apart, as their pictures are on the screen.
                if (f >= 2) {
                    const double shown = static_cast<double>(run.showTimes[f] - run.showTimes[f - 1]);
                    const double refreshes = shown / static_cast<double>(period);
                    ASSERT_NEAR(refreshes, static_cast<double>(static_cast<int>(refreshes + 0.5)), 1e-6)
                        << hz << " Hz, frame " << f;
                }
            }
            // Each frame reaches the screen within a refresh of its clock
            // time (two for the slow one).
            for (size_t f = 0; f < run.presents.size(); ++f) {
                const uint64_t lag = run.presents[f] - run.showTimes[f];
                EXPECT_LE(lag, (static_cast<int>(f) == slow ? 2 : 1) * period + 100000) << hz << " Hz, frame " << f;
            }
        }
    }
}

// Without vertical blank the presents keep to the grid of the first one,
// and a pause (loading, the viewer holding) starts a new grid, not a burst
// of frames to catch up.
TEST(RefreshPacer, PresentsKeepToTheGridAndAPauseStartsAgain) {
    qvn_cRefreshPacer pacer;
    pacer.Reset(kSecond, 144);
    const uint64_t period = kSecond / 144;
    uint64_t now = 1000;
    EXPECT_EQ(pacer.Presented(now, false), 0);
    const uint64_t anchor = now;
    for (int f = 1; f <= 1000; ++f) {
        now += period / 3;
        now += pacer.WaitBeforePresent(now, false);
        // Refresh f begins at anchor + f / 144 s, to the nanosecond.
        ASSERT_EQ(now, anchor + static_cast<uint64_t>(f) * kSecond / 144) << f;
        ASSERT_EQ(pacer.Presented(now, false), 1);
    }
    // Drawing finished exactly on a refresh's start: that refresh, not the next.
    now = anchor + 1001ull * kSecond / 144;
    EXPECT_EQ(pacer.WaitBeforePresent(now, false), 0u);
    EXPECT_EQ(pacer.Presented(now, false), 1);
    now += kSecond;  // a second without frames
    EXPECT_EQ(pacer.WaitBeforePresent(now, false), 0u);
    EXPECT_EQ(pacer.Presented(now, false), 0);
    now += period / 2;
    EXPECT_EQ(pacer.WaitBeforePresent(now, false), period - period / 2);
}

// A present that claims to wait for vertical blank and comes back at once
// is found out within a few frames, and from then on paced on the grid.
TEST(RefreshPacer, APresentThatDoesNotWaitIsPacedAnyway) {
    for (int hz : {50, 144}) {
      for (uint64_t drawingShare : {20u, 83u}) {
        qvn_cRefreshPacer pacer;
        pacer.Reset(kSecond, hz);
        const uint64_t period = kSecond / static_cast<uint64_t>(hz);
        uint64_t now = 0;
        int paced = 0;
        for (int f = 0; f < 100; ++f) {
            now += period * drawingShare / 100;  // drawing
            const uint64_t wait = pacer.WaitBeforePresent(now, true);
            paced += wait > 0;
            now += wait;
            const int refreshes = pacer.Presented(now, true);
            if (f >= 20) {
                ASSERT_EQ(refreshes, 1) << hz << " Hz, frame " << f;
            }
            now += 20000;  // the present, not waiting
        }
        EXPECT_FALSE(pacer.VsyncHolds());
        EXPECT_GE(paced, 80) << hz << " Hz";
      }
    }
    // A present that does wait is left to it, however quick the drawing.
    qvn_cRefreshPacer pacer;
    pacer.Reset(kSecond, 60);
    uint64_t now = 0;
    for (int f = 0; f < 200; ++f) {
        now += 1000;
        EXPECT_EQ(pacer.WaitBeforePresent(now, true), 0u);
        now = (now / (kSecond / 60) + 1) * (kSecond / 60);
        pacer.Presented(now, true);
    }
    EXPECT_TRUE(pacer.VsyncHolds());
}

}  // namespace
