#pragma once
// Stand-in for the multimedia timer's resolution calls. Linux sleeps are already fine-grained,
// so raising the resolution changes nothing; the calls keep their contract (a period of 0 or an
// end without a matching begin fails) and count the periods in force for inspection.

#include <cstdint>

using MMRESULT = unsigned int;
inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;

MMRESULT timeBeginPeriod(unsigned int uPeriod);
MMRESULT timeEndPeriod(unsigned int uPeriod);

namespace platform::win32 {

// Periods begun and not yet ended, over all callers.
int activeTimerPeriods();

} // namespace platform::win32
