#include "records/stand_record.hpp"

#include <utility>

namespace tamrix {

StandRecord::StandRecord(std::string id_, std::vector<StandOption> options_, StandPosition position,
                         double radiusMetres, uint16_t type_, bool cargo_, bool ramp_, bool heli_)
    : options(std::move(options_)), id(std::move(id_)), latitude(position.latitude), longitude(position.longitude),
      heading(position.heading), radius(radiusMetres * 0.0005399568034557236), type(type_), cargo(cargo_ ? 1 : 0),
      ramp(ramp_ ? 1 : 0), heli(heli_ ? 1 : 0) {
    adjacent.reserve(8);
}

} // namespace tamrix
