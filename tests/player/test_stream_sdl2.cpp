// The SDL2 sound device: the ring's notifications come in cursor order while
// it plays, on a real (dummy-driver) device and on the silent stand-in used
// when no audio device exists.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#include "qvn_StreamDevice.h"

namespace {

// The notifications in drains: each drain is what the poller got between two
// empty polls. How many quarters pass between drains depends on how the test
// is scheduled (-j, sanitizers); the order rules below do not.
std::vector<std::vector<int>> CollectDrains(qvn_cStreamDevice& device, size_t wanted) {
    std::vector<std::vector<int>> drains;
    size_t total = 0;
    // A guard against a device that never fires, not a timing requirement:
    // the wanted count plays in well under a second.
    const Uint32 giveUp = SDL_GetTicks() + 30000;
    while (total < wanted && SDL_GetTicks() < giveUp) {
        std::vector<int> drain;
        for (int i = device.PollNotification(); i >= 0; i = device.PollNotification()) drain.push_back(i);
        if (!drain.empty()) {
            total += drain.size();
            drains.push_back(drain);
        }
        SDL_Delay(2);
    }
    return drains;
}

void CheckRingPlays(const char* driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    std::unique_ptr<qvn_cStreamDevice> device(qvn_CreateStreamDevice());
    // A small ring at 32 kHz: a quarter is 8192 bytes = 64 ms, twice what
    // the device takes per callback.
    const int32_t offsets[4] = {0, 8192, 16384, 24576};
    ASSERT_TRUE(device->Create(32000, 32768, offsets, 4));
    ASSERT_TRUE(device->HasBuffer());
    void *p1, *p2;
    int n1, n2;
    ASSERT_TRUE(device->Lock(24576, 16384, &p1, &n1, &p2, &n2));  // wraps
    EXPECT_EQ(n1, 8192);
    EXPECT_EQ(n2, 8192);
    EXPECT_NE(p2, nullptr);
    device->Unlock(p1, n1, p2, n2);
    EXPECT_FALSE(device->Lock(32768, 100, &p1, &n1, &p2, &n2));

    EXPECT_EQ(device->PollNotification(), -1);  // nothing before Play
    device->Play();
    // Two full turns of the ring and one more quarter.
    std::vector<std::vector<int>> drains = CollectDrains(*device, 9);
    size_t total = 0;
    int seen[4] = {};
    for (const auto& d : drains) {
        total += d.size();
        for (int i : d) {
            ASSERT_GE(i, 0) << driver;
            ASSERT_LT(i, 4) << driver;
            ++seen[i];
        }
    }
    ASSERT_GE(total, 9u) << driver << ": the ring stopped firing";
    // The start fires first.
    EXPECT_EQ(drains[0][0], 0) << driver;
    for (int i = 0; i < 4; ++i) EXPECT_GE(seen[i], 1) << driver << " never fired " << i;
    for (size_t k = 0; k < drains.size(); ++k) {
        // Within a drain, the lowest pending first, each once.
        for (size_t j = 1; j < drains[k].size(); ++j)
            EXPECT_LT(drains[k][j - 1], drains[k][j]) << driver << " drain " << k;
        // A poller that kept up sees one quarter at a time, in cursor order.
        if (k > 0 && drains[k - 1].size() == 1 && drains[k].size() == 1) {
            EXPECT_EQ(drains[k][0], (drains[k - 1][0] + 1) % 4) << driver << " drain " << k;
        }
    }
    device->ReleaseBuffer();
    EXPECT_FALSE(device->HasBuffer());
    EXPECT_EQ(device->PollNotification(), -1);
}

TEST(SdlStreamDevice, NotificationsFollowTheCursorOnTheDummyDriver) { CheckRingPlays("dummy"); }

TEST(SdlStreamDevice, WithoutAnyAudioDeviceASilentRingKeepsTime) { CheckRingPlays("no_such_driver"); }

}  // namespace
