// Frames on the display's refresh grid, whatever its rate. With a present
// that waits for vertical blank the display keeps the time and this only
// counts; without one, the present is held back to the next refresh (not
// made at once and slept after, which would put each frame on the screen as
// late as its drawing happened to take), and a frame that missed its refresh
// goes on the one after, with the grid kept: the frames after it are not
// rushed out to catch up, each is shown for a whole number of refreshes.
// A present that says it waits for vertical blank and does not (software
// renderers, virtual displays) is found out by its timing and paced here.
#pragma once

#include <cstddef>
#include <cstdint>

class qvn_cRefreshPacer {
public:
    // ticksPerSecond: the counter's rate; refreshHz: the display's (60 when
    // it does not say).
    void Reset(uint64_t ticksPerSecond, int refreshHz);
    // Ticks to wait from now before presenting (0 when the present waits
    // for vertical blank itself).
    uint64_t WaitBeforePresent(uint64_t now, bool vsync) const;
    // A frame went to the screen at `at` (with vsync: when the present
    // returned; without: when it was made, after the wait): how many
    // refreshes the previous frame stayed on the screen (1 on time, 2 when
    // this one missed a refresh; 0 for the first frame, or after a pause
    // longer than a few refreshes).
    int Presented(uint64_t at, bool vsync);
    uint64_t Period() const { return m_nPeriod; }
    // False once the presents said to wait for vertical blank came back
    // too soon too often.
    bool VsyncHolds() const { return !m_bVsyncFalse; }

private:
    uint64_t RefreshStart(uint64_t k) const;

    uint64_t m_nTicksPerSecond = 1000;
    uint64_t m_nHz = 60;
    uint64_t m_nPeriod = 16;
    // The refresh grid: refresh k begins at m_nAnchor + k * period.
    uint64_t m_nAnchor = 0;
    uint64_t m_nLastRefresh = 0;  // the refresh index of the last present
    uint64_t m_nLastPresent = 0;
    bool m_bStarted = false;
    int m_nQuickPresents = 0;
    bool m_bVsyncFalse = false;
    // The last presents said to wait, for their spacing.
    static constexpr size_t kKept = 8;
    uint64_t m_aPresents[kKept] = {};
    size_t m_nPresentCount = 0;
};
