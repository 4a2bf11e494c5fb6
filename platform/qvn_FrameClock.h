// The clock of a show that is played unseen up to a point and then watched:
// one class for every clock that counts frame periods (the capture's, the
// live start point's, the viewer's). While it fast-forwards it
// moves by one frame period per frame played unseen and per pump with no
// frame before it (a part waiting for its time), exactly as a straight run
// at that rate sees its clock; then it runs on from there on the inner clock
// (live) or the capture's periods; the viewer can also freeze it and step it
// by one period. Every virtual value is a base plus periods x 1000 / rate,
// in integers, the rounding a straight capture has. Without an inner clock
// it is the capture's: virtual from 0 for ever.
#pragma once

#include <cstdint>

#include "qvn_System.h"

class qvn_cFrameClock : public qvn_cClock {
public:
    // rate: the frame rate a straight run is compared with (60 live, the
    // capture's rate in capture mode). It starts real: the inner clock; with
    // no inner clock, virtual at 0.
    qvn_cFrameClock(qvn_cClock* inner, int rate);
    uint32_t TickCount() override;

    // Fast-forward: one frame period per frame played, and per pump with no
    // frame before it (a part waiting for its time); OnPump says whether it
    // moved the clock.
    void StartFastForward();
    void OnFrame();
    bool OnPump();
    // Playing: the inner clock carries on from the current value.
    void Run();
    // Paused: the value stays until Run; Step adds one frame period (the
    // frame drawn at the frozen time has been shown).
    void Freeze();
    void Step();
    bool FastForwarding() const { return m_eMode == eMode::kVirtual; }
    // Frame periods counted since the last fast-forward began (or the
    // clock was made).
    uint32_t Periods() const { return CurrentPeriods(); }

    // The capture's clock counts frame periods: reading them instead of its
    // milliseconds keeps every value on the rounding a straight capture has.
    using PeriodSource = uint32_t (*)(void* context);
    void SetPeriodSource(PeriodSource fn, void* context);

private:
    enum class eMode { kReal, kVirtual, kFrozen };
    uint32_t At(uint32_t periods) const {
        return m_nBase + static_cast<uint32_t>(static_cast<uint64_t>(periods) * 1000u / static_cast<uint32_t>(m_nRate));
    }
    uint32_t CurrentPeriods() const;
    qvn_cClock* m_pInner;
    int m_nRate;
    eMode m_eMode = eMode::kReal;
    // Every value is m_nBase plus whole frame periods, except live while
    // playing, where it is the inner clock minus m_nOffset.
    uint32_t m_nBase = 0;
    uint32_t m_nPeriods = 0;
    bool m_bFlipped = false;
    uint32_t m_nOffset = 0;
    PeriodSource m_pfnPeriods = nullptr;
    void* m_pPeriodContext = nullptr;
    uint32_t m_nSourceAtRun = 0;  // the source's periods when play last started
};
