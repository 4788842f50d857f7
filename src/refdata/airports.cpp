#include "refdata/airports.hpp"

#include <algorithm>
#include <iterator>
#include <atomic>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/string_helpers.hpp"
#include "core/user_error.hpp"
#include "refdata/encrypted_file.hpp"

namespace tamrix {
namespace fs = std::filesystem;

std::vector<AirportRecord> gAirports;
std::unordered_set<FixedCode<4>> gAirportCodes;
std::unordered_set<FixedCode<4>> gRtAirportCodes;

namespace {

constexpr uint32_t kAirportsErrorCode = 88;
constexpr double kClosestAirportRangeNm = 5.0;
constexpr double kNoStandNm = 100.0; // no stand distance could be had
constexpr double kSearchStartNm = 100.0;

bool gAirportsRead = false;
std::atomic<ClosestStandReader> gClosestStandReader{nullptr};

// Character order of a code: its first character in the highest byte.
uint32_t lf_codeOrder(const FixedCode<4>& code) {
    return __builtin_bswap32(code.value());
}

bool lf_codeLess(const AirportRecord& a, const AirportRecord& b) {
    return lf_codeOrder(a.icaoCode) < lf_codeOrder(b.icaoCode);
}

// A whole decimal number within +-limit, with or without its sign ("+10.5" as well as "-10.5");
// nothing for anything else.
std::optional<double> lf_coordinate(const char* text, double limit) {
    std::string_view trimmed = gf_trimView(text);
    // from_chars takes no plus sign; one before a digit or a point is the number's own.
    if (trimmed.size() > 1 && trimmed[0] == '+' && trimmed[1] != '-' && trimmed[1] != '+') trimmed.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (error != std::errc() || end != trimmed.data() + trimmed.size() || !std::isfinite(value) ||
        std::fabs(value) > limit) {
        return std::nullopt;
    }
    return value;
}

void lf_readAirport(const pugi::xml_node ap, const FixedCode<4>& code) {
    const pugi::xml_attribute la = ap.attribute("la");
    const pugi::xml_attribute lo = ap.attribute("lo");
    const pugi::xml_attribute alt = ap.attribute("a");
    const pugi::xml_attribute stands = ap.attribute("s");
    const pugi::xml_attribute code3 = ap.attribute("i");
    if (!la || !lo) {
        gf_logHighlighted(fmt::format("Missing latLons for airport '{}'", code.text()));
        return;
    }
    if (!alt) {
        gf_logHighlighted(fmt::format("Missing alt for airport '{}'", code.text()));
        return;
    }
    // An unreadable position would put the airport at 0,0 where it could be taken for the
    // closest airport.
    const auto latitude = lf_coordinate(la.value(), 90.0);
    const auto longitude = lf_coordinate(lo.value(), 180.0);
    if (!latitude || !longitude) {
        gf_logHighlighted(
            fmt::format("Invalid latLons for airport '{}': '{}' '{}'", code.text(), la.value(), lo.value()));
        return;
    }
    if (!stands) gf_logHighlighted(fmt::format("Missing stands for airport '{}'", code.text()));
    try {
        AirportRecord record;
        record.icaoCode = code;
        record.code3 = code3 ? FixedCode<3>(code3.value()) : FixedCode<3>("XXX");
        record.latitude = *latitude;
        record.longitude = *longitude;
        record.airportAltitude = alt.as_float(0.0f);
        record.standCount = stands.as_int(0);
        gAirports.push_back(record);
        gAirportCodes.insert(code);
    } catch (const std::exception& e) {
        gf_log(fmt::format("Error storing airport '{}' '{}': {}", code.text(), code3.value(), e.what()));
    }
}

double lf_closestStandNm(const FixedCode<4>& airport, GeoPosition position, std::string& standName) {
    const ClosestStandReader reader = gClosestStandReader.load(std::memory_order_acquire);
    return reader != nullptr ? reader(airport, position, standName) : kNoStandNm;
}

} // namespace

void gf_setClosestStandReader(ClosestStandReader reader) noexcept {
    gClosestStandReader.store(reader, std::memory_order_release);
}

bool gf_loadAirports() {
    const ProgramPaths& paths = gf_paths();
    return gf_loadAirports(paths.airportsEncPath, paths.airportsXmlPath);
}

bool gf_loadAirports(const fs::path& encPath, const fs::path& xmlPath) {
    // No plain form stays behind, however the read ends.
    struct PlainFileGuard {
        const fs::path& path;
        ~PlainFileGuard() { gf_removeFile(path); }
    } plain{xmlPath};

    gAirportsRead = false;
    gAirports.clear();
    gAirportCodes.clear();
    // The encrypted file is named with the cause, not the plain file that was never written.
    if (const auto problem = gf_decryptReferenceFile(encPath, xmlPath))
        throw UserErrorException(kAirportsErrorCode, *problem);
    try {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_file(xmlPath.c_str());
        if (!parsed)
            throw std::runtime_error(
                fmt::format("{} not loaded: {}", xmlPath.string(), parsed.description()));
        const pugi::xml_node airports = doc.child("root").child("airports");
        if (!airports)
            throw std::runtime_error(fmt::format("Missing <airports> root in: {}", xmlPath.string()));
        const auto rows = airports.children("ap");
        gAirports.reserve(static_cast<std::size_t>(std::distance(rows.begin(), rows.end())));
        for (const pugi::xml_node ap : rows) {
            lf_readAirport(ap, FixedCode<4>(ap.attribute("c").value()));
        }
        std::stable_sort(gAirports.begin(), gAirports.end(), lf_codeLess);
        gf_log(fmt::format("{:5} airports read", gAirports.size()));
    } catch (const std::exception& e) {
        // A partial table would be unsorted; lookups see none rather than some.
        gAirports.clear();
        gAirportCodes.clear();
        gAirports.shrink_to_fit();
        throw UserErrorException(kAirportsErrorCode, e.what());
    }
    gAirports.shrink_to_fit();
    gAirportsRead = true;
    return !gAirports.empty();
}

void gf_forgetAirportTable() {
    gAirportsRead = false;
    gAirports.clear();
    gAirportCodes.clear();
}

void gf_clearAirports() {
    gf_forgetAirportTable();
    gRtAirportCodes.clear();
    gf_setClosestStandReader(nullptr);
}

bool gf_readAirports() {
    if (gAirportsRead) return !gAirports.empty();
    return gf_loadAirports();
}

bool gf_isKnownAirport(const FixedCode<4>& code) {
    return gAirportCodes.contains(code);
}

const AirportRecord* gf_findAirport(const FixedCode<4>& code) {
    const uint32_t order = lf_codeOrder(code);
    const auto it =
        std::lower_bound(gAirports.begin(), gAirports.end(), order,
                         [](const AirportRecord& r, uint32_t o) { return lf_codeOrder(r.icaoCode) < o; });
    return (it != gAirports.end() && it->icaoCode == code) ? &*it : nullptr;
}

std::optional<FixedCode<4>> gf_findAirportCodeIn(std::string_view text) {
    const auto isWordChar = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    std::optional<FixedCode<4>> lastSupported;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!isWordChar(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && isWordChar(text[end]))
            ++end;
        if (end - i == 4) {
            const FixedCode<4> code(text.substr(i, 4)); // folds lower case
            if (gRtAirportCodes.contains(code)) {
                if (gf_isKnownAirport(code)) return code;
                lastSupported = code;
            }
        }
        i = end;
    }
    return lastSupported;
}

const AirportRecord* gf_closestAirport(GeoPosition position) {
    // One minute of latitude is one nautical mile: airports further north or south than the
    // range cannot be within it.
    constexpr double kLatitudeWindow = kClosestAirportRangeNm / 60.0 * 1.0001;
    const AirportRecord* chosen = nullptr;
    const AirportRecord* neighbour = nullptr;
    double chosenNm = kSearchStartNm;
    double neighbourNm = kSearchStartNm;
    for (const auto& airport : gAirports) {
        if (std::fabs(airport.latitude - position.latitude) > kLatitudeWindow) continue;
        const double nm = gf_distanceNm(position, {airport.latitude, airport.longitude});
        if (nm > kClosestAirportRangeNm) continue;
        if (nm < chosenNm) {
            neighbour = chosen;
            neighbourNm = chosenNm;
            chosen = &airport;
            chosenNm = nm;
        } else if (nm < neighbourNm) {
            neighbour = &airport;
            neighbourNm = nm;
        }
    }
    if (chosen == nullptr || neighbour == nullptr) return chosen;

    gf_log(fmt::format("Airport {} is closest, neighbour is {}", chosen->icaoCode.text(),
                       neighbour->icaoCode.text()));
    std::string chosenStand;
    std::string neighbourStand;
    const double chosenStandNm = lf_closestStandNm(chosen->icaoCode, position, chosenStand);
    const double neighbourStandNm = lf_closestStandNm(neighbour->icaoCode, position, neighbourStand);
    if (neighbourStandNm < chosenStandNm) {
        gf_log(fmt::format(
            "Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} meters ...",
            chosen->icaoCode.text(), neighbourStand, neighbour->icaoCode.text(), neighbourStandNm * 1852.0));
        return neighbour;
    }
    return chosen;
}

} // namespace tamrix
