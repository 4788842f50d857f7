#pragma once
// Shared by the airport-file tests: each test runs in a fresh working folder with "Log.txt" open,
// the settings at their defaults (their file in its "roaming" folder), an airport table holding
// the fixture airports, no park airport, an empty stand table, and the download server pointed
// at the fixtures' server folder.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airport_file.hpp"
#include "airports/downloader.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/stand_options.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "support/temp_folder.hpp"
#include "traffic/live_traffic.hpp"

namespace apftest {

using namespace tamrix;

inline std::filesystem::path fixtures() { return std::filesystem::path(QUORVEL_SOURCE_DIR) / "tests/fixtures/airports"; }

inline void addAirport(std::string_view code, double lat, double lon, int32_t stands) {
    AirportRecord record;
    record.icaoCode = FixedCode<4>(code);
    record.latitude = lat;
    record.longitude = lon;
    record.standCount = stands;
    gAirports.push_back(record);
    std::sort(gAirports.begin(), gAirports.end(),
              [](const AirportRecord& a, const AirportRecord& b) { return a.icaoCode < b.icaoCode; });
    gAirportCodes.insert(record.icaoCode);
}

inline void resetAll() {
    gf_clearStandTable();
    gf_reserveStandTable();
    gf_resetLearnedUpdates();
    gf_resetParkAirportFile();
    gf_clearParkAirport();
    gf_clearAirports();
    gf_clearDbase();
    gf_resetSettings();
    gf_resetStatusLine();
    gLiveAircraft.clear();
    gIsMsfs2020.store(true);
    gf_setDownloadStallSeconds(kDefaultStallSeconds);
}

class AirportFileTest : public ::testing::Test {
protected:
    AirportFileTest() : folder_(true) {
        // The settings (DESTINATION, the range) lie in the test's own folder.
        ::setenv("QUORVEL_ROAMING_APPDATA", (folder_.path() / "roaming").c_str(), 1);
        std::filesystem::create_directories(folder_.path() / "roaming" / "Quorvel");
        gf_resetPaths();
        gf_openLog();
    }
    ~AirportFileTest() override { gf_closeLog(); }
    void SetUp() override {
        resetAll();
        ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + (fixtures() / "server/downloads").string()).c_str(), 1);
        addAirport("XQAA", 50.0, 8.0, 12);
        addAirport("XQAB", 50.03, 8.05, 2);
        addAirport("XQAZ", 55.0, 12.0, 0);
    }
    void TearDown() override {
        resetAll();
        ::unsetenv("QUORVEL_DOWNLOAD_BASE");
    }

    static void setPark(std::string_view code) {
        ParkAirport park;
        park.code = FixedCode<4>(code);
        gf_setParkAirport(park);
    }
    // Reads the park airport's file as the park-airport step does: the table emptied first.
    static std::string read(const std::string& name) {
        gf_clearStandTable();
        ParkAirportInfo info;
        QualityFactors quality;
        return gf_readApf(name, info, quality);
    }
    // The stand with that id; when there is none, the test fails and goes on with a blank stand
    // (a null pointer would end the whole test program at its first use).
    static StandRecord* stand(std::string_view id) {
        for (StandRecord& s : gStandTable)
            if (s.id == id) return &s;
        ADD_FAILURE() << "no stand " << id << " in the stand table";
        static StandRecord blank;
        blank = StandRecord{};
        return &blank;
    }
    static void copyFixture(std::string_view from, const std::filesystem::path& to) {
        testsupport::writeFile(to, testsupport::readFile(fixtures() / from));
    }
    static std::string fileText(const std::filesystem::path& p) { return testsupport::readFile(p); }

    static std::string logText() {
        gf_flushLog();
        return testsupport::readFile("Log.txt");
    }
    static bool logHas(std::string_view text) { return logText().find(text) != std::string::npos; }

    const testsupport::TempFolder& folder() const { return folder_; }

private:
    testsupport::TempFolder folder_;
};

} // namespace apftest
