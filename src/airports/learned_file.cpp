// Merging a learned airport file into the park airport's stand table.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <system_error>
#include <unordered_map>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/stand_options.hpp"
#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "config/xml_helpers.hpp"
#include "core/half_hour_set.hpp"
#include "core/log.hpp"
#include "core/meta_info.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "records/stand_table.hpp"

namespace tamrix {

namespace {

constexpr VersionData kFlightsKeptSince{11, 10, 0};

struct MergeContext {
    std::string id;
    pugi::xml_node node;
    bool clearFlights = false;
};

void selectChoice(const IntChoiceParameter& parameter) {
    if (const auto index = parameter.indexOfCurrent())
        SendMessageW(parameter.window, CB_SETCURSEL, static_cast<WPARAM>(*index), 0);
}

void takeBool(pugi::xml_node document, CheckBoxParameter& parameter) {
    if (const std::optional<bool> value = gf_getBoolParameter(document, parameter.name)) {
        parameter.current.store(*value);
        gf_showCheckBox(parameter);
        gf_logContinued(fmt::format("{:24}: {}", parameter.name, *value));
    }
}

// A learned whole number: none when the file has no such parameter, or (with a warning) when its
// text is no whole number.
std::optional<int64_t> learnedNumber(pugi::xml_node document, const std::string& key) {
    const std::optional<std::string> text = gf_getStringParameter(document, key);
    if (!text) return std::nullopt;
    const std::string trimmed = gf_trim(*text);
    int64_t value = 0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [at, ec] = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || ec != std::errc() || at != end) {
        gf_logHighlighted(fmt::format("Warning: learned {} '{}' is no whole number, not used", key, *text));
        return std::nullopt;
    }
    return value;
}

// A learned number within the parameter's limits; one outside is clamped to them, with a warning.
std::optional<int32_t> learnedWithin(pugi::xml_node document, const IntParameter& parameter) {
    const std::optional<int64_t> value = learnedNumber(document, parameter.name);
    if (!value) return std::nullopt;
    const int32_t clamped = parameter.clamp(*value);
    if (clamped != *value)
        gf_logHighlighted(
            fmt::format("Warning: learned {} {} is out of range, {} used", parameter.name, *value, clamped));
    return clamped;
}

void applySettings(pugi::xml_node document) {
    if (const auto value = learnedWithin(document, MAX_LIVE_SEL)) {
        // No live aircraft at all is no per-airport value: it would stay in force, and be saved
        // again, until the user noticed. Other values must be among the choices.
        if (*value == 0 || std::find(MAX_LIVE_SEL.allowed.begin(), MAX_LIVE_SEL.allowed.end(), *value) ==
                               MAX_LIVE_SEL.allowed.end()) {
            gf_logHighlighted(fmt::format("Warning: learned {} {} refused, {} kept", MAX_LIVE_SEL.name,
                                          *value, MAX_LIVE_SEL.current.load()));
        } else {
            MAX_LIVE_SEL.current.store(*value);
            selectChoice(MAX_LIVE_SEL);
            gf_logContinued(fmt::format("{:24}: {}", MAX_LIVE_SEL.name, MAX_LIVE_SEL.current.load()));
        }
    }
    if (const auto value = learnedWithin(document, RANGE)) {
        gf_setRange(*value);
        gf_logContinued(fmt::format("{:24}: {}", RANGE.name, *value));
    }
    if (const auto value = gf_getBoolParameter(document, AUTO_RANGE.name)) {
        AUTO_RANGE.current.store(*value);
        gf_showCheckBox(AUTO_RANGE);
        EnableWindow(RANGE.window, *value ? FALSE : TRUE);
        EnableWindow(AR_ABOVE_HEIGHT.window, *value ? TRUE : FALSE);
        gf_logContinued(fmt::format("{:24}: {}", AUTO_RANGE.name, *value));
    }
    // Kept within 0 .. 100: static parking sizes its plan by it.
    const int32_t percentage = learnedWithin(document, parking_percentage).value_or(30);
    parking_percentage.current.store(percentage);
    selectChoice(parking_percentage);
    gf_logContinued(fmt::format("{:24}: {}", parking_percentage.name, percentage));
    takeBool(document, WEEK);
    takeBool(document, PARK_SOFT);
    if (const auto value = learnedWithin(document, MAX_FIT)) {
        MAX_FIT.current.store(*value);
        gf_updateMaxFitFl();
        gf_logContinued(fmt::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)", MAX_FIT.name,
                                    MAX_FIT.current.load(), MAX_FIT_FL.current.load()));
    }
    takeBool(document, INITIAL_LOAD_ONLY);
}

bool sameFlight(const StandOption& a, const StandOption& b) {
    return a.day == b.day && a.real == b.real && a.reg == b.reg && a.key.operatorIndex == b.key.operatorIndex &&
           a.key.secondOperatorIndex == b.key.secondOperatorIndex && a.key.modelIndex == b.key.modelIndex &&
           (a.hh & b.hh).any();
}

} // namespace

bool lf_mergeLearnedStand(const MergeContext& context, StandRecord& stand);

bool lf_mergeLearnedStand(const MergeContext& context, StandRecord& stand) {
    if (stand.id != context.id) return false;
    const pugi::xml_node parkpos = context.node;
    if (parkpos.attribute("radius_change").as_bool(false)) {
        const double metres = parkpos.attribute("radius").as_double(0.0);
        if (std::isfinite(metres) && metres >= 0.0 && metres <= kMaxStandRadiusMetres) {
            stand.radius = metres * 0.0005399568034557236;
            stand.radiusChange = 1;
        } else {
            gf_logHighlighted(fmt::format("Warning: learned {}: radius {} refused", stand.id, metres));
        }
    }
    if (parkpos.attribute("cargo_change").as_bool(false)) {
        stand.cargo = parkpos.attribute("cargo").as_bool(false) ? 1 : 0;
        stand.cargoChange = 1;
    }
    if (context.clearFlights) return true;
    uint32_t next = stand.options.empty() ? 1 : stand.options.back().number + 1;
    for (pugi::xml_node opt : parkpos.children("opt")) {
        OptIdentity identity = lf_readOptIdentity(opt);
        const HalfHourSet hours = gf_hours2bitset(opt.attribute("hh").as_string(""));
        if (hours.none()) {
            gf_logHighlighted("empty bit set");
            continue;
        }
        const unsigned long long day = opt.attribute("day").as_ullong(0);
        if (day < 1 || day > 7) {
            gf_logHighlighted(fmt::format("Warning: learned {}: day {} refused", stand.id, day));
            continue;
        }
        StandOption option;
        option.key = identity.key;
        option.reg = opt.attribute("reg").as_string("");
        option.cs = std::move(identity.cs);
        option.cs2 = std::move(identity.cs2);
        option.hh = hours;
        option.number = next;
        option.day = static_cast<uint32_t>(day);
        option.source = 0;
        option.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
        option.cpl = opt.attribute("cpl").as_bool(false) ? 1 : 0;
        bool duplicate = false;
        for (const StandOption& existing : stand.options)
            if (sameFlight(existing, option)) duplicate = true;
        if (duplicate) {
            const std::optional<std::string> list = gf_bitset2HourList(option.hh);
            if (list)
                gf_logHighlighted(fmt::format("learned {}: day:{} {} {} cs:{} reg:{} already in airport file", stand.id,
                                              option.day, *list, gf_liveryKey2Text(option.key), option.cs, option.reg));
            else
                gf_logHighlighted(fmt::format("learned {}: day:{} 'empty hrs' {} cs:{} reg:{} already in airport file",
                                              stand.id, option.day, gf_liveryKey2Text(option.key), option.cs,
                                              option.reg));
            continue;
        }
        stand.options.push_back(std::move(option));
        ++next;
    }
    return true;
}

LearnedMerge lf_readLearned(const std::filesystem::path& path, const ParkAirportInfo& info) {
    pugi::xml_document document;
    // Read on the main tick: a pipe in the file's place is refused, never waited on.
    if (const std::optional<std::string> cause = gf_loadXmlFile(document, path, kMaxApfBytes)) {
        if (gf_save1GenerationOf(path))
            gf_logHighlighted(fmt::format("{} found, but could not be loaded, saved as {}: {}", path.string(),
                                          gf_generationName(path, 1).string(), *cause));
        else
            gf_logHighlighted(
                fmt::format("{} found, but could not be loaded, and could not be saved as {}: {}",
                            path.string(), gf_generationName(path, 1).string(), *cause));
        return LearnedMerge::Partial;
    }
    gf_log(fmt::format("Read from learned airport file: '{}'", path.string()));
    const std::optional<MetaInfo> meta = gf_readMetaInfo(document, true);
    if (!meta) return LearnedMerge::Partial;
    const bool clearFlights = VersionData(meta->version) < kFlightsKeptSince;
    if (clearFlights)
        gf_log("\nThis learned file was created with and older Quorvel version than 11.10.0,\nAll flights will be "
               "cleared, except for a handmade file\n");
    const std::string learnedName = gf_getStringParameter(document, "airport_name").value_or("");
    if (learnedName != info.airport_name)
        gf_setStatusLine(fmt::format("Warning: learned file airport name: '{}' differs from archived file airport "
                                     "name: '{}'",
                                     learnedName, info.airport_name),
                         true);

    bool handmadeBranch = false;
    LearnedMerge result = LearnedMerge::Complete;
    try {
        applySettings(document);
        if (const std::optional<bool> handmade = gf_getBoolParameter(document, "handmade")) {
            handmadeBranch = true;
            gHandmadeAirport.store(true);
            gf_clearStandTable();
            lf_readStands(document);
            gf_logContinued(fmt::format("{:24}: {}", "handmade", *handmade));
            return LearnedMerge::Complete;
        }
        gHandmadeAirport.store(false);
        pugi::xml_node root = document.child("root");
        pugi::xml_node parkpositions = root ? root.child("parkpositions") : document.child("parkpositions");
        if (!parkpositions) return result;
        // The first stand of each id, as a search in table order would find it.
        std::unordered_map<std::string, std::size_t> byId;
        byId.reserve(gStandTable.size() * 2);
        for (std::size_t i = 0; i < gStandTable.size(); ++i) byId.emplace(gStandTable[i].id, i);
        for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
            MergeContext context{gf_trim(parkpos.attribute("id").as_string("")), parkpos, clearFlights};
            if (!parkpos.attribute("manual").as_bool(false)) {
                const auto at = byId.find(context.id);
                const bool found = at != byId.end() && lf_mergeLearnedStand(context, gStandTable[at->second]);
                if (!found) {
                    gf_log(fmt::format("learned stand {} in {} not found?", context.id, path.string()));
                    result = LearnedMerge::Partial;
                }
                continue;
            }
            if (byId.contains(context.id)) {
                gf_logHighlighted(fmt::format("manually created standid {} already exists in {}", context.id, path.string()));
                continue;
            }
            const double latitude = parkpos.attribute("latitude").as_double(0.0);
            const double longitude = parkpos.attribute("longitude").as_double(0.0);
            const double radius = parkpos.attribute("radius").as_double(0.0);
            if ((std::abs(latitude) <= 0.0001 && std::abs(longitude) <= 0.0001) || radius == 0.0 || context.id.empty()) {
                gf_logHighlighted(
                    fmt::format("manually created standid {} misses correct attributes in {}", context.id, path.string()));
                result = LearnedMerge::Partial;
                continue;
            }
            const std::size_t before = gStandTable.size();
            lf_readStand(parkpos, context.id, 0);
            if (gStandTable.size() == before) {
                result = LearnedMerge::Partial;
                continue;
            }
            StandRecord& added = gStandTable.back();
            byId.emplace(added.id, gStandTable.size() - 1);
            added.manual = 1;
            // An old file contributes no flights, its manual stands' included.
            if (clearFlights) added.options.clear();
        }
    } catch (const std::exception& e) {
        // Handmade stands that cannot be read leave no usable table: the read fails whole.
        if (handmadeBranch) throw;
        gf_log(fmt::format("{}: {}", "lf_readLearned", e.what()));
        return LearnedMerge::Partial;
    }
    return result;
}

} // namespace tamrix
