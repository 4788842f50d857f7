// Package manifests above a scenery file, and the publisher and airport code the scan takes from
// the file's path, its name and its package.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "airports/package_manifest.hpp"
#include "airports/scan_log.hpp"
#include "airports_test_support.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"

namespace fs = std::filesystem;
using namespace tamrix;

namespace {

constexpr const char* kManifest = R"({
  "dependencies": [],
  "content_type": "SCENERY",
  "title": "Amsterdam Schiphol EHAM",
  "manufacturer": "MyCo",
  "creator": "MyCo Scenery Team",
  "package_version": "1.2.3",
  "version": "9",
  "release_notes": { "neutral": { "LastUpdate": "" } }
})";

class Manifests : public airportstest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        for (const char* code : {"EHAM", "EDDF", "KJFK", "XYZW"})
            gRtAirportCodes.insert(FixedCode<4>(code));
        for (const char* code : {"EHAM", "EDDF", "KJFK", "LFPG"})
            gAirportCodes.insert(FixedCode<4>(code));
        gPublishers = {{"Orbx", "orbx-"}, {"MyCo", "MyCo Scenery Team"}, {"Flightbeam"}};
    }

    fs::path package(const std::string& name, const std::string& manifest = kManifest) {
        const fs::path top = folder_.path() / "Community" / name;
        testsupport::writeFile(top / "manifest.json", manifest);
        testsupport::writeFile(top / "layout.json", "{}");
        return top;
    }

    static ScannedAirport source(const fs::path& p) {
        ScannedAirport a;
        a.sourcePath = p;
        a.BGLpath = p.string();
        return a;
    }

    static bool scanLogHas(const std::string& line) {
        return std::find(gScanLog.begin(), gScanLog.end(), line) != gScanLog.end();
    }
};

TEST_F(Manifests, ManifestIsFoundUpToSevenFoldersUpAndReadsFourFields) {
    const fs::path top = package("myco-scenery");
    const auto m = gf_searchManifest(top / "scenery/myco/a.bgl");
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, (PackageManifest{"Amsterdam Schiphol EHAM", "1.2.3", "MyCo", "MyCo Scenery Team"}));
    // The package folder itself holds its own manifest (streamed packages are scanned as folders).
    EXPECT_TRUE(gf_searchManifest(top));
    // Seven folders: the file's own and six above it.
    EXPECT_TRUE(gf_searchManifest(top / "1/2/3/4/5/6/x.bgl"));
    EXPECT_FALSE(gf_searchManifest(top / "1/2/3/4/5/6/7/x.bgl"));
    // "Manifest.json" is not the name.
    const fs::path other = folder_.path() / "Community/other";
    testsupport::writeFile(other / "Manifest.json", kManifest);
    testsupport::writeFile(other / "manifest.json.bak", kManifest);
    EXPECT_FALSE(gf_searchManifest(other / "x.bgl"));
    // Not in the scanned folder, nor above it: those are no package of the scan.
    const fs::path community = folder_.path() / "Community";
    testsupport::writeFile(community / "manifest.json", kManifest);
    EXPECT_TRUE(gf_searchManifest(other / "x.bgl"));
    EXPECT_FALSE(gf_searchManifest(other / "x.bgl", community));
    EXPECT_FALSE(gf_searchManifestAboveFile(other / "x.bgl", community));
    EXPECT_FALSE(gf_searchManifest(community, community));
    EXPECT_TRUE(gf_searchManifestAboveFile(top / "scenery/a.bgl", community / ""));
}

TEST_F(Manifests, VersionFallsBackAndBadManifestsGiveNothing) {
    EXPECT_EQ(gf_manifestFromText(R"({"package_version":"","version":"9"})")->version, "9");
    EXPECT_EQ(gf_manifestFromText(R"({"version":"9"})")->version, "9");
    EXPECT_EQ(*gf_manifestFromText("{}"), PackageManifest{});
    EXPECT_FALSE(gf_manifestFromText(R"(["title"])"));

    // The first manifest found ends the search when it is damaged: logged, no result.
    const fs::path broken = package("broken", R"({"title": "x)");
    EXPECT_FALSE(gf_searchManifest(broken / "scenery/x.bgl"));
    EXPECT_EQ(logged("exception in gf_searchManifest: ").size(), 1u);
    const fs::path numeric = package("numeric", R"({"title": "x", "version": 1})");
    EXPECT_FALSE(gf_searchManifest(numeric / "scenery/x.bgl"));
    EXPECT_EQ(logged("exception in gf_searchManifest: ").size(), 2u);
    // An empty file and an array are no manifests; the search goes on upward.
    const fs::path outer = package("outer");
    testsupport::writeFile(outer / "inner/manifest.json", "");
    testsupport::writeFile(outer / "inner/deeper/manifest.json", "[1,2]");
    EXPECT_EQ(gf_searchManifest(outer / "inner/deeper/x.bgl")->title, "Amsterdam Schiphol EHAM");
}

// Names that are no manifest file are passed over, a path through a file ends like a missing
// folder, and the seven folders are counted alike with and without a scan's folder memory.
TEST_F(Manifests, OnlyARegularFileIsAManifestAndTheSearchCountsFoldersAlikeWithinAScan) {
    const fs::path top = package("odd-scenery");
    fs::create_directories(top / "a/manifest.json");
    fs::create_directories(top / "a/b/c");
    ASSERT_EQ(::mkfifo((top / "a/b/manifest.json").c_str(), 0600), 0); // never waited on
    testsupport::writeFile(top / "a/b/c/apt.bgl", "BGL");
    fs::create_directories(top / "1/2/3/4/5/6/7");
    for (const bool inScan : {false, true, true}) {
        SCOPED_TRACE(inScan);
        std::optional<ManifestSearchScope> scan;
        if (inScan) scan.emplace();
        EXPECT_EQ(gf_searchManifest(top / "a/b/c/apt.bgl")->title, "Amsterdam Schiphol EHAM");
        EXPECT_TRUE(gf_searchManifest(top / "a/b/c/apt.bgl/inner.bgl"));
        // An existing folder is the first of the seven, a file or a missing name is not.
        EXPECT_TRUE(gf_searchManifest(top / "1/2/3/4/5/6"));
        EXPECT_FALSE(gf_searchManifest(top / "1/2/3/4/5/6/7"));
        EXPECT_TRUE(gf_searchManifest(top / "1/2/3/4/5/6/x.bgl"));
        EXPECT_TRUE(gf_searchManifestAboveFile(top / "1/2/3/4/5/6/x.bgl"));
        EXPECT_FALSE(gf_searchManifestAboveFile(top / "1/2/3/4/5/6/7/x.bgl"));
        EXPECT_EQ(gf_searchManifestAboveFile(top / "a/b/c/apt.bgl")->title, "Amsterdam Schiphol EHAM");
        EXPECT_EQ(lf_findManifestIn(top), top / "manifest.json");
        EXPECT_TRUE(lf_findManifestIn(top / "a").empty());
        EXPECT_TRUE(lf_findManifestIn(top / "a/b").empty());
    }
    EXPECT_TRUE(logged("exception in gf_searchManifest").empty());

    // A scan's folders keep where the manifest is, not what it said: each search reads it anew.
    // A line that is not UTF-8 is read in the ANSI code page, with one log line.
    const ManifestSearchScope scan;
    EXPECT_EQ(gf_searchManifest(top)->creator, "MyCo Scenery Team");
    testsupport::writeFile(top / "manifest.json", "{\"creator\": \"Caf\xE9\"}");
    EXPECT_EQ(gf_searchManifest(top / "a/b/c/apt.bgl")->creator, "Caf\xC3\xA9");
    EXPECT_EQ(gf_searchManifest(top)->creator, "Caf\xC3\xA9");
    EXPECT_EQ(logged("not UTF-8, read in the ANSI code page").size(), 2u);

    if (::geteuid() == 0) return; // root lists and reads everything
    // A package folder that may be entered but not listed shows no manifest; nor does a file the
    // user may not read. Neither is an error.
    const fs::path hidden = package("hidden-scenery");
    const fs::path unreadable = package("unreadable-scenery");
    fs::permissions(hidden, fs::perms::owner_exec);
    fs::permissions(unreadable / "manifest.json", fs::perms::none);
    EXPECT_FALSE(gf_searchManifestAboveFile(hidden / "a.bgl"));
    EXPECT_FALSE(gf_searchManifest(unreadable / "a.bgl"));
    fs::permissions(hidden, fs::perms::owner_all);
    EXPECT_TRUE(logged("exception in gf_searchManifest").empty());
}

TEST_F(Manifests, PublisherComesFromMarkerPathManufacturerOrCreator) {
    ScannedAirport stock = source(folder_.path() / "Official/OneStore/Microsoft-Airport-EDDF/scenery/a.bgl");
    gf_detectPublisher(stock);
    EXPECT_EQ(stock.publisher, "simaddon");
    EXPECT_FALSE(stock.package);

    ScannedAirport byPath = source(folder_.path() / "Community/orbx-scenery-eham/a.bgl");
    gf_detectPublisher(byPath);
    EXPECT_EQ(byPath.publisher, "Orbx");
    EXPECT_TRUE(scanLogHas("publisher: Orbx"));

    ScannedAirport byManufacturer = source(package("vendor-eham") / "scenery/a.bgl");
    gf_detectPublisher(byManufacturer);
    EXPECT_EQ(byManufacturer.publisher, "MyCo");
    ASSERT_TRUE(byManufacturer.package);
    EXPECT_EQ(byManufacturer.package->version, "1.2.3");
    EXPECT_TRUE(scanLogHas("publisher 'MyCo'"));

    ScannedAirport byCreator =
        source(package("beam-kjfk", R"({"manufacturer":"Unknown Ltd","creator":"Flightbeam Studios"})") / "a.bgl");
    gf_detectPublisher(byCreator);
    EXPECT_EQ(byCreator.publisher, "Flightbeam");

    ScannedAirport none = source(package("nobody", R"({"manufacturer":"A","creator":"B"})") / "a.bgl");
    gf_detectPublisher(none);
    EXPECT_TRUE(none.publisher.empty());
    EXPECT_TRUE(none.package);
}

TEST_F(Manifests, AirportCodeComesFromPathStemOrTitle) {
    uint8_t notSupported = 0;
    ScannedAirport inPath = source(folder_.path() / "Community/vendor-eham-amsterdam/scenery/apt.bgl");
    EXPECT_EQ(gf_airportCodeOfBgl(inPath, notSupported), FixedCode<4>("EHAM"));
    EXPECT_EQ(notSupported, 0);

    // Supported by the traffic source but not in the airports table.
    ScannedAirport unsupported = source(folder_.path() / "Community/field-xyzw/scenery/apt.bgl");
    EXPECT_FALSE(gf_airportCodeOfBgl(unsupported, notSupported));
    EXPECT_EQ(notSupported, 1);
    EXPECT_TRUE(scanLogHas("no supported airport 'XYZW' in BGL path"));

    notSupported = 0;
    // Known, but not a word the traffic source supports: found as the file's name only.
    ScannedAirport stem = source(folder_.path() / "Community/vendor/scenery/lfpg.bgl");
    EXPECT_EQ(gf_airportCodeOfBgl(stem, notSupported), FixedCode<4>("LFPG"));
    EXPECT_TRUE(scanLogHas("code 'LFPG' as stem"));

    ScannedAirport hyphen = source(folder_.path() / "Community/vendor/scenery/ab-c.bgl");
    EXPECT_FALSE(gf_airportCodeOfBgl(hyphen, notSupported));
    EXPECT_EQ(notSupported, 0);
    EXPECT_EQ(gScanLog.back().rfind("Exception ", 0), 0u);

    ScannedAirport title = source(package("vendor-scenery") / "scenery/airport.bgl");
    EXPECT_EQ(gf_airportCodeOfBgl(title, notSupported), FixedCode<4>("EHAM"));
    EXPECT_TRUE(scanLogHas("airport has code 'EHAM' in title of manifest"));
    EXPECT_TRUE(title.package);
}

} // namespace
