#include "liveries/model_code_resolution.hpp"

#include <charconv>
#include <cstdint>
#include <locale>
#include <regex>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/text_encoding.hpp"
#include "liveries/aircraft_cfg_parser.hpp"
#include "liveries/scan_collectors.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"

namespace tamrix {

namespace {

constexpr int32_t kMaxFltsimNumber = 10000;

std::string lf_checkModelCode(const std::string& candidate, const std::filesystem::path& cfgPath) {
    if (!candidate.empty() && gAircraftCodes.contains(candidate)) return candidate;
    if (const auto fix = gModelFixes.find(candidate); fix != gModelFixes.end()) {
        lf_addFixLine(fmt::format("Model fix: {} found in {} changed into {}", candidate, cfgPath.string(), fix->second));
        return fix->second;
    }
    lf_addInvalidModel(candidate, cfgPath);
    return {};
}

// A pattern that ignores letter case as ASCII does, whatever the program's locale.
std::regex lf_caseBlindPattern(const char* pattern) {
    std::regex compiled;
    compiled.imbue(std::locale::classic());
    compiled.assign(pattern, std::regex::ECMAScript | std::regex::icase);
    return compiled;
}

template <typename Parser>
std::string lf_firstNonEmpty(const std::vector<std::string>& lines, Parser parse) {
    for (const auto& line : lines) {
        std::string code = parse(line);
        if (!code.empty()) return code;
    }
    return {};
}

} // namespace

std::string lf_modelOfCfg(const std::filesystem::path& cfgPath, const std::vector<std::string>& lines) {
    const std::string code = lf_firstNonEmpty(lines, lf_cfgIcaoTypeDesignator);
    if (!code.empty()) return lf_checkModelCode(code, cfgPath);
    return lf_modelFromBaseContainer(cfgPath, lines);
}

std::string lf_modelFromBaseContainer(const std::filesystem::path& cfgPath, const std::vector<std::string>& lines) {
    const std::string code = lf_firstNonEmpty(lines, lf_cfgBaseContainerModel);
    if (!code.empty()) return lf_checkModelCode(code, cfgPath);
    const std::string pathText = cfgPath.string();
    if (pathText.find("pmdg-aircraft-7") == std::string::npos && pathText.find("fnx-aircraft-3") == std::string::npos)
        lf_addInvalidCfgLine("Line icao_type_designator= is missing in [General] section of " + pathText);
    return {};
}

std::string lf_ivaoModelFromPath(const std::filesystem::path& cfgPath) {
    // Matched on the Windows form of the path, as the packages name their folders there.
    static const std::regex kMtl =
        lf_caseBlindPattern(R"(.+\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_(\w+)\\aircraft.cfg$)");
    static const std::regex kCsl =
        lf_caseBlindPattern(R"(.+\\ivao_x-csl\\SimObjects\\Airplanes\\IVAO_(\w+)\\aircraft.cfg$)");
    const std::string text = gf_windowsTextOfPath(cfgPath);
    std::smatch match;
    if (!std::regex_match(text, match, kMtl) && !std::regex_match(text, match, kCsl)) {
        lf_addInvalidModel("  ", cfgPath);
        return {};
    }
    std::string candidate = match[1].str();
    if (candidate.size() > 4) candidate.resize(4);
    return lf_checkModelCode(candidate, cfgPath);
}

bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::filesystem::path& cfgPath) {
    bool anyHeader = false;
    bool outOfRange = false;
    for (const auto& line : lines) {
        const std::string text = lf_cfgFltsimNumber(line);
        if (text.empty()) continue;
        int32_t number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc()) {
            // Too large for a section number: the file is as invalid as one with a number above
            // the limit, and is listed with those.
            gf_logHighlighted(fmt::format("fltsim num {} incorrect in {}", text, gf_pathToUtf8Lossy(cfgPath)));
            lf_addInvalidCfgLine(fmt::format("{} contains a [fltsim.x] section with a number < 0 or > {}",
                                             cfgPath.string(), kMaxFltsimNumber));
            return false;
        }
        anyHeader = true;
        if (number < 0 || number > kMaxFltsimNumber) outOfRange = true;
    }
    if (!anyHeader) {
        gEmptyCfgLines.add(cfgPath.string());
        return true;
    }
    if (outOfRange) {
        lf_addInvalidCfgLine(fmt::format("{} contains a [fltsim.x] section with a number < 0 or > {}", cfgPath.string(),
                                         kMaxFltsimNumber));
        return false;
    }
    return true;
}

} // namespace tamrix
