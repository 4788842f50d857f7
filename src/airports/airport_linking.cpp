#include "airports/airport_linking.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "airports/airport_file.hpp"
#include "airports/airport_file_names.hpp"
#include "airports/package_manifest.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/scan_log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/text_files.hpp"
#include "links/airport_file_header.hpp"
#include "refdata/dbase.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {
namespace {

constexpr std::string_view kSimaddonPublisher = "simaddon";

FixedCode<4> codeOf(const std::optional<FixedCode<4>>& code) { return code.value_or(FixedCode<4>{}); }

const std::filesystem::path& userFolderOf(std::string_view publisher) {
    const ProgramPaths& paths = gf_paths();
    return publisher == kSimaddonPublisher ? paths.mySimaddonFolder : paths.myThirdpartyFolder;
}

std::string utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

void logFailedWrite(const std::filesystem::path& path) {
    gScanLog.push_back(fmt::format("{}Writing {} did not succeed", "===> ", utf8Text(path)));
}

// The link file holds the one line; its folder is made when the scan has not made it yet.
bool writeLinkFile(const std::filesystem::path& folder, const FixedCode<4>& code, const std::string& target) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::filesystem::path path = folder / gf_apfLinkName(code);
    if (gf_writeTextFile(target, path)) return true;
    logFailedWrite(path);
    return false;
}

AirportFileHeader headerOf(const ScannedAirport& airport) {
    AirportFileHeader header;
    header.icao = airport.icao;
    header.airportName = airport.airportName;
    header.altitude = airport.altitude;
    header.facilities = airport.facilities;
    header.BGLpath = airport.BGLpath;
    header.sourcePath = airport.sourcePath;
    header.publisher = airport.publisher;
    if (airport.package) {
        header.package = 1;
        header.title = airport.package->title;
        header.version = airport.package->version;
        header.manufacturer = airport.package->manufacturer;
        header.creator = airport.package->creator;
    }
    header.stands = airport.stands;
    return header;
}

} // namespace

bool lf_linkArchivedApf(ScannedAirport& airport) {
    if (airport.publisher.empty()) gf_detectPublisher(airport);
    if (airport.publisher.empty()) return false;
    const FixedCode<4> code = codeOf(airport.icao);
    if (airport.publisher == kSimaddonPublisher) {
        const std::optional<std::string> target = lf_simaddonLinkTarget(airport.icao);
        if (!target || !writeLinkFile(gf_paths().mySimaddonFolder, code, *target)) return false;
        gScanLog.push_back(fmt::format("{} airport {} linked to {}\n", kSimaddonPublisher, code.text(), *target));
        return true;
    }
    const std::optional<std::string> target = lf_thirdpartyLinkTarget(airport);
    if (!target || !writeLinkFile(gf_paths().myThirdpartyFolder, code, *target)) return false;
    gScanLog.push_back(fmt::format("thirdparty airport {} linked to {}\n", code.text(), *target));
    return true;
}

std::optional<std::string> lf_simaddonLinkTarget(const std::optional<FixedCode<4>>& code) {
    const FixedCode<4> known = codeOf(code);
    const CodeSet& listed = gIsMsfs2020.load() ? gSimaddons20 : gSimaddons24;
    if (known.isSet() && listed.contains(known.text()))
        return fmt::format("archive/{}/{}", kSimaddonPublisher, gf_apfName(known));
    gScanLog.push_back(fmt::format("{} does not exist as simaddon", known.text()));
    return std::nullopt;
}

std::optional<std::string> lf_thirdpartyLinkTarget(const ScannedAirport& airport) {
    std::string publisherFolder;
    for (char c : airport.publisher) {
        if (c == ' ')
            publisherFolder += "%20";
        else
            publisherFolder.push_back(c);
    }
    const std::string base = "archive/thirdparty/" + publisherFolder + "/";
    const FixedCode<4> code = codeOf(airport.icao);
    const bool msfs2020 = gIsMsfs2020.load();
    if (airport.package) {
        const std::string versioned = gf_apfVersionedName(code, airport.package->version);
        if (gf_isThirdpartyAirport(msfs2020, airport.publisher, versioned)) return base + versioned + ".xml";
    }
    if (gf_isThirdpartyAirport(msfs2020, airport.publisher, code.text())) return base + gf_apfName(code);
    gScanLog.push_back(fmt::format("thirdparty {} {} does not exist", airport.publisher, code.text()));
    return std::nullopt;
}

void lf_generateApf(ScannedAirport& airport, int32_t helipads) {
    const FixedCode<4> code = codeOf(airport.icao);
    // A stand the airport file's reader would skip is not written: the file holds what loads.
    std::erase_if(airport.stands, [&code](const StandRecord& stand) {
        const std::string problem = gf_standPositionProblem(stand.latitude, stand.longitude);
        if (!problem.empty()) gScanLog.push_back(fmt::format("{}: stand {} {}", code.text(), stand.id, problem));
        return !problem.empty();
    });
    const std::size_t n = airport.stands.size();
    if (n == 0) {
        gScanLog.push_back(fmt::format("{} has no stands", code.text()));
        return;
    }
    const std::filesystem::path& folder = userFolderOf(airport.publisher);
    const std::string extra = helipads < 1 ? std::string()
                                           : fmt::format(" of which {} helipad{}", helipads, gf_plural(helipads));
    const std::string name = gf_apfName(code);
    gScanLog.push_back(
        fmt::format("Generated {}: {} position{}{}", name, n, gf_plural(static_cast<uint64_t>(n)), extra));
    // std::string orders as unsigned bytes, a prefix before the longer text.
    std::stable_sort(airport.stands.begin(), airport.stands.end(),
                     [](const StandRecord& a, const StandRecord& b) { return a.id < b.id; });
    if (!std::filesystem::exists(folder)) std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / name;
    if (!gf_writeApf(headerOf(airport), path, kApfAirportMode, gf_simKind())) logFailedWrite(path);
}

} // namespace tamrix
