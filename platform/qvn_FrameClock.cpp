#include "qvn_FrameClock.h"

qvn_cFrameClock::qvn_cFrameClock(qvn_cClock* inner, int rate)
    : m_pInner(inner), m_nRate(rate > 0 ? rate : 60), m_eMode(inner ? eMode::kReal : eMode::kVirtual) {}

void qvn_cFrameClock::SetPeriodSource(PeriodSource fn, void* context) {
    m_pfnPeriods = fn;
    m_pPeriodContext = context;
    m_nSourceAtRun = fn ? fn(context) : 0;
    m_nBase = m_pInner->TickCount();
    m_nPeriods = 0;
}

uint32_t qvn_cFrameClock::CurrentPeriods() const {
    if (m_eMode == eMode::kReal && m_pfnPeriods) return m_nPeriods + (m_pfnPeriods(m_pPeriodContext) - m_nSourceAtRun);
    return m_nPeriods;
}

uint32_t qvn_cFrameClock::TickCount() {
    if (m_eMode == eMode::kReal && !m_pfnPeriods) return m_pInner->TickCount() - m_nOffset;
    return At(CurrentPeriods());
}

void qvn_cFrameClock::StartFastForward() {
    // A new run counts its periods from its own start, as the straight run
    // counted them from the program's.
    m_nBase = TickCount();
    m_nPeriods = 0;
    m_bFlipped = false;
    m_eMode = eMode::kVirtual;
}

void qvn_cFrameClock::OnFrame() {
    if (m_eMode != eMode::kVirtual) return;
    ++m_nPeriods;
    m_bFlipped = true;
}

bool qvn_cFrameClock::OnPump() {
    if (m_eMode != eMode::kVirtual) return false;
    if (m_bFlipped) {
        m_bFlipped = false;
        return false;
    }
    ++m_nPeriods;
    return true;
}

void qvn_cFrameClock::Run() {
    // A clock of counted periods only has nothing real to run on.
    if (m_eMode == eMode::kReal || (!m_pInner && !m_pfnPeriods)) return;
    if (m_pfnPeriods) {
        m_nSourceAtRun = m_pfnPeriods(m_pPeriodContext);
    } else {
        const uint32_t now = TickCount();
        m_nOffset = m_pInner->TickCount() - now;
    }
    m_eMode = eMode::kReal;
}

void qvn_cFrameClock::Freeze() {
    if (m_eMode == eMode::kFrozen) return;
    if (m_eMode == eMode::kReal && !m_pfnPeriods) {
        m_nBase = TickCount();
        m_nPeriods = 0;
    } else {
        m_nPeriods = CurrentPeriods();
    }
    m_eMode = eMode::kFrozen;
}

void qvn_cFrameClock::Step() {
    if (m_eMode == eMode::kFrozen) ++m_nPeriods;
}
