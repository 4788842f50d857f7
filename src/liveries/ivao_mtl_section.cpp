#include "liveries/ivao_mtl_section.hpp"

#include <array>
#include <optional>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/string_helpers.hpp"
#include "liveries/aircraft_cfg_parser.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries/stock_aircraft.hpp"
#include "refdata/code_table.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

// Aircraft folders whose titles put a "W" between the model and the airline.
constexpr std::array<std::string_view, 5> kWingletFolders{"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                          "IVAO_A320wIAE", "IVAO_A319fIAEw"};

bool lf_isWordChar(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool lf_isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The texture folder exists as Windows would find it: in any letter case.
bool lf_textureFolderExists(const fs::path& folder, const std::string& name) {
    const fs::path exact = folder / name;
    if (fs::is_directory(fs::status(exact))) return true; // throws for errors other than "not found"
    const auto found = gf_findChildIgnoringCase(folder, name);
    std::error_code ec;
    return found && fs::is_directory(*found, ec);
}

} // namespace

std::string lf_airlineFromIvaoTitle(std::string_view title, std::string_view modelCode, bool withW) {
    std::string prefix(modelCode);
    if (withW) prefix += 'W';
    if (title.size() < prefix.size()) return {};
    if (!gf_equalsNoCase(title.substr(0, prefix.size()), prefix)) return {};
    std::size_t at = prefix.size();
    while (at < title.size() && lf_isBlank(title[at])) ++at;
    if (title.size() - at < 3) return {};
    for (std::size_t i = at; i < at + 3; ++i)
        if (!lf_isWordChar(title[i])) return {};
    // The rest of the title may hold anything but a line break.
    if (title.find_first_of("\r\n", at + 3) != std::string_view::npos) return {};
    return std::string(title.substr(at, 3));
}

LiveryData lf_procesIvaoFltSimSection(uint32_t priority, FltSimSection& section, const std::string& modelCode,
                                      const fs::path& cfgPath, const fs::path& folder) {
    lf_dropTrailingCommentLines(section);
    if (section.empty()) return {};
    const std::string& header = section.front();
    const std::string folderText = folder.string();
    bool withW = false;
    for (const auto name : kWingletFolders)
        if (gf_contains(folderText, name)) withW = true;

    std::string title, parkingTypes, registration, texture;
    for (const std::string& line : section) {
        std::string value;
        if (title.empty()) {
            if (lf_cfgTitle(line, value)) {
                title = gf_trim(value);
                if (title.size() < value.size())
                    gf_log(fmt::format("removed spaces around title '{}' --> '{}'", value, title));
                continue;
            }
        } else if (lf_cfgTitle(line, value)) {
            lf_addIncompleteSectionLine(folderText + " " + header + " has more than one title key");
            return {};
        }
        if (parkingTypes.empty()) {
            if (lf_cfgAtcParkingTypes(line, parkingTypes)) {
                gf_tidyCommaList(parkingTypes);
                parkingTypes = gf_toUpperAscii(std::move(parkingTypes));
                continue;
            }
        } else if (lf_hasAtcParkingTypesKey(line)) {
            lf_addIncompleteSectionLine(folderText + " " + header + " has more than one atc_parking_types key");
            return {};
        }
        if (registration.empty()) {
            if (lf_cfgAtcId(line, value)) {
                if (!lf_registrationOfAtcId(value, registration))
                    lf_addIncompleteSectionLine(fmt::format("invalid atc_id={} in {}", value, title));
                continue;
            }
        } else if (lf_hasAtcIdKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return {};
        }
        if (texture.empty() && lf_cfgTexture(line, texture)) continue;
    }

    const std::string textureName = "texture." + texture;
    if (!lf_textureFolderExists(folder, textureName)) {
        lf_addIncompleteSectionLine((folder / textureName).string() + " " + header + " does not exist");
        return {};
    }
    if (title.empty()) {
        lf_addIncompleteSectionLine(folderText + " " + header + " misses title");
        return {};
    }
    for (const auto& dontUse : gDontUseTitles)
        if (dontUse == title) return {};

    const std::string code = lf_airlineFromIvaoTitle(title, modelCode, withW);
    LiveryKey key;
    if (!code.empty()) {
        if (!gf_isKnownAirlineCode(code)) {
            lf_addInvalidAirline(code, cfgPath, header);
            return {};
        }
        if (code == kGenericOperatorCode) registration.clear();
        key.operatorIndex = gf_airlineIndex(code);
        key.modelIndex = gf_modelIndex(modelCode);
    } else {
        const auto found = registration.empty() ? std::nullopt : gf_lookupRegistration(registration);
        // A record without operator or model makes no livery: it counts as unknown.
        if (!found || found->operatorIndex == 0 || found->modelIndex == 0) {
            lf_addIncompleteSectionLine(folderText + " " + header + " misses airlinecode in title: " + title +
                                        (registration.empty() ? ", and no regcode" : ", and regcode unknown " + registration));
            return {};
        }
        key = *found;
    }
    if (key.operatorIndex == 0 || key.modelIndex == 0) return {}; // not claimed: a full code table
    return lf_makeLiveryData(static_cast<uint16_t>(priority), key, title, registration,
                             folderText + " " + header + " title already exists: " + title);
}

} // namespace tamrix
