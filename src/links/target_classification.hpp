#pragma once
// Which traffic targets are aircraft. The traffic source reports everything that transmits a
// position - gliders, balloons, ground vehicles, ships, fixed stations too - but only aircraft
// can become AI aircraft in the simulator.

#include <string_view>

namespace tamrix {

// True for a type that is no aircraft type designator: longer than 4 characters, or one of
// BALL, EMER, GLID, GRND, GND, PARA, SERV, SHIP, VENT, TWR (exact, case-sensitive).
bool gf_isNonAircraftType(std::string_view type);

// False for an empty type, "null", and the emitter categories B1, B2, B4, C1 and C2 (gliders,
// lighter-than-air, ultralights, surface vehicles); otherwise not gf_isNonAircraftType.
bool gf_isAircraftTarget(std::string_view type, std::string_view category);

} // namespace tamrix
