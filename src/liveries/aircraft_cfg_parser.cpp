#include "liveries/aircraft_cfg_parser.hpp"

#include "core/string_helpers.hpp"
#include "liveries/stock_aircraft.hpp"

namespace tamrix {

namespace {

constexpr std::size_t kNpos = std::string_view::npos;

bool lf_isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t lf_skipBlanks(std::string_view line, std::size_t at) noexcept {
    while (at < line.size() && lf_isBlank(line[at])) ++at;
    return at;
}

// The word (lower-case ASCII) at `at`, compared without regard to case; the position after it.
std::size_t lf_matchWord(std::string_view line, std::size_t at, std::string_view lowerWord) noexcept {
    if (line.size() - at < lowerWord.size()) return kNpos;
    for (std::size_t i = 0; i < lowerWord.size(); ++i)
        if (gf_toLowerChar(line[at + i]) != lowerWord[i]) return kNpos;
    return at + lowerWord.size();
}

// From `at` on: the value up to its last non-blank, followed by blanks only. The value may not
// hold a CR or LF between its first and last non-blank.
bool lf_matchValueToEnd(std::string_view line, std::size_t at, std::string_view& value) noexcept {
    const std::size_t first = lf_skipBlanks(line, at);
    if (first == line.size()) return false;
    std::size_t last = line.size() - 1;
    while (lf_isBlank(line[last])) --last;
    for (std::size_t i = first; i <= last; ++i)
        if (line[i] == '\r' || line[i] == '\n') return false;
    value = line.substr(first, last - first + 1);
    return true;
}

std::string lf_quotedValue(std::string_view line, std::string_view key) {
    return lf_applyQuoteRule(lf_cfgValue(line, key));
}

bool lf_nonEmptyValue(std::string_view line, std::string_view key, std::string& out, std::size_t minLength) {
    std::string value = lf_quotedValue(line, key);
    if (value.empty() || value.size() < minLength) return false;
    out = std::move(value);
    return true;
}

} // namespace

std::string lf_cfgValue(std::string_view line, std::string_view key) {
    std::size_t at = lf_skipBlanks(line, 0);
    at = lf_matchWord(line, at, key);
    if (at == kNpos) return {};
    at = lf_skipBlanks(line, at);
    if (at == line.size() || line[at] != '=') return {};
    std::string_view value;
    if (!lf_matchValueToEnd(line, at + 1, value)) return {};
    return std::string(value);
}

std::string lf_applyQuoteRule(std::string value) {
    const std::size_t open = value.find('"');
    if (open == std::string::npos) return value;
    const std::size_t close = value.find('"', open + 1);
    if (close == std::string::npos || close == open + 1) return {};
    return value.substr(open + 1, close - open - 1);
}

bool lf_cfgTitle(std::string_view line, std::string& out) { return lf_nonEmptyValue(line, "title", out, 1); }
bool lf_cfgTexture(std::string_view line, std::string& out) { return lf_nonEmptyValue(line, "texture", out, 1); }
bool lf_cfgAtcParkingTypes(std::string_view line, std::string& out) {
    return lf_nonEmptyValue(line, "atc_parking_types", out, 1);
}
bool lf_cfgAtcId(std::string_view line, std::string& out) { return lf_nonEmptyValue(line, "atc_id", out, 5); }

bool lf_cfgIcaoAirline(std::string_view line, std::string& out) {
    std::string raw = lf_cfgValue(line, "icao_airline");
    if (raw.empty()) return false;
    std::string value = lf_applyQuoteRule(std::move(raw));
    out = (value.empty() || value == "ZZZZ") ? std::string(kGenericOperatorCode) : gf_toUpperAscii(std::move(value));
    return true;
}

std::string lf_cfgBaseContainerModel(std::string_view line) {
    const std::string value = lf_quotedValue(line, "base_container");
    if (value.size() < 4) return {};
    return gf_toUpperAscii(gf_stockAircraftType(std::string_view(value).substr(3)));
}

std::string lf_cfgIcaoTypeDesignator(std::string_view line) {
    std::string value = lf_quotedValue(line, "icao_type_designator");
    if (value.size() > 4) value.resize(4);
    return gf_toUpperAscii(std::move(value));
}

std::string lf_cfgFltsimNumber(std::string_view line) {
    if (line.size() >= 2 && line.substr(0, 2) == "//") return {};
    std::size_t at = lf_matchWord(line, lf_skipBlanks(line, 0), "[fltsim.");
    if (at != kNpos) {
        const std::size_t digits = at;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
        if (at > digits && at < line.size() && line[at] == ']' && lf_skipBlanks(line, at + 1) == line.size())
            return std::string(line.substr(digits, at - digits));
    }
    if (line.find("[fltsim.") != kNpos || line.find("[FLTSIM.") != kNpos) return "10000";
    return {};
}

bool lf_registrationOfAtcId(std::string_view value, std::string& registration) {
    constexpr std::size_t kMaxRegistrationLength = 12;
    const auto pieces = gf_split(value, ',');
    if (pieces.empty()) return false;
    for (const auto& piece : pieces)
        if (piece.size() > kMaxRegistrationLength || piece.find('*') != std::string::npos) return false;
    if (pieces.size() == 1) registration = pieces.front();
    return true;
}

bool lf_hasAtcIdKey(std::string_view line) { return line.find("atc_id=") != kNpos; }
bool lf_hasAtcParkingTypesKey(std::string_view line) { return line.find("atc_parking_types") != kNpos; }

} // namespace tamrix
