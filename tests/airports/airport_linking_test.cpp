// The last step of the airports scan: an airport found in a scenery package either gets a link
// file that names the archived airport file (which the park airport search then finds), or an
// airport file generated from its stands (which the stand reader reads back).
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/airport_file.hpp"
#include "airports/airport_file_names.hpp"
#include "airports/airport_linking.hpp"
#include "airports/bgl_file.hpp"
#include "airports/scan_log.hpp"
#include "airports_test_support.hpp"
#include "bglgen/bgl_writer.hpp"
#include "core/run_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"

namespace fs = std::filesystem;
using namespace tamrix;

namespace {

// EHAM with a helipad and two parking spots, then KJFK without stands.
constexpr const char* kTwoAirports = R"(
section
airport code=EHAM alt=-3000
  helipad lat=52.30 lon=4.76 width=20
  parking
    spot name=13 number=4 lat=52.3082 lon=4.7632
    spot name=12 number=3 lat=52.3081 lon=4.7631
airport code=KJFK
)";

class Linking : public airportstest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        for (const char* code : {"EHAM", "KJFK", "LFPG", "EDDK"})
            gAirportCodes.insert(FixedCode<4>(code));
        gPublishers = {{"MyCo", "MyCo Scenery Team"}, {"My Scenery Co"}};
        gSimaddons24 = {"LFPG"};
        gThirdparties24 = {{"MyCo", {"EHAM123", "KJFK"}}, {"My Scenery Co", {"EHAM"}}};
        gIsMsfs2020.store(false);
        gf_clearStandTable();
    }
    void TearDown() override {
        gf_clearStandTable();
        ProgramFolder::TearDown();
    }

    // A package with the manifest and one BGL file of the description; the scan's steps run on it.
    void scanPackage(const std::string& name, const std::string& manifest, const std::string& description) {
        const fs::path top = folder_.path() / "Community" / name;
        testsupport::writeFile(top / "manifest.json", manifest);
        const auto bytes = bglgen::writeBgl(bglgen::parseDescription(description));
        testsupport::writeFile(top / "scenery/apt.bgl", std::string(bytes.begin(), bytes.end()));
        lf_processBGLfile(top / "scenery/apt.bgl", BglAirportSteps{lf_linkArchivedApf, lf_generateApf},
                          folder_.path() / "Community");
    }

    static ScannedAirport airport(const char* code, const std::string& publisher,
                                  std::vector<const char*> standIds = {}) {
        ScannedAirport a;
        a.icao = FixedCode<4>(code);
        a.publisher = publisher;
        a.sourcePath = fs::path("Community") / "pkg" / "apt.bgl";
        a.BGLpath = a.sourcePath.string();
        double latitude = 50.0;
        for (const char* id : standIds) {
            StandRecord stand;
            stand.id = id;
            stand.latitude = latitude += 0.001;
            stand.longitude = 7.0;
            stand.radius = 0.01;
            a.stands.push_back(stand);
        }
        return a;
    }

    static bool scanLogHas(const std::string& line) {
        return std::find(gScanLog.begin(), gScanLog.end(), line) != gScanLog.end();
    }

    // The generated file's parameter, and its stands as the stand reader takes them in.
    struct Generated {
        pugi::xml_document document;
        std::string parameter(const char* name) const {
            return document.child("root").child("parameters").find_child_by_attribute("name", name).attribute("value").as_string("<none>");
        }
        std::vector<std::string> readIds() const {
            gf_clearStandTable();
            lf_readStands(document);
            std::vector<std::string> ids;
            for (const StandRecord& s : gStandTable)
                ids.push_back(s.id);
            return ids;
        }
    };
    static void load(Generated& g, const fs::path& path) {
        ASSERT_TRUE(g.document.load_file(path.c_str())) << path;
    }
};

TEST_F(Linking, ListedAirportsAreLinkedToTheArchivedFileTheParkAirportSearchFinds) {
    // The manufacturer names the publisher; EHAM is listed with the package's version, KJFK bare.
    scanPackage("myco-amsterdam", R"({"title":"Schiphol","manufacturer":"MyCo","creator":"MyCo","package_version":"1.2.3"})",
                kTwoAirports);
    const fs::path thirdparty = folder_.path() / "airports/my_thirdparty";
    EXPECT_EQ(testsupport::readFile(thirdparty / "EHAM.txt"), "archive/thirdparty/MyCo/EHAM123.xml\n");
    EXPECT_EQ(testsupport::readFile(thirdparty / "KJFK.txt"), "archive/thirdparty/MyCo/KJFK.xml\n");
    EXPECT_FALSE(fs::exists(thirdparty / "EHAM.xml")); // linked airports get no generated file
    EXPECT_TRUE(scanLogHas("thirdparty airport EHAM linked to archive/thirdparty/MyCo/EHAM123.xml\n"));
    EXPECT_EQ(gf_locateApf(FixedCode<4>("EHAM")), "archive/thirdparty/MyCo/EHAM123.xml");

    // Blanks of the publisher are escaped in the path only.
    ScannedAirport blanks = airport("EHAM", "My Scenery Co");
    EXPECT_TRUE(lf_linkArchivedApf(blanks));
    EXPECT_EQ(testsupport::readFile(thirdparty / "EHAM.txt"), "archive/thirdparty/My%20Scenery%20Co/EHAM.xml\n");
    ScannedAirport unlisted = airport("EDDK", "My Scenery Co");
    EXPECT_FALSE(lf_linkArchivedApf(unlisted));
    EXPECT_TRUE(scanLogHas("thirdparty My Scenery Co EDDK does not exist"));

    // The simulator's own add-ons: the stock marker in the path makes the publisher "simaddon".
    ScannedAirport stock = airport("LFPG", "");
    stock.sourcePath = folder_.path() / "Official/OneStore/microsoft-airport-lfpg/scenery/lfpg.bgl";
    stock.BGLpath = stock.sourcePath.string();
    EXPECT_TRUE(lf_linkArchivedApf(stock));
    EXPECT_EQ(testsupport::readFile(folder_.path() / "airports/my_simaddon/LFPG.txt"), "archive/simaddon/LFPG.xml\n");
    EXPECT_TRUE(scanLogHas("simaddon airport LFPG linked to archive/simaddon/LFPG.xml\n"));
    gIsMsfs2020.store(true); // listed for the other simulator only
    EXPECT_FALSE(lf_simaddonLinkTarget(FixedCode<4>("LFPG")));
    EXPECT_TRUE(scanLogHas("LFPG does not exist as simaddon"));
}

TEST_F(Linking, UnlinkedAirportsGetAFileOfTheirStandsSortedById) {
    // No publisher for this package: never linked, generated into the thirdparty folder with the
    // source and the package's makers.
    scanPackage("nobody-amsterdam", R"({"title":"EHAM","manufacturer":"Nobody Ltd","creator":"Nobody Ltd"})",
                kTwoAirports);
    EXPECT_TRUE(scanLogHas("Generated EHAM.xml: 3 positions of which 1 helipad"));
    EXPECT_TRUE(scanLogHas("KJFK has no stands"));
    EXPECT_FALSE(fs::exists(folder_.path() / "airports/my_thirdparty/KJFK.xml"));
    EXPECT_EQ(gf_locateApf(FixedCode<4>("EHAM")), "airports\\my_thirdparty\\EHAM.xml");
    Generated eham;
    load(eham, folder_.path() / "airports/my_thirdparty/EHAM.xml");
    EXPECT_EQ(eham.parameter("publisher"), "");
    EXPECT_EQ(eham.parameter("altitude"), "-10");
    EXPECT_EQ(eham.parameter("num_parkpos"), "3");
    EXPECT_EQ(eham.parameter("manufacturer"), "Nobody Ltd");
    EXPECT_NE(eham.parameter("BGLpath").find("apt.bgl"), std::string::npos);
    EXPECT_EQ(eham.readIds(), (std::vector<std::string>{"A3", "B4", "helipad1"}));

    // A simaddon airport missing from the simulator's list is generated in the simaddon folder,
    // its stands in byte order of their ids.
    ScannedAirport simaddon = airport("EDDK", "simaddon", {"B1", "A10", "A2", "a1"});
    EXPECT_FALSE(lf_linkArchivedApf(simaddon));
    EXPECT_TRUE(scanLogHas("EDDK does not exist as simaddon"));
    lf_generateApf(simaddon, 2);
    EXPECT_TRUE(scanLogHas("Generated EDDK.xml: 4 positions of which 2 helipads"));
    Generated eddk;
    load(eddk, folder_.path() / "airports/my_simaddon/EDDK.xml");
    EXPECT_EQ(eddk.readIds(), (std::vector<std::string>{"A10", "A2", "B1", "a1"}));
    EXPECT_EQ(eddk.parameter("BGLpath"), "<none>"); // only written for an unknown publisher

    ScannedAirport one = airport("LFPG", "MyCo", {"1"});
    lf_generateApf(one, 0);
    EXPECT_TRUE(scanLogHas("Generated LFPG.xml: 1 position"));
}

TEST_F(Linking, AFailedWriteIsReportedAndTheLinkFallsBackToGenerating) {
    // Something that is no regular file sits where the files must go.
    const fs::path thirdparty = folder_.path() / "airports/my_thirdparty";
    fs::create_directories(thirdparty / "KJFK.txt");
    fs::create_directories(thirdparty / "EDDK.xml");

    ScannedAirport linked = airport("KJFK", "MyCo", {"1", "2"});
    EXPECT_FALSE(lf_linkArchivedApf(linked));
    EXPECT_TRUE(scanLogHas("===> Writing airports/my_thirdparty/KJFK.txt did not succeed"));
    EXPECT_FALSE(scanLogHas("thirdparty airport KJFK linked to archive/thirdparty/MyCo/KJFK.xml\n"));
    lf_generateApf(linked, 0);
    EXPECT_EQ(gf_locateApf(FixedCode<4>("KJFK")), "airports\\my_thirdparty\\KJFK.xml");

    ScannedAirport generated = airport("EDDK", "", {"1"});
    lf_generateApf(generated, 0);
    EXPECT_TRUE(scanLogHas("===> Writing airports/my_thirdparty/EDDK.xml did not succeed"));
    EXPECT_TRUE(fs::is_directory(thirdparty / "EDDK.xml"));
}

} // namespace
