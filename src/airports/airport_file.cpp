#include "airports/airport_file.hpp"

#include <cmath>
#include <stdexcept>
#include <system_error>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>
#include <gsl/narrow>

#include "airports/stand_options.hpp"
#include "config/settings.hpp"
#include "config/xml_helpers.hpp"
#include "core/geodesy.hpp"
#include "core/half_hour_set.hpp"
#include "core/log.hpp"
#include "core/meta_info.hpp"
#include "core/string_helpers.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {

std::atomic<bool> gHandmadeAirport{false};

namespace {

constexpr double kMetresPerNm = 1852.0;

const char* boolText(bool value) { return value ? "true" : "false"; }

bool appendParameter(pugi::xml_node parameters, const char* name, const std::string& value) {
    return gf_appendStringParameterNode(parameters, name, value);
}

// The full form of a stand: position, size, type and kind.
bool appendFullStand(pugi::xml_node parkpos, const StandRecord& stand) {
    bool ok = gf_appendAttributeString(parkpos, "latitude", fmt::format("{:.6f}", stand.latitude)) &&
              gf_appendAttributeString(parkpos, "longitude", fmt::format("{:.6f}", stand.longitude)) &&
              gf_appendAttributeString(parkpos, "heading", fmt::format("{:.1f}", stand.heading * kRadToDeg)) &&
              gf_appendAttributeString(parkpos, "radius", fmt::format("{:.1f}", stand.radius * kMetresPerNm)) &&
              gf_appendAttributeString(parkpos, "type", fmt::format("{}", stand.type)) &&
              gf_appendAttribute(parkpos, "cargo", boolText(stand.cargo != 0)) &&
              gf_appendAttribute(parkpos, "ramp", boolText(stand.ramp != 0));
    if (ok && stand.heli != 0) ok = gf_appendAttribute(parkpos, "heli", "true");
    if (ok && stand.manual != 0) ok = gf_appendAttribute(parkpos, "manual", "true");
    return ok;
}

bool appendChanges(pugi::xml_node parkpos, const StandRecord& stand) {
    bool ok = true;
    if (stand.radiusChange != 0)
        ok = gf_appendAttribute(parkpos, "radius_change", "true") &&
             gf_appendAttributeString(parkpos, "radius", fmt::format("{:.1f}", stand.radius * kMetresPerNm));
    if (ok && stand.cargoChange != 0)
        ok = gf_appendAttribute(parkpos, "cargo_change", "true") &&
             gf_appendAttribute(parkpos, "cargo", boolText(stand.cargo != 0));
    return ok;
}

void appendOption(pugi::xml_node parkpos, const StandOption& option) {
    if (option.number == 0) return;
    const std::optional<std::string> hours = gf_bitset2HourRanges(option.hh);
    if (!hours) {
        gf_logHighlighted(fmt::format("bit set problem: {} {} {}", option.reg, option.cs, gf_liveryKey2Text(option.key)));
        return;
    }
    if (option.reg.empty()) return;
    pugi::xml_node opt = parkpos.append_child("opt");
    if (!opt) return;
    gf_appendAttributeString(opt, "reg", option.reg);
    if (option.key.fromRegistration == 0) {
        gf_appendAttributeString(opt, "airl", gOperatorCodes.text(option.key.operatorIndex));
        gf_appendAttributeString(opt, "type", gModelCodes.text(option.key.modelIndex));
    }
    if (option.real == 0) gf_appendAttribute(opt, "soft", "true");
    gf_appendAttributeString(opt, "day", fmt::format("{}", option.day));
    gf_appendAttributeString(opt, "hh", *hours);
    if (!option.cs.empty())
        gf_appendAttributeString(opt, "cs", option.cs2.empty() ? option.cs : option.cs + ":" + option.cs2);
    if (option.cpl != 0) gf_appendAttribute(opt, "cpl", "true");
}

// A finite number from an attribute; 0 when missing or not finite.
double finiteNumber(pugi::xml_attribute attribute) {
    const double value = attribute.as_double(0.0);
    return std::isfinite(value) ? value : 0.0;
}

pugi::xml_node parkpositionsOf(pugi::xml_node document) {
    pugi::xml_node root = document.child("root");
    return root ? root.child("parkpositions") : document.child("parkpositions");
}

} // namespace

bool gf_writeApfHeader(pugi::xml_node root, const AirportFileHeader& header, int32_t mode) {
    pugi::xml_node parameters = root.append_child("parameters");
    if (!parameters) return false;
    const bool handmade = gHandmadeAirport.load();
    const std::string icao = header.icao ? header.icao->text() : std::string(4, ' ');
    appendParameter(parameters, "icao", icao);
    appendParameter(parameters, "airport_name", header.airportName);
    appendParameter(parameters, "publisher", header.publisher);
    if (header.package != 0 && !header.version.empty() && header.publisher != "stock")
        appendParameter(parameters, "version", header.version);
    if (handmade) gf_appendBoolParameterNode(parameters, "handmade", true);
    if (handmade || mode == kApfAirportMode) gf_appendIntParameterNode(parameters, "altitude", header.altitude);
    if (mode == kApfAirportMode)
        gf_appendIntParameterNode(parameters, "num_parkpos", gsl::narrow<int32_t>(header.stands.size()));
    if (header.publisher != "stock") gf_appendBoolParameterNode(parameters, "Facilities", header.facilities);
    if (handmade && header.Qf_real >= 0) gf_appendIntParameterNode(parameters, "Qf_real", header.Qf_real);
    if (handmade && header.Qf_soft >= 0) gf_appendIntParameterNode(parameters, "Qf_soft", header.Qf_soft);
    if (header.publisher.empty()) {
        appendParameter(parameters, "BGLpath", header.BGLpath);
        if (header.package != 0) {
            appendParameter(parameters, "manufacturer", header.manufacturer);
            appendParameter(parameters, "creator", header.creator);
        }
    }
    if (mode == kApfLearnedMode) {
        gf_appendIntParameterNode(parameters, RANGE.name.c_str(), RANGE.current.load());
        gf_appendBoolParameterNode(parameters, AUTO_RANGE.name.c_str(), AUTO_RANGE.current.load());
        gf_appendBoolParameterNode(parameters, WEEK.name.c_str(), WEEK.current.load());
        gf_appendBoolParameterNode(parameters, PARK_SOFT.name.c_str(), PARK_SOFT.current.load());
        gf_appendIntParameterNode(parameters, parking_percentage.name.c_str(), parking_percentage.current.load());
        gf_appendBoolParameterNode(parameters, INITIAL_LOAD_ONLY.name.c_str(), INITIAL_LOAD_ONLY.current.load());
        const double doubled = std::round(2.0 * static_cast<double>(MAX_FIT_FL.current.load()));
        gf_appendIntParameterNode(parameters, MAX_FIT.name.c_str(), gsl::narrow<int32_t>(doubled) - 1);
        gf_appendIntParameterNode(parameters, MAX_LIVE_SEL.name.c_str(), MAX_LIVE_SEL.current.load());
    }
    return true;
}

bool gf_writeApf(const AirportFileHeader& header, const std::filesystem::path& path, int32_t mode, int32_t sim) {
    pugi::xml_document document;
    MetaInfo meta;
    meta.version = gProgramVersion.text();
    meta.sim = sim;
    if (!gf_writeMetaInfo(document, meta)) return false;
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root || !gf_writeApfHeader(root, header, mode)) return false;
    pugi::xml_node parkpositions = root.append_child("parkpositions");
    if (!parkpositions) return false;
    const bool handmade = gHandmadeAirport.load();
    for (const StandRecord& stand : header.stands) {
        pugi::xml_node parkpos = parkpositions.append_child("parkpos");
        if (!parkpos || !gf_appendAttributeString(parkpos, "id", stand.id)) return false;
        if (mode == kApfAirportMode) {
            if (!appendFullStand(parkpos, stand)) return false;
            continue;
        }
        const bool changed = stand.radiusChange != 0 || stand.cargoChange != 0;
        bool ok = true;
        if (stand.manual != 0 || (!changed && handmade))
            ok = appendFullStand(parkpos, stand);
        else if (changed)
            ok = appendChanges(parkpos, stand);
        if (!ok) return false;
        for (const StandOption& option : stand.options) appendOption(parkpos, option);
    }
    if (path.has_parent_path()) {
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
    }
    return gf_saveXml(document, path);
}

std::string gf_standPositionProblem(double latitude, double longitude) {
    // Files hold six decimals: what would be written as 0/0 reads back as no position at all.
    if (std::round(latitude * 1e6) == 0.0 && std::round(longitude * 1e6) == 0.0) return "has no valid lat/lon";
    if (!(std::abs(latitude) <= 90.0) || !(std::abs(longitude) <= 180.0))
        return fmt::format("lies outside the earth (lat {}, lon {}), skipped", latitude, longitude);
    return {};
}

void lf_readStands(pugi::xml_node document) {
    pugi::xml_node parkpositions = parkpositionsOf(document);
    if (!parkpositions) return;
    std::unordered_set<std::string> ids;
    ids.reserve(512);
    uint32_t number = 0;
    for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        ++number;
        if (number > kMaxApfStands)
            throw std::length_error(fmt::format("more than {} stands in the airport file", kMaxApfStands));
        pugi::xml_attribute idAttribute = parkpos.attribute("id");
        if (!idAttribute) throw UserErrorException(93, fmt::format("Parking position #{} has no '{}' attribute.", number, "id"));
        std::string id = gf_trim(idAttribute.as_string());
        if (id.empty()) throw UserErrorException(93, fmt::format("Stand #{} has empty '{}' attribute.", number, "id"));
        if (!ids.insert(id).second) throw UserErrorException(94, fmt::format("Stand '{}' appears more than once.", id));
        lf_readStand(parkpos, std::move(id), 1);
    }
}

void lf_readStand(pugi::xml_node parkpos, std::string id, uint32_t source) {
    const double latitude = parkpos.attribute("latitude").as_double(0.0);
    const double longitude = parkpos.attribute("longitude").as_double(0.0);
    if (const std::string problem = gf_standPositionProblem(latitude, longitude); !problem.empty()) {
        gf_logHighlighted(fmt::format("stand {} {}", id, problem));
        return;
    }
    const double radius = finiteNumber(parkpos.attribute("radius"));
    const double heading = finiteNumber(parkpos.attribute("heading")) * kDegToRad;
    const int typeNumber = parkpos.attribute("type").as_int(0);
    uint16_t type = 0;
    if (typeNumber < 0 || typeNumber > 15)
        gf_logHighlighted(fmt::format("stand {} has the parking type {}, 0 used", id, typeNumber));
    else
        type = static_cast<uint16_t>(typeNumber);
    bool cargo = false;
    bool ramp = false;
    if (type != 0) {
        cargo = type == 5 || type == 6;
        ramp = type == 1 || type == 2 || type == 3 || type == 4 || type == 14;
    } else {
        cargo = parkpos.attribute("cargo").as_bool(false);
        ramp = parkpos.attribute("ramp").as_bool(false);
    }
    const bool heli = parkpos.attribute("heli").as_bool(false);

    std::vector<StandOption> options;
    std::size_t count = 0;
    for (pugi::xml_node opt = parkpos.child("opt"); opt; opt = opt.next_sibling("opt")) ++count;
    options.reserve(count);
    for (pugi::xml_node opt : parkpos.children("opt")) {
        OptIdentity identity = lf_readOptIdentity(opt);
        const char* hh = opt.attribute("hh").as_string("");
        const unsigned long long day = opt.attribute("day").as_ullong(0);
        if (*hh == '\0') continue;
        if (day < 1 || day > 7) {
            gf_logHighlighted(fmt::format("stand {}: flight of day {} skipped", id, day));
            continue;
        }
        const HalfHourSet hours = gf_hours2bitset(hh);
        if (hours.none()) continue; // the half-hour reader has logged what was wrong
        StandOption& option = options.emplace_back();
        option.key = identity.key;
        option.reg = opt.attribute("reg").as_string("");
        option.cs = std::move(identity.cs);
        option.cs2 = std::move(identity.cs2);
        option.hh = hours;
        option.number = static_cast<uint32_t>(options.size());
        option.day = static_cast<uint32_t>(day);
        option.source = source;
        option.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
        option.cpl = opt.attribute("cpl").as_bool(false) ? 1 : 0;
    }
    options.shrink_to_fit();
    gf_emplaceStand(std::move(id), std::move(options), StandPosition{latitude, longitude, heading}, radius, type, cargo,
                    ramp, heli);
}

OptIdentity lf_readOptIdentity(pugi::xml_node opt) {
    OptIdentity identity;
    const std::string_view cs = opt.attribute("cs").as_string("");
    if (const auto colon = cs.find(':'); colon != std::string_view::npos) {
        identity.cs = std::string(cs.substr(0, colon));
        identity.cs2 = std::string(cs.substr(colon + 1));
    } else {
        identity.cs = std::string(cs);
    }
    const std::string_view reg = opt.attribute("reg").as_string("");
    std::optional<LiveryKey> known;
    if (!reg.empty()) known = gf_lookupRegistration(reg);
    identity.key = known ? *known : lf_optKeyFromCodes(opt);
    return identity;
}

LiveryKey lf_optKeyFromCodes(pugi::xml_node opt) {
    LiveryKey key;
    key.operatorIndex = gf_airlineIndex(opt.attribute("airl").as_string(""));
    key.modelIndex = gf_modelIndex(opt.attribute("type").as_string(""));
    return key;
}

} // namespace tamrix
