#pragma once
// rtfeed's --help text. Its times of the scenario's first events are those --plan lists for the
// shipped Billund scenario.

namespace rtfeed {

extern const char* const kUsage;

} // namespace rtfeed
