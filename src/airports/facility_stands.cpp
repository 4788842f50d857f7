#include "airports/facility_stands.hpp"

#include <atomic>
#include <exception>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "airports/airport_linking.hpp"
#include "airports/airports_scan.hpp"
#include "airports/package_manifest.hpp"
#include "airports/scan_log.hpp"
#include "core/log.hpp"
#include "links/airport_file_header.hpp"
#include "links/facility_reader.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

// Manufacturer and creator both shorter than this: the package is only ever linked.
constexpr std::size_t kShortPackageField = 4;

std::atomic<int64_t> gWaitLimitMs{kFacilityWaitLimit.count()};

std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

} // namespace

void gf_setFacilityWaitLimit(std::chrono::milliseconds limit) { gWaitLimitMs.store(limit.count()); }

std::chrono::milliseconds gf_facilityWaitLimit() { return std::chrono::milliseconds(gWaitLimitMs.load()); }

bool gf_readScannedAirportStands(const FixedCode<4>& code, ScannedAirport& airport, int32_t& helipads) {
    AirportFileHeader header;
    uint32_t count = 0;
    try {
        if (!gf_readFacilityStands(code.text(), header, count, gf_facilityWaitLimit())) return false;
    } catch (const std::exception& e) {
        // The simulator refused the request with an exception: the reader has closed the
        // connection; this airport goes the way of any other failed read.
        gf_logHighlighted(fmt::format("Facility data of {} refused: {}", code.text(), e.what()));
        return false;
    }
    airport.icao = header.icao;
    airport.airportName = std::move(header.airportName);
    airport.altitude = header.altitude;
    airport.facilities = header.facilities;
    airport.stands = std::move(header.stands);
    helipads = static_cast<int32_t>(count);
    return true;
}

bool lf_readFacilities(const fs::path& path, const fs::path& scannedFolder) {
    ScannedAirport airport;
    airport.sourcePath = path;
    airport.BGLpath = utf8Text(path);
    airport.scannedFolder = scannedFolder;
    gScanLog.push_back(fmt::format("\nFac: {}", airport.BGLpath));
    airport.package = gf_searchManifestAboveFile(path, scannedFolder);

    uint8_t notSupported = 0;
    const auto code = gf_airportCodeOfBgl(airport, notSupported);
    if (!code) return notSupported != 0;
    airport.icao = *code;
    gf_showScanProgress(*code);
    if (lf_linkArchivedApf(airport)) {
        gf_showUserFolderCounts(true, true);
        return true;
    }
    if (airport.package && airport.package->manufacturer.size() < kShortPackageField &&
        airport.package->creator.size() < kShortPackageField)
        return false;

    int32_t helipads = 0;
    if (gf_readScannedAirportStands(*code, airport, helipads)) {
        lf_generateApf(airport, helipads);
        gf_showUserFolderCounts(true, true);
        return true;
    }
    lf_reportFailedFacilityRead(*code);
    return false;
}

} // namespace tamrix
