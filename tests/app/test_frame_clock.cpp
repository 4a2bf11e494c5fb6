// The frame clock: what a show played unseen and then watched reads, at the
// rounding a straight run has.
#include <gtest/gtest.h>

#include <cstdint>

#include "qvn_FrameClock.h"

namespace {

// A system clock the test moves by hand.
class cHandClock : public qvn_cClock {
public:
    uint32_t TickCount() override { return now; }
    uint32_t now = 5000;
};

// What a straight run at `rate` reads after `periods` frame periods from `base`.
uint32_t Straight(uint32_t base, uint32_t periods, uint32_t rate) {
    return base + static_cast<uint32_t>(static_cast<uint64_t>(periods) * 1000u / rate);
}

TEST(FrameClock, FastForwardCountsFramesAndIdlePumpsThenRunsOnTheSystemClock) {
    for (int rate : {60, 15, 50}) {
        SCOPED_TRACE(rate);
        cHandClock system;
        qvn_cFrameClock clock(&system, rate);
        EXPECT_EQ(clock.TickCount(), 5000u);  // real until told otherwise
        clock.StartFastForward();
        EXPECT_TRUE(clock.FastForwarding());
        system.now = 9999;  // the system's time does not count while unseen
        // A frame played unseen and the pump after it take one period; a
        // pump with no frame before it (a part waiting) takes one too.
        uint32_t periods = 0;
        for (int i = 0; i < 1000; ++i) {
            if (i % 3 != 2) {
                clock.OnFrame();
                clock.OnPump();
            } else {
                clock.OnPump();
            }
            ++periods;
            ASSERT_EQ(clock.TickCount(), Straight(5000, periods, static_cast<uint32_t>(rate))) << i;
        }
        // At the point: the system's clock carries on from the virtual value.
        const uint32_t atPoint = clock.TickCount();
        clock.Run();
        EXPECT_FALSE(clock.FastForwarding());
        EXPECT_EQ(clock.TickCount(), atPoint);
        system.now += 1234;
        EXPECT_EQ(clock.TickCount(), atPoint + 1234);
        // Real again: unseen frames no longer move it.
        clock.OnFrame();
        clock.OnPump();
        EXPECT_EQ(clock.TickCount(), atPoint + 1234);
    }
}

TEST(FrameClock, FrozenItStaysAndAStepIsOnePeriod) {
    cHandClock system;
    qvn_cFrameClock clock(&system, 60);
    system.now = 20000;
    clock.Freeze();
    system.now = 25000;
    EXPECT_EQ(clock.TickCount(), 20000u);
    for (uint32_t k = 1; k <= 7; ++k) {
        clock.Step();
        EXPECT_EQ(clock.TickCount(), Straight(20000, k, 60));
    }
    const uint32_t paused = clock.TickCount();
    clock.Run();
    EXPECT_EQ(clock.TickCount(), paused);
    system.now += 40;
    EXPECT_EQ(clock.TickCount(), paused + 40);
}

// In capture mode the clock reads the capture's periods, so every value it
// gives is one a straight capture has.
TEST(FrameClock, OnACapturesPeriodsEveryValueIsAStraightCapturesValue) {
    cHandClock system;
    system.now = 0;
    qvn_cFrameClock clock(&system, 30);
    static uint32_t s_nPeriods;
    s_nPeriods = 100;
    clock.SetPeriodSource([](void*) { return s_nPeriods; }, nullptr);
    EXPECT_EQ(clock.TickCount(), 0u);
    s_nPeriods = 103;
    EXPECT_EQ(clock.TickCount(), Straight(0, 3, 30));
    clock.Freeze();
    s_nPeriods = 200;  // the capture's clock moves on while paused: not this one
    EXPECT_EQ(clock.TickCount(), Straight(0, 3, 30));
    clock.Step();
    EXPECT_EQ(clock.TickCount(), Straight(0, 4, 30));
    clock.Run();
    s_nPeriods = 205;
    EXPECT_EQ(clock.TickCount(), Straight(0, 9, 30));
}

// Without an inner clock it is a capture's: periods only, from 0, and
// nothing real to run on.
TEST(FrameClock, WithoutAnInnerClockItCountsPeriodsOnly) {
    qvn_cFrameClock clock(nullptr, 15);
    EXPECT_TRUE(clock.FastForwarding());
    EXPECT_EQ(clock.TickCount(), 0u);
    EXPECT_TRUE(clock.OnPump());  // a pump with no frame before it is a period
    clock.OnFrame();
    EXPECT_FALSE(clock.OnPump());  // the frame already took this one
    clock.OnFrame();
    clock.OnFrame();
    EXPECT_EQ(clock.Periods(), 4u);
    EXPECT_EQ(clock.TickCount(), Straight(0, 4, 15));
    clock.Run();
    EXPECT_TRUE(clock.FastForwarding());
    EXPECT_EQ(clock.TickCount(), Straight(0, 4, 15));
    for (uint32_t p = 5; p < 40; ++p) {
        clock.OnFrame();
        EXPECT_EQ(clock.TickCount(), Straight(0, p, 15)) << p;
    }
}

}  // namespace
