#pragma once
// The take-off roll of a live aircraft on the ground: whether the feed shows it taking off. The
// roll is judged from the trend of its reports, never from one pair of them, since each reported
// speed is a few knots off: a roll at 43 kt or more whose speed rises over its fast reports by
// more than that noise is a take-off, and one whose speed falls below its top by as much is none
// (a rejected take-off, a roll-out, a fast exit). The top speed counts from the roll's first fast
// report. Two slow reports in a row end the roll. Once the take-off begins it stays a take-off
// until it is cleared. The one owner of the take-off's armed flag: every place that asks or tells
// goes through it.

#include <cstdint>

#include "records/sample_queue.hpp"
#include "records/traffic_head.hpp"

namespace tamrix {

class TakeOffRoll {
public:
    // Ground speed (kt) from which a roll may be a take-off.
    static constexpr double kFastKt = 43.0;
    // Two reports of one ground speed differ by up to this (kt): a feed's 3 kt either way, in
    // whole knots. A rise or a fall beyond it is the roll's own.
    static constexpr double kNoiseKt = 7.0;

    // The feed shows a take-off (armed).
    bool armed() const { return m_begun || m_trend == Trend::Rising; }
    // A new report of an aircraft rolling on the ground.
    void reportArrives(const PositionSample& report);
    // The reports that came in before the aircraft became active, oldest first: the roll stands
    // as it would, had the aircraft been active when they came in.
    void reportsWaiting(const SampleQueue& samples);
    // The take-off begins (rotation): armed, whatever the reports say, until cleared.
    void begin() { m_begun = true; }
    // Climbed out, or the aircraft is no longer taking off: no roll.
    void clear() { *this = TakeOffRoll{}; }

private:
    enum class Trend : uint8_t {
        None,    // no fast report yet
        Level,   // fast, neither rising nor falling beyond the noise
        Rising,  // the take-off
        Falling, // braking
    };
    Trend m_trend = Trend::None;
    bool m_begun = false;
    uint8_t m_slowInARow = 0;
    double m_top = 0.0; // kt, the fastest since the first fast report or since the roll last rose
    double m_low = 0.0; // kt, the slowest since the first fast report or since the roll last fell
};

} // namespace tamrix
