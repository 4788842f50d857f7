#include "records/takeoff_roll.hpp"

#include <algorithm>

namespace tamrix {

void TakeOffRoll::reportArrives(const PositionSample& report) {
    if (m_begun || report.generated != 0) return;
    // Reported in the air: lifted off.
    if (report.airborne != 0) {
        m_trend = Trend::Rising;
        m_slowInARow = 0;
        return;
    }
    const double v = report.groundSpeed;
    const bool fast = v >= kFastKt;
    if (fast) {
        m_slowInARow = 0;
    } else if (++m_slowInARow >= 2) {
        clear();
        return;
    }
    // A slow report among fast ones counts as the slowest fast one: the rise is over the fast.
    const double asFast = std::max(v, kFastKt);
    const bool rises = fast && v > m_low + kNoiseKt;
    const bool falls = v < m_top - kNoiseKt;
    switch (m_trend) {
    case Trend::None:
        if (!fast) return;
        m_trend = Trend::Level;
        m_top = m_low = v;
        return;
    case Trend::Level:
        if (rises) {
            m_trend = Trend::Rising;
        } else if (falls) {
            m_trend = Trend::Falling;
            m_low = asFast;
            return;
        }
        m_top = std::max(m_top, v);
        m_low = std::min(m_low, asFast);
        return;
    case Trend::Rising:
        if (falls) {
            m_trend = Trend::Falling;
            m_low = asFast;
        } else {
            m_top = std::max(m_top, v);
        }
        return;
    case Trend::Falling:
        if (rises) {
            m_trend = Trend::Rising;
            m_top = v;
        } else {
            m_low = std::min(m_low, asFast);
        }
        return;
    }
}

void TakeOffRoll::reportsWaiting(const SampleQueue& samples) {
    if (m_begun) return;
    clear();
    for (std::size_t i = 0; i < samples.size(); ++i) reportArrives(samples[i]);
}

} // namespace tamrix
