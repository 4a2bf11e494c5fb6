// The SDL2 sound device: the ring's notifications come in cursor order while
// it plays, on a real (dummy-driver) device and on the silent stand-in used
// when no audio device exists.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "qvn_StreamDevice.h"

namespace {

std::vector<int> CollectNotifications(qvn_cStreamDevice& device, Uint32 ms) {
    std::vector<int> seen;
    Uint32 end = SDL_GetTicks() + ms;
    while (SDL_GetTicks() < end) {
        for (int i = device.PollNotification(); i >= 0; i = device.PollNotification()) seen.push_back(i);
        SDL_Delay(2);
    }
    return seen;
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
    std::vector<int> seen = CollectNotifications(*device, 600);
    // The start fires at once; then one per quarter, in order, about nine
    // in 600 ms (devices work in blocks, so allow slack).
    ASSERT_GE(seen.size(), 5u) << driver;
    EXPECT_LE(seen.size(), 14u) << driver;
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<int>(i % 4)) << driver << " at " << i;
    device->ReleaseBuffer();
    EXPECT_FALSE(device->HasBuffer());
    EXPECT_EQ(device->PollNotification(), -1);
}

TEST(SdlStreamDevice, NotificationsFollowTheCursorOnTheDummyDriver) { CheckRingPlays("dummy"); }

TEST(SdlStreamDevice, WithoutAnyAudioDeviceASilentRingKeepsTime) { CheckRingPlays("no_such_driver"); }

}  // namespace
