// The simulator's variables as data definitions name them, the blocks built from them, and the
// facility items of an airport.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "platform/simconnect/sim_world_internal.hpp"

namespace platform::simconnect::detail {
namespace {

enum class Var {
    Latitude,
    Longitude,
    Pitch,
    Bank,
    Heading,
    Altitude,
    IndicatedAltitude,
    AltitudeAboveGround,
    GroundAltitude,
    VerticalSpeed,
    TrueAirspeed,
    GroundVelocity,
    OnGround,
    AtcId,
    Title,
    AtcModel,
    ZuluTime,
    ZuluDayOfYear,
    ZuluYear,
    LightStates,
    Temperature,
    StaticCg,
    StaticPitch,
    Spoilers,
    Throttle1,
    Throttle2,
    Flaps,
    Gear,
    ParkingBrake,
};

enum class Kind { Degrees, Radians, Feet, Plain, Text };

struct VarInfo {
    Var var;
    Kind kind;
};

const std::unordered_map<std::string, VarInfo>& vars() {
    static const std::unordered_map<std::string, VarInfo> table{
        {"PLANE LATITUDE", {Var::Latitude, Kind::Degrees}},
        {"PLANE LONGITUDE", {Var::Longitude, Kind::Degrees}},
        {"PLANE PITCH DEGREES", {Var::Pitch, Kind::Radians}},
        {"PLANE BANK DEGREES", {Var::Bank, Kind::Radians}},
        {"PLANE HEADING DEGREES TRUE", {Var::Heading, Kind::Radians}},
        {"PLANE ALTITUDE", {Var::Altitude, Kind::Feet}},
        {"INDICATED ALTITUDE", {Var::IndicatedAltitude, Kind::Feet}},
        {"PLANE ALT ABOVE GROUND", {Var::AltitudeAboveGround, Kind::Feet}},
        {"GROUND ALTITUDE", {Var::GroundAltitude, Kind::Feet}},
        {"VERTICAL SPEED", {Var::VerticalSpeed, Kind::Plain}},
        {"AIRSPEED TRUE", {Var::TrueAirspeed, Kind::Plain}},
        {"GROUND VELOCITY", {Var::GroundVelocity, Kind::Plain}},
        {"SIM ON GROUND", {Var::OnGround, Kind::Plain}},
        {"ATC ID", {Var::AtcId, Kind::Text}},
        {"TITLE", {Var::Title, Kind::Text}},
        {"ATC MODEL", {Var::AtcModel, Kind::Text}},
        {"ZULU TIME", {Var::ZuluTime, Kind::Plain}},
        {"ZULU DAY OF YEAR", {Var::ZuluDayOfYear, Kind::Plain}},
        {"ZULU YEAR", {Var::ZuluYear, Kind::Plain}},
        {"LIGHT STATES", {Var::LightStates, Kind::Plain}},
        {"LIGHT ON STATES", {Var::LightStates, Kind::Plain}},
        {"STANDARD ATM TEMPERATURE", {Var::Temperature, Kind::Plain}},
        {"STATIC CG TO GROUND", {Var::StaticCg, Kind::Feet}},
        {"STATIC PITCH", {Var::StaticPitch, Kind::Radians}},
        {"SPOILERS HANDLE POSITION", {Var::Spoilers, Kind::Plain}},
        {"GENERAL ENG THROTTLE LEVER POSITION:1", {Var::Throttle1, Kind::Plain}},
        {"GENERAL ENG THROTTLE LEVER POSITION:2", {Var::Throttle2, Kind::Plain}},
        {"FLAPS HANDLE PERCENT", {Var::Flaps, Kind::Plain}},
        {"GEAR HANDLE POSITION", {Var::Gear, Kind::Plain}},
        {"BRAKE PARKING POSITION", {Var::ParkingBrake, Kind::Plain}},
    };
    return table;
}

constexpr double kPi = 3.141592653589793;
constexpr double kFeetPerMetre = 3.2808399;

// Factor from the simulator's own unit of the kind to the requested units.
double unitFactor(Kind kind, std::string_view units) {
    switch (kind) {
    case Kind::Degrees:
        return units == "RADIAN" || units == "RADIANS" ? kPi / 180.0 : 1.0;
    case Kind::Radians:
        return units == "DEGREE" || units == "DEGREES" ? 180.0 / kPi : 1.0;
    case Kind::Feet:
        return units == "METER" || units == "METERS" || units == "METRE" || units == "METRES" ? 1.0 / kFeetPerMetre
                                                                                                : 1.0;
    default:
        return 1.0;
    }
}

// Days since 1970-01-01 to civil date (proleptic Gregorian).
void civilFromDays(int64_t z, int64_t& year, int64_t& dayOfYear) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) ++y;
    year = y;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    // doy counts from March 1st; turn it into a count from January 1st.
    const int64_t janFeb = leap ? 60 : 59;
    dayOfYear = (month <= 2 ? doy - 306 : doy + janFeb) + 1;
}

double numberOf(const State& s, const Object& o, Var var) {
    switch (var) {
    case Var::Latitude: return o.latitude;
    case Var::Longitude: return o.longitude;
    case Var::Pitch: return o.pitch;
    case Var::Bank: return o.bank;
    case Var::Heading: return o.heading;
    case Var::Altitude:
    case Var::IndicatedAltitude: return o.altitude;
    case Var::AltitudeAboveGround: return std::max(0.0, o.altitude - s.groundAt(o.latitude, o.longitude));
    case Var::GroundAltitude: return s.groundAt(o.latitude, o.longitude);
    case Var::VerticalSpeed: return o.verticalSpeed;
    case Var::TrueAirspeed: return o.trueAirspeed;
    case Var::GroundVelocity: return o.groundSpeed;
    case Var::OnGround: return o.onGround ? 1.0 : 0.0;
    case Var::ZuluTime: {
        const int64_t day = s.zulu >= 0 ? s.zulu / 86400 : (s.zulu - 86399) / 86400;
        return static_cast<double>(s.zulu - day * 86400);
    }
    case Var::ZuluDayOfYear:
    case Var::ZuluYear: {
        const int64_t days = s.zulu >= 0 ? s.zulu / 86400 : (s.zulu - 86399) / 86400;
        int64_t year = 0;
        int64_t dayOfYear = 0;
        civilFromDays(days, year, dayOfYear);
        return static_cast<double>(var == Var::ZuluYear ? year : dayOfYear);
    }
    case Var::LightStates: return o.lights;
    case Var::Temperature: return std::max(389.97, 518.67 - 0.00356616 * o.altitude); // standard atmosphere, Rankine
    case Var::StaticCg: return o.staticCg;
    case Var::StaticPitch: return o.staticPitch;
    case Var::Spoilers: return o.spoilers;
    case Var::Throttle1: return o.throttle1;
    case Var::Throttle2: return o.throttle2;
    case Var::Flaps: return o.flaps;
    case Var::Gear: return o.gearDown ? 1.0 : 0.0;
    case Var::ParkingBrake: return o.parkingBrake ? 1.0 : 0.0;
    default: return 0.0;
    }
}

const std::string& textOf(const Object& o, Var var) {
    switch (var) {
    case Var::AtcId: return o.atcId;
    case Var::Title: return o.title;
    default: return o.atcModel;
    }
}

void setNumber(Object& o, Var var, double value) {
    switch (var) {
    case Var::Latitude: o.latitude = value; break;
    case Var::Longitude: o.longitude = value; break;
    case Var::Pitch: o.pitch = value; break;
    case Var::Bank: o.bank = value; break;
    case Var::Heading: o.heading = value; break;
    case Var::Altitude: o.altitude = value; break;
    case Var::VerticalSpeed: o.verticalSpeed = value; break;
    case Var::TrueAirspeed: o.trueAirspeed = value; break;
    case Var::GroundVelocity: o.groundSpeed = value; break;
    case Var::OnGround: o.onGround = value != 0.0; break;
    case Var::LightStates:
        // A bit set: only a whole number of 32 bits is one; anything else sets no light.
        o.lights =
            value >= 0.0 && value <= std::numeric_limits<uint32_t>::max() ? static_cast<uint32_t>(value) : 0;
        break;
    case Var::Spoilers: o.spoilers = value; break;
    case Var::Throttle1: o.throttle1 = value; break;
    case Var::Throttle2: o.throttle2 = value; break;
    case Var::Flaps: o.flaps = value; break;
    case Var::Gear: o.gearDown = value != 0.0; break;
    case Var::ParkingBrake: o.parkingBrake = value != 0.0; break;
    default: break; // read-only
    }
}

} // namespace

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

void Bytes::put(const void* data, std::size_t size) {
    // resize + memcpy rather than a range insert: g++ 12 at -O3 warns falsely about the insert.
    if (size == 0) return;
    const std::size_t at = m_bytes.size();
    m_bytes.resize(at + size);
    std::memcpy(m_bytes.data() + at, data, size);
}

void Bytes::text(std::string_view value, std::size_t fieldSize) {
    const std::size_t n = std::min(value.size(), fieldSize - 1);
    put(value.data(), n);
    m_bytes.insert(m_bytes.end(), fieldSize - n, std::byte{0});
}

bool resolveDatum(Datum& datum) {
    const auto it = vars().find(datum.name);
    if (it == vars().end()) return false;
    datum.var = static_cast<uint8_t>(it->second.var);
    datum.kind = static_cast<uint8_t>(it->second.kind);
    datum.factor = unitFactor(it->second.kind, datum.units);
    return true;
}

std::size_t datumSize(SIMCONNECT_DATATYPE type) {
    switch (type) {
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    default: return 0;
    }
}

std::size_t blockSize(const std::vector<Datum>& datums) {
    std::size_t size = 0;
    for (const auto& d : datums) {
        const std::size_t n = datumSize(d.type);
        if (n == 0) return 0;
        size += n;
    }
    return size;
}

std::vector<std::byte> buildBlock(const State& state, const Object& object, const std::vector<Datum>& datums) {
    Bytes out;
    for (const auto& d : datums) {
        const auto var = static_cast<Var>(d.var);
        if (static_cast<Kind>(d.kind) == Kind::Text) {
            const std::string& text = textOf(object, var);
            if (d.type == SIMCONNECT_DATATYPE_STRINGV)
                out.text(text, text.size() + 1);
            else
                out.text(text, 32);
            continue;
        }
        const double value = numberOf(state, object, var) * d.factor;
        if (d.type == SIMCONNECT_DATATYPE_INT64)
            out.i64(static_cast<int64_t>(std::llround(value)));
        else
            out.f64(value);
    }
    return out.bytes();
}

void applyBlock(Object& object, const std::vector<Datum>& datums, const std::byte* block) {
    std::size_t offset = 0;
    bool moved = false;
    for (const auto& d : datums) {
        const auto var = static_cast<Var>(d.var);
        if (static_cast<Kind>(d.kind) != Kind::Text) {
            double value = 0.0;
            if (d.type == SIMCONNECT_DATATYPE_INT64) {
                int64_t whole = 0;
                std::memcpy(&whole, block + offset, sizeof whole);
                value = static_cast<double>(whole);
            } else {
                std::memcpy(&value, block + offset, sizeof value);
            }
            setNumber(object, var, value / d.factor);
            moved = moved || var == Var::Latitude || var == Var::Longitude;
        }
        offset += datumSize(d.type);
    }
    if (moved) ++object.positionUpdates;
}

// ---- facilities ----
namespace {

enum class Block { None, Airport, Parking, Helipad };

Block blockOf(std::string_view name) {
    if (name == "AIRPORT") return Block::Airport;
    if (name == "TAXI_PARKING") return Block::Parking;
    if (name == "HELIPAD") return Block::Helipad;
    return Block::None;
}

bool writeAirportField(Bytes& out, const Airport& a, std::string_view field) {
    if (field == "LATITUDE") out.f64(a.latitude);
    else if (field == "LONGITUDE") out.f64(a.longitude);
    else if (field == "ALTITUDE") out.f64(a.altitudeMetres);
    else if (field == "NAME") out.text(a.name, 32);
    else if (field == "NAME64") out.text(a.name, 64);
    else if (field == "ICAO") out.text(a.icao, 8);
    else if (field == "N_HELIPADS") out.i32(static_cast<int32_t>(a.helipads.size()));
    else if (field == "N_TAXI_PARKINGS") out.i32(static_cast<int32_t>(a.parkings.size()));
    else return false;
    return true;
}

bool writeParkingField(Bytes& out, const TaxiParking& p, std::string_view field) {
    if (field == "TYPE") out.i32(p.type);
    else if (field == "TAXI_POINT_TYPE") out.i32(p.taxiPointType);
    else if (field == "NAME") out.i32(p.name);
    else if (field == "SUFFIX") out.i32(p.suffix);
    else if (field == "NUMBER") out.u32(p.number);
    else if (field == "ORIENTATION") out.i32(p.orientation);
    else if (field == "HEADING") out.f32(p.heading);
    else if (field == "RADIUS") out.f32(p.radius);
    else if (field == "BIAS_X") out.f32(p.biasX);
    else if (field == "BIAS_Z") out.f32(p.biasZ);
    else return false;
    return true;
}

bool writeHelipadField(Bytes& out, const Helipad& h, std::string_view field) {
    if (field == "LATITUDE") out.f64(h.latitude);
    else if (field == "LONGITUDE") out.f64(h.longitude);
    else if (field == "ALTITUDE") out.f64(h.altitude);
    else if (field == "HEADING") out.f32(h.heading);
    else if (field == "LENGTH") out.f32(h.length);
    else if (field == "WIDTH") out.f32(h.width);
    else if (field == "SURFACE") out.i32(h.surface);
    else if (field == "TYPE") out.i32(h.type);
    else return false;
    return true;
}

struct FacilityLayout {
    std::vector<std::string> airportFields;
    std::vector<std::pair<Block, std::vector<std::string>>> children; // in definition order
};

FacilityLayout layoutOf(const std::vector<std::string>& definition) {
    FacilityLayout layout;
    Block current = Block::None;
    for (const auto& field : definition) {
        if (field.starts_with("OPEN ")) {
            current = blockOf(std::string_view(field).substr(5));
            if (current == Block::Parking || current == Block::Helipad) layout.children.push_back({current, {}});
        } else if (field.starts_with("CLOSE ")) {
            current = blockOf(std::string_view(field).substr(6)) == Block::Airport ? Block::None : Block::Airport;
        } else if (current == Block::Airport) {
            layout.airportFields.push_back(field);
        } else if ((current == Block::Parking || current == Block::Helipad) && !layout.children.empty()) {
            layout.children.back().second.push_back(field);
        }
    }
    return layout;
}

Message facilityItem(DWORD requestId, DWORD unique, DWORD parent, DWORD type, bool listItem, DWORD index,
                     DWORD listSize, const Bytes& data) {
    Bytes body;
    body.u32(requestId);
    body.u32(unique);
    body.u32(parent);
    body.u32(type);
    body.u32(listItem ? 1 : 0);
    body.u32(index);
    body.u32(listSize);
    body.put(data.bytes().data(), data.bytes().size());
    return makeMessage(SIMCONNECT_RECV_ID_FACILITY_DATA, body.bytes());
}

} // namespace

bool knownFacilityField(std::string_view field) {
    static const char* const names[] = {"LATITUDE", "LONGITUDE", "ALTITUDE", "NAME", "NAME64", "ICAO",
                                        "N_HELIPADS", "N_TAXI_PARKINGS", "TYPE", "TAXI_POINT_TYPE", "SUFFIX",
                                        "NUMBER", "ORIENTATION", "HEADING", "RADIUS", "BIAS_X", "BIAS_Z",
                                        "LENGTH", "WIDTH", "SURFACE"};
    if (field.starts_with("OPEN ")) return blockOf(field.substr(5)) != Block::None;
    if (field.starts_with("CLOSE ")) return blockOf(field.substr(6)) != Block::None;
    for (const char* name : names)
        if (field == name) return true;
    return false;
}

std::vector<Message> facilityAnswer(const State& state, const std::vector<std::string>& definition,
                                    DWORD requestId, std::string_view icao, DWORD sendId) {
    std::vector<Message> out;
    Bytes endBody;
    endBody.u32(requestId);
    const auto found = state.airports.find(upper(icao));
    if (found == state.airports.end()) {
        out.push_back(makeMessage(SIMCONNECT_RECV_ID_FACILITY_DATA_END, endBody.bytes()));
        return out;
    }
    const Airport& airport = found->second;
    if (airport.answer == FacilityAnswer::Exception) {
        out.push_back(exceptionMessage(SIMCONNECT_EXCEPTION_ERROR, sendId, 0));
        return out;
    }
    const FacilityLayout layout = layoutOf(definition);
    DWORD unique = 1;
    Bytes airportData;
    for (const auto& field : layout.airportFields) writeAirportField(airportData, airport, field);
    const DWORD airportUnique = unique++;
    out.push_back(facilityItem(requestId, airportUnique, 0, SIMCONNECT_FACILITY_DATA_AIRPORT, false, 0, 1,
                               airportData));
    for (const auto& [block, fields] : layout.children) {
        if (block == Block::Parking) {
            const auto count = static_cast<DWORD>(airport.parkings.size());
            for (DWORD i = 0; i < count; ++i) {
                Bytes data;
                for (const auto& field : fields) writeParkingField(data, airport.parkings[i], field);
                out.push_back(facilityItem(requestId, unique++, airportUnique, SIMCONNECT_FACILITY_DATA_TAXI_PARKING,
                                           true, i, count, data));
            }
        } else {
            const auto count = static_cast<DWORD>(airport.helipads.size());
            for (DWORD i = 0; i < count; ++i) {
                Bytes data;
                for (const auto& field : fields) writeHelipadField(data, airport.helipads[i], field);
                out.push_back(facilityItem(requestId, unique++, airportUnique, SIMCONNECT_FACILITY_DATA_HELIPAD, true,
                                           i, count, data));
            }
        }
    }
    if (airport.answer == FacilityAnswer::Complete)
        out.push_back(makeMessage(SIMCONNECT_RECV_ID_FACILITY_DATA_END, endBody.bytes()));
    return out;
}

} // namespace platform::simconnect::detail
