#include "liveries/fltsim_section.hpp"

#include <exception>
#include <optional>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/string_helpers.hpp"
#include "liveries/aircraft_cfg_parser.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries/stock_aircraft.hpp"
#include "refdata/code_table.hpp"
#include "refdata/model_lookups.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {

namespace {

constexpr std::string_view kPrivateOperator = "PVT";

bool lf_isUsableRegistrationKey(const std::optional<LiveryKey>& key) {
    // A record without operator or model cannot make a livery; the section's own data is used then.
    return key && key->operatorIndex != 0 && key->modelIndex != 0;
}

struct SectionValues {
    std::string title;
    std::string operatorCode;
    std::string registration;
    std::string parkingTypes;
    bool carryOn = true;
};

// Reads the section's keys in four stages per line; a key met a second time ends the reading
// and clears carryOn.
void lf_readSectionKeys(const FltSimSection& section, const std::string& folderText,
                        const std::filesystem::path& cfgPath, SectionValues& v) {
    const std::string& header = section.front();
    for (const std::string& line : section) {
        std::string value;
        if (v.title.empty()) {
            if (lf_cfgTitle(line, v.title)) {
                v.title = gf_trim(v.title);
                if (gf_contains(v.title, "FenixA320") || gf_contains(v.title, "PMDG 737")) {
                    v.carryOn = false;
                    return;
                }
                continue;
            }
        } else if (lf_cfgTitle(line, value)) {
            lf_addIncompleteSectionLine(fmt::format("{} {} has more than one title key", folderText, header));
            v.carryOn = false;
            return;
        }
        if (v.operatorCode.empty()) {
            if (lf_cfgIcaoAirline(line, v.operatorCode)) {
                gf_tidyCommaList(v.operatorCode);
                if (v.operatorCode.size() == 4 && (v.operatorCode[3] == 'X' || v.operatorCode[3] == 'C'))
                    v.operatorCode.resize(3);
                if (gf_isKnownAirlineCode(v.operatorCode)) continue;
                if (v.operatorCode == "RFO") {
                    v.carryOn = false;
                    return;
                }
                lf_addInvalidAirline(v.operatorCode, cfgPath, header);
                v.operatorCode.clear();
                continue;
            }
        } else if (gf_contains(line, "icao_airline")) {
            // The wording is the one users and package makers know from earlier reports.
            lf_addIncompleteSectionLine(fmt::format("{} {} has more than one atc_parking_codes key", folderText, header));
            v.carryOn = false;
            return;
        }
        if (v.parkingTypes.empty()) {
            if (lf_cfgAtcParkingTypes(line, v.parkingTypes)) {
                gf_tidyCommaList(v.parkingTypes);
                v.parkingTypes = gf_toUpperAscii(std::move(v.parkingTypes));
                continue;
            }
        } else if (lf_hasAtcParkingTypesKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{} {} has more than one atc_parking_types key", folderText, header));
            v.carryOn = false;
            return;
        }
        if (v.registration.empty()) {
            if (lf_cfgAtcId(line, value)) {
                if (const auto semicolon = value.find(';'); semicolon != std::string::npos) value.resize(semicolon);
                if (!lf_registrationOfAtcId(value, v.registration))
                    lf_addIncompleteSectionLine(fmt::format("invalid atc_id={} in: {}", value, v.title));
                continue;
            }
        } else if (lf_hasAtcIdKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            v.carryOn = false;
            return;
        }
    }
}

std::list<LiveryData> lf_interpret(uint32_t priority, FltSimSection& section, const std::string& modelCode,
                                   const std::filesystem::path& cfgPath, const std::filesystem::path& folder) {
    lf_dropTrailingCommentLines(section);
    if (section.empty()) return {};
    const std::string& header = section.front();
    const std::string folderText = folder.string();
    const std::string cfgText = cfgPath.string();

    SectionValues v;
    lf_readSectionKeys(section, folderText, cfgPath, v);

    if (v.operatorCode.empty())
        lf_addIncompleteSectionLine(fmt::format("{} {} icao_airline is missing, or it has invalid info ", cfgText, header));
    if (!v.carryOn) return {};
    if (v.title.empty()) {
        lf_addIncompleteSectionLine(fmt::format("{} {} misses title", folderText, header));
        return {};
    }
    if (gf_contains(v.title, "Fictional")) return {};
    if (v.title.ends_with("-STUB")) v.operatorCode = kGenericOperatorCode;
    for (const auto& dontUse : gDontUseTitles)
        if (dontUse == v.title) return {};
    if (v.operatorCode == kGenericOperatorCode) v.registration.clear();

    std::optional<LiveryKey> registrationKey;
    if (!v.registration.empty()) registrationKey = gf_lookupRegistration(v.registration);

    if (v.operatorCode.empty()) {
        const bool heavy = gf_modelCodeCategory(modelCode) == AircraftCategory::Heavy;
        if (!v.registration.empty()) {
            if (!lf_isUsableRegistrationKey(registrationKey)) {
                if (heavy) {
                    lf_addIncompleteSectionLine(
                        fmt::format("'{}' '{}' has no airline and regcode not in dbase", folderText, header));
                    return {};
                }
                v.operatorCode = kPrivateOperator;
            }
        } else {
            if (heavy) {
                lf_addIncompleteSectionLine(fmt::format("'{}' '{}' has no airline and no regcode info", folderText, header));
                return {};
            }
            v.operatorCode = kPrivateOperator;
            if (auto shortRegistration = gf_findShortRegIn(v.title)) {
                v.registration = std::move(*shortRegistration);
                registrationKey = gf_lookupRegistration(v.registration);
            }
        }
    }

    const bool cargo = gf_contains(v.parkingTypes, "CARGO") && !gf_contains(v.parkingTypes, "GATE");
    LiveryKey key;
    if (lf_isUsableRegistrationKey(registrationKey)) {
        key = *registrationKey;
    } else {
        key.operatorIndex = gf_airlineIndex(v.operatorCode);
        key.modelIndex = gf_modelIndex(modelCode);
        key.cargo = cargo ? 1 : 0;
    }
    if (key.operatorIndex == 0 || key.modelIndex == 0) {
        // Not claimed: a later section with a usable key may still take the title.
        lf_addIncompleteSectionLine(fmt::format("{} {} title '{}' has no usable operator or model", folderText, header, v.title));
        return {};
    }
    LiveryData livery = lf_makeLiveryData(static_cast<uint16_t>(priority), key, v.title, v.registration,
                                          fmt::format("{} {} title '{}' already exists", folderText, header, v.title));
    std::list<LiveryData> result;
    if (lf_isIncompleteLivery(livery)) return result;
    result.push_back(std::move(livery));
    return result;
}

} // namespace

void lf_dropTrailingCommentLines(FltSimSection& section) {
    while (!section.empty() && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
}

std::list<LiveryData> lf_procesFltSimSection(uint32_t priority, FltSimSection& section, const std::string& modelCode,
                                             std::filesystem::path cfgPath, std::filesystem::path folder) {
    try {
        return lf_interpret(priority, section, modelCode, cfgPath, folder);
    } catch (const std::exception& error) {
        gf_log(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", error.what(), cfgPath.string()));
        throw;
    }
}

} // namespace tamrix
