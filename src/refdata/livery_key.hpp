#pragma once
// LiveryKey: what an aircraft or a livery is - operator, second operator, model and cargo - as
// eight bytes of code-table indices and flags. Installed liveries, registration records of the
// dbase, learned stand flights and every traffic record start with one.

#include <cstdint>
#include <string>

namespace tamrix {

struct LiveryKey {
    uint16_t operatorIndex = 0;       // gOperatorCodes
    uint16_t secondOperatorIndex = 0; // gOperatorCodes; 0 = none
    uint16_t modelIndex = 0;          // gModelCodes
    uint8_t cargo = 0;                // 1 cargo, 0 passenger
    uint8_t fromRegistration = 0;     // 1 in keys taken from a dbase registration record

    constexpr bool operator==(const LiveryKey&) const noexcept = default;
};
static_assert(sizeof(LiveryKey) == 8, "a LiveryKey moves as one 64-bit word");

// The fixed-width text of a key for log lines: "{:3}{:4} {:4}{}{:3}" of the operator code,
// ",<second operator>" (or nothing), the model code, '.' for a key from a registration record
// (else a blank) and "(C)" for cargo. "UAL     B738.   ", "UAL,SKW B738 (C)". An index outside
// its table gives an empty code text.
std::string gf_liveryKey2Text(const LiveryKey& key);

} // namespace tamrix
