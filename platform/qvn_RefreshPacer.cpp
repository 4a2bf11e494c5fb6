#include "qvn_RefreshPacer.h"

#include <initializer_list>

namespace {

// A gap of more than this many refreshes is a pause (a part loading, the
// viewer holding), not frames missed: the grid starts again.
constexpr uint64_t kPauseRefreshes = 8;

}  // namespace

void qvn_cRefreshPacer::Reset(uint64_t ticksPerSecond, int refreshHz) {
    m_nTicksPerSecond = ticksPerSecond > 0 ? ticksPerSecond : 1000;
    m_nHz = static_cast<uint64_t>(refreshHz > 0 ? refreshHz : 60);
    m_nPeriod = m_nTicksPerSecond / m_nHz;
    m_bStarted = false;
    m_nQuickPresents = 0;
    m_bVsyncFalse = false;
    m_nPresentCount = 0;
}

uint64_t qvn_cRefreshPacer::RefreshStart(uint64_t k) const { return m_nAnchor + k * m_nTicksPerSecond / m_nHz; }

uint64_t qvn_cRefreshPacer::WaitBeforePresent(uint64_t now, bool vsync) const {
    vsync = vsync && !m_bVsyncFalse;
    if (vsync || !m_bStarted || now < m_nAnchor) return 0;
    // The first refresh that begins at or after now, and never the one the
    // last frame went on.
    uint64_t k = ((now - m_nAnchor) * m_nHz + m_nTicksPerSecond - 1) / m_nTicksPerSecond;
    if (k <= m_nLastRefresh) k = m_nLastRefresh + 1;
    if (k > m_nLastRefresh + kPauseRefreshes) return 0;
    const uint64_t start = RefreshStart(k);
    return start > now ? start - now : 0;
}

int qvn_cRefreshPacer::Presented(uint64_t now, bool vsync) {
    const bool claimed = vsync && !m_bVsyncFalse;
    if (claimed && m_bStarted && now >= m_nLastPresent) {
        // A waiting present comes back on a refresh: a whole number of
        // refreshes after the ones before, give or take a little. One that
        // does not wait comes back whenever the drawing is done, which
        // drifts across the refreshes over a few frames even when each gap
        // alone looks like one refresh. Now and then a waiting one may be
        // off too (a busy compositor).
        auto offGrid = [this](uint64_t gap) {
            const uint64_t k = (gap + m_nPeriod / 2) / (m_nPeriod ? m_nPeriod : 1);
            const uint64_t onGrid = k * m_nPeriod;
            return k == 0 || (gap > onGrid ? gap - onGrid : onGrid - gap) > m_nPeriod / 4;
        };
        const size_t n = m_nPresentCount;
        bool off = now - m_nLastPresent < m_nPeriod / 2;
        for (size_t back : {size_t(5), size_t(8)})
            if (n >= back) off = off || offGrid(now - m_aPresents[(n - back) % kKept]);
        if (off) {
            if (++m_nQuickPresents >= 8) m_bVsyncFalse = true;
        } else if (m_nQuickPresents > 0) {
            --m_nQuickPresents;
        }
    }
    if (vsync) m_aPresents[m_nPresentCount++ % kKept] = now;
    vsync = vsync && !m_bVsyncFalse;
    // Found out just now: the present went when its drawing was done, and
    // the grid starts from it.
    const bool foundOut = claimed && !vsync;
    const bool first = !m_bStarted || now < m_nLastPresent;
    uint64_t refreshes = 0;
    if (!first) {
        if (vsync || foundOut) {
            // The display kept the time: count its refreshes between the two
            // presents.
            refreshes = ((now - m_nLastPresent) + m_nPeriod / 2) / (m_nPeriod ? m_nPeriod : 1);
            if (refreshes == 0) refreshes = 1;
        } else {
            // The present was held to a refresh's start (or made late, at
            // once); the nearest start is the refresh it went on.
            uint64_t k = ((now - m_nAnchor) * m_nHz + m_nTicksPerSecond / 2) / m_nTicksPerSecond;
            if (k <= m_nLastRefresh) k = m_nLastRefresh + 1;
            refreshes = k - m_nLastRefresh;
            m_nLastRefresh = k;
        }
    }
    m_nLastPresent = now;
    if (first || vsync || foundOut || refreshes > kPauseRefreshes) {
        m_bStarted = true;
        m_nAnchor = now;
        m_nLastRefresh = 0;
    }
    return refreshes > kPauseRefreshes ? 0 : static_cast<int>(refreshes);
}
