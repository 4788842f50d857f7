// The BGL airport decoder over files written by bglgen: a sound file decodes to the stands it
// describes; every damaged variant is rejected cleanly, keeping what was read before the damage.
#include <cmath>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/bgl_decoder.hpp"
#include "airports/bgl_file.hpp"
#include "airports/scan_log.hpp"
#include "airports_test_support.hpp"
#include "bglgen/bgl_writer.hpp"
#include "refdata/airports.hpp"
#include "support/named_pipe.hpp"

namespace fs = std::filesystem;
using namespace tamrix;

namespace {

// One airport EHAM at -3 m: a helipad 20 m wide, then a parking list of g5 (heading 0), g5 again
// (heading 90) and a type-13 spot.
constexpr const char* kWorkedExample = R"(
section type=3 flag=1
airport code=EHAM alt=-3000
  helipad lat=52.30 lon=4.76 width=20
  parking
    spot name=10 number=5 type=9 heading=0 radius=20 lat=52.308613 lon=4.763889
    spot name=10 number=5 type=9 heading=90 radius=20 lat=52.3087 lon=4.7639
    spot name=10 number=6 type=13 lat=52.3088 lon=4.7640
)";

struct Decoded {
    std::vector<BglAirportRecord> airports;
    std::vector<BglAirportStands> stands;
    std::vector<std::string> scanLog;
    std::vector<std::string> log;
    bool quickCheck = false;

    std::vector<std::string> ids(std::size_t airport = 0) const {
        std::vector<std::string> out;
        for (const auto& s : stands.at(airport).stands)
            out.push_back(s.id);
        return out;
    }
    bool logHas(const std::string& part) const {
        for (const auto& l : log)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

Decoded decode(const std::vector<uint8_t>& bytes) {
    Decoded d;
    BglSinks sinks{[](const FixedCode<4>& c) { return c != FixedCode<4>("ZZZZ"); },
                   [&](std::string line) { d.scanLog.push_back(std::move(line)); },
                   [&](std::string_view text, bool) { d.log.emplace_back(text); }};
    d.quickCheck = gf_bglHasAirportSection(bytes, bytes.size());
    const std::vector<uint32_t> words = gf_bglWords(bytes);
    d.airports = gf_findBglAirports(words, "test.bgl", sinks);
    for (const auto& a : d.airports)
        d.stands.push_back(gf_decodeBglAirportStands(words, a, "test.bgl", sinks));
    return d;
}

Decoded decode(const std::string& description) { return decode(bglgen::writeBgl(bglgen::parseDescription(description))); }

TEST(BglDecoder, WorkedExampleDecodesToItsStands) {
    const std::vector<uint8_t> bytes = bglgen::writeBgl(bglgen::parseDescription(kWorkedExample));
    ASSERT_EQ(bytes.size(), 372u);
    const Decoded d = decode(bytes);
    EXPECT_TRUE(d.quickCheck);
    ASSERT_EQ(d.airports.size(), 1u);
    EXPECT_EQ(d.airports[0].code, FixedCode<4>("EHAM"));
    EXPECT_EQ(d.airports[0].altitude, -10); // signed millimetres: -3000 mm is -10 ft
    EXPECT_EQ(d.airports[0].wordIndex, 0x5Cu / 4);
    EXPECT_EQ(d.ids(), (std::vector<std::string>{"helipad1", "g5", "g5a"}));
    const auto& stands = d.stands[0].stands;
    EXPECT_EQ(d.stands[0].helipads, 1);
    EXPECT_EQ(stands[0].heli, 1);
    EXPECT_NEAR(stands[0].radius * 1852.0, 10.0, 1e-9);
    EXPECT_DOUBLE_EQ(stands[1].heading, 2 * std::numbers::pi);
    EXPECT_NEAR(stands[2].heading, std::numbers::pi / 2, 1e-12);
    EXPECT_NEAR(stands[1].latitude, 52.3086129, 1e-6);
    EXPECT_NEAR(stands[1].longitude, 4.7638889, 1e-6);
    EXPECT_EQ(stands[1].type, 9);
    EXPECT_NEAR(stands[1].radius * 1852.0, 20.0, 1e-9);
    EXPECT_TRUE(d.scanLog.empty());
    EXPECT_TRUE(d.log.empty());

    EXPECT_EQ(bglgen::packIcao("EHAM"), 0x01BA5180u);
    EXPECT_EQ(bglgen::packIcao("K2A1"), 0x02507D60u);
    EXPECT_EQ(bglgen::packLatitude(52.308613), 0x06B3607Du);
    EXPECT_EQ(bglgen::packLongitude(4.763889), 0x18A29B7Fu);
}

TEST(BglDecoder, SectionsCodesAltitudesAndIdsAsTheFormatDefines) {
    // Only the third of three sections is an airport section; a large-header section is passed over.
    const Decoded sections = decode(R"(
section type=0x25
record id=0x56 words=20
section type=3 flag=0x10001
airport code=EDDF
section type=3
record id=0x12 words=4
airport code=EHAM alt=3048000
record id=0x12 words=2
airport code=KJFK alt=3048305
airport code=ZZZZ
airport raw=0
airport code=LHR
)");
    EXPECT_TRUE(sections.quickCheck);
    ASSERT_EQ(sections.airports.size(), 2u);
    EXPECT_EQ(sections.airports[0].code, FixedCode<4>("EHAM"));
    EXPECT_EQ(sections.airports[0].altitude, 10000);
    EXPECT_EQ(sections.airports[1].code, FixedCode<4>("KJFK"));
    EXPECT_EQ(sections.airports[1].altitude, 0); // 10001 ft is out of range
    // Only the unknown 4-character code is reported; the blank and 3-character codes are silent.
    EXPECT_EQ(sections.scanLog, std::vector<std::string>{"ZZZZ is not an airport supported by RealTraffic"});

    // Three helipads, the parking list, then a helipad that is never read; twelve equal ids.
    std::string description = "section\nairport code=EHAM\n"
                              "helipad lat=10 lon=10\nhelipad lat=10.001 lon=10\nhelipad lat=10.002 lon=10\n"
                              "helipad lat=10.002 lon=10\nhelipad rawlat=0xFFFFFFFF lon=10\nparking\n";
    for (int i = 0; i < 12; ++i)
        description += "spot name=12 number=7 lat=10 lon=10.1 heading=" + std::to_string(i) + "\n";
    description += "spot name=63 number=4095 type=1 codes=3 lat=10 lon=10.2\n"
                   "spot name=3 number=0 type=0 lat=10 lon=10.2\nspot name=1 number=2 lat=0 lon=0\n"
                   "helipad lat=11 lon=11\n";
    const Decoded ids = decode(description);
    ASSERT_EQ(ids.airports.size(), 1u);
    EXPECT_EQ(ids.stands[0].helipads, 3);
    EXPECT_EQ(ids.ids(), (std::vector<std::string>{"helipad1", "helipad2", "helipad3", "A7", "A7a", "A7b", "A7c",
                                                   "A7d", "A7e", "A7f", "A7g", "A7h", "A7i", "A7j", "4095"}));
    EXPECT_EQ(ids.scanLog,
              (std::vector<std::string>{"double helipad  (skipped) 10.002000,10.000000",
                                        "lat/lon helipad incorrect (skipped): -1350.000000,10.000000",
                                        "===> Warning: more than 10 duplicate IDs A7 in test.bgl",
                                        "LatLon 0.000000,0.000000 invalid (skipped)"}));
}

// Every way a file can lie about itself ends its walk with at most a log line; what came before
// the damage is kept.
TEST(BglDecoder, DamagedFilesAreRejectedCleanly) {
    const std::vector<uint8_t> sound = bglgen::writeBgl(bglgen::parseDescription(kWorkedExample));
    const Decoded full = decode(sound);
    const std::vector<std::string> fullIds = full.ids();
    // Cut at every length: the quick check needs a full section table; the stands found are
    // always a prefix of the sound file's.
    for (std::size_t length = 0; length <= sound.size(); ++length) {
        SCOPED_TRACE(length);
        const Decoded d = decode(std::vector<uint8_t>(sound.begin(), sound.begin() + length));
        EXPECT_EQ(d.quickCheck, length >= 76);
        for (const auto& s : d.stands) {
            const auto ids = d.ids();
            ASSERT_LE(ids.size(), fullIds.size());
            EXPECT_TRUE(std::equal(ids.begin(), ids.end(), fullIds.begin()));
            (void)s;
        }
    }

    struct Case {
        const char* name;
        std::string description;
        std::size_t airports;
        std::vector<std::string> ids;
        const char* logPart; // nullptr: nothing logged
    };
    const std::string spots = "spot number=1 lat=1 lon=1\nspot number=2 lat=1 lon=1\n";
    const std::vector<Case> cases = {
        {"header size", "header size=57\nsection\nairport code=EHAM\n", 0, {}, nullptr},
        {"no sections", "header sections=0\nsection\nairport code=EHAM\n", 0, {}, nullptr},
        {"count that wraps 14 + 5n", "header sections=0x33333334\nsection\nairport code=EHAM\n", 0, {}, nullptr},
        {"self-referencing airport", "section\nairport code=EHAM size=2\n", 0, {}, "decodeSizeAtBoundary returned 0 at o2"},
        {"zero-size record", "section\nrecord size=0\nairport code=EHAM\n", 0, {}, nullptr},
        {"airport past the end", "section\nairport code=EHAM size=0x7FFFFFFC\nhelipad lat=1 lon=1\n", 1,
         {"helipad1"}, "exceeded data buffer size"},
        {"helipad cut by its size", "section\nairport code=EHAM\nhelipad lat=1 lon=1 size=16\n", 1, {},
         "helipad at"},
        // One word short: its width would be read from beyond the sub-record.
        {"helipad one word short of its width", "section\nairport code=EHAM\nhelipad lat=1 lon=1 size=28\n", 1, {},
         "helipad at"},
        {"zero-size helipad", "section\nairport code=EHAM\nhelipad lat=1 lon=1 size=0\nhelipad lat=2 lon=2\n", 1,
         {"helipad1"}, "decodeSizeAtBoundary returned 0 at o3"},
        {"parking count beyond its record", "section\nairport code=EHAM\nparking count=65535\n" + spots, 1,
         {"g1", "g2"}, "parking entry at"},
        // Its airline code one word beyond the sub-record.
        {"parking entry one word beyond its record",
         "section\nairport code=EHAM\nparking size=64\nspot codes=1 lat=1 lon=1\n", 1, {}, "parking entry at"},
        {"parking overlapping the next record",
         "section\nairport code=EHAM\nparking size=64\n" + spots + "airport code=KJFK\n", 2, {"g1"},
         "parking entry at"},
        {"airline codes beyond the record", "section\nairport code=EHAM\nparking size=64\nspot codes=255 lat=1 lon=1\n",
         1, {}, "parking entry at"},
        {"not-a-number radius", "section\nairport code=EHAM\nparking\nspot radius=nan lat=1 lon=1\n" + spots, 1,
         {"g1", "g2"}, nullptr},
        {"table entries sharing their records", "section entries=5000\nairport code=EHAM\nhelipad lat=1 lon=1\n", 1,
         {"helipad1"}, nullptr},
        {"airport records overlapping across sections",
         "section\nairport code=EHAM size=0x10000\nhelipad lat=1 lon=1\nsection\nairport code=KJFK\nhelipad lat=2 lon=2\n",
         1, {"helipad1"}, "1 airport record overlapping another skipped"},
        {"zero-size sub-record", "section\nairport code=EHAM\nsub size=0\nhelipad lat=1 lon=1\n", 1, {},
         "decodeSizeAtBoundary returned 0 at o3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.description);
        ASSERT_EQ(d.airports.size(), c.airports);
        if (c.airports > 0) {
            EXPECT_EQ(d.ids(), c.ids);
        }
        if (c.logPart != nullptr) {
            EXPECT_TRUE(d.logHas(c.logPart));
        } else {
            EXPECT_TRUE(d.log.empty());
        }
        // A cut-off record costs the airport stands: the scan log says so too.
        for (const std::string& line : d.log) {
            if (line.find("cut off") != std::string::npos) {
                EXPECT_NE(std::find(d.scanLog.begin(), d.scanLog.end(), line), d.scanLog.end()) << line;
            }
        }
    }

    // 9000 records in one section, 9000 sub-records in one airport: both walks stop.
    std::string many = "section\n";
    for (int i = 0; i < 9001; ++i)
        many += "record\n";
    many += "airport code=EHAM\n";
    EXPECT_TRUE(decode(many).logHas("maximum loop iterations 9000 reached (2)"));
    std::string subs = "section\nairport code=EHAM\n";
    for (int i = 0; i < 9001; ++i)
        subs += "sub\n";
    subs += "helipad lat=1 lon=1\n";
    const Decoded loop = decode(subs);
    EXPECT_TRUE(loop.logHas("Maximum loop iterations reached (1)"));
    EXPECT_TRUE(loop.ids().empty());
}

class BglFiles : public airportstest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        for (const char* code : {"EHAM", "KJFK"})
            gAirportCodes.insert(FixedCode<4>(code));
    }
    fs::path write(const fs::path& path, const std::string& description) {
        const auto bytes = bglgen::writeBgl(bglgen::parseDescription(description));
        testsupport::writeFile(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
};

TEST_F(BglFiles, EachAirportOfAFileIsLinkedOrGeneratedWithItsPackage) {
    const fs::path top = folder_.path() / "Community/myco-amsterdam";
    testsupport::writeFile(top / "manifest.json", R"({"title":"Schiphol","manufacturer":"MyCo","creator":"MyCo"})");
    const fs::path bgl = write(top / "scenery/apt.bgl", std::string(kWorkedExample) + "airport code=KJFK\n");
    EXPECT_TRUE(lf_hasAirportSection(bgl));
    EXPECT_FALSE(lf_hasAirportSection(write(folder_.path() / "objects.bgl", "section type=0x25\nrecord\n")));
    EXPECT_FALSE(lf_hasAirportSection(folder_.path() / "missing.bgl"));

    std::vector<std::string> linked;
    std::vector<ScannedAirport> generated;
    std::vector<int32_t> helipads;
    const BglAirportSteps steps{[&](ScannedAirport& a) {
                                    linked.push_back(a.icao->text());
                                    return a.icao == FixedCode<4>("KJFK");
                                },
                                [&](ScannedAirport& a, int32_t h) {
                                    generated.push_back(a);
                                    helipads.push_back(h);
                                }};
    lf_processBGLfile(bgl, steps, folder_.path() / "Community");
    EXPECT_EQ(linked, (std::vector<std::string>{"EHAM", "KJFK"}));
    ASSERT_EQ(generated.size(), 1u); // KJFK was linked
    EXPECT_EQ(generated[0].icao, FixedCode<4>("EHAM"));
    EXPECT_EQ(generated[0].altitude, -10);
    EXPECT_EQ(generated[0].sourcePath, bgl);
    ASSERT_TRUE(generated[0].package);
    EXPECT_EQ(generated[0].package->title, "Schiphol");
    EXPECT_EQ(generated[0].stands.size(), 3u);
    EXPECT_EQ(helipads, std::vector<int32_t>{1});

    // A package whose manufacturer and creator are both short gets no file.
    testsupport::writeFile(top / "manifest.json", R"({"manufacturer":"AB","creator":""})");
    generated.clear();
    lf_processBGLfile(bgl, steps, folder_.path() / "Community");
    EXPECT_TRUE(generated.empty());
    EXPECT_TRUE(logLines().size() > 0);
}

// A scenery file is read only as a regular file of at most 512 MiB, far beyond the largest airport
// file: one replaced by a named pipe after the walk found its airport section is named, never
// waited on, and one beyond the bound (its airport section passes the quick look) is named and not
// read, so that it cannot take the machine's memory; the scan goes on.
TEST_F(BglFiles, AFileThatIsNoRegularFileOrBeyondTheBoundIsNamedNotRead) {
    const fs::path bgl = write(folder_.path() / "Community/pkg/scenery/apt.bgl", kWorkedExample);
    std::vector<std::string> generated;
    const BglAirportSteps steps{[](ScannedAirport&) { return false; },
                                [&](ScannedAirport& a, int32_t) { generated.push_back(a.icao->text()); }};
    lf_processBGLfile(bgl, steps, folder_.path() / "Community");
    EXPECT_EQ(generated, std::vector<std::string>{"EHAM"});

    fs::remove(bgl);
    ASSERT_TRUE(testsupport::makeNamedPipe(bgl));
    ASSERT_TRUE(testsupport::readWithoutAWriter(bgl, [&] { lf_processBGLfile(bgl, steps, folder_.path() / "Community"); }));
    EXPECT_EQ(generated, std::vector<std::string>{"EHAM"});
    EXPECT_EQ(logged("==> ! " + bgl.string() + " not read: a named pipe stands in its place").size(), 1u);

    fs::remove(bgl);
    write(bgl, kWorkedExample);
    fs::resize_file(bgl, (std::size_t{512} << 20) + 1);
    EXPECT_TRUE(lf_hasAirportSection(bgl));
    lf_processBGLfile(bgl, steps, folder_.path() / "Community");
    EXPECT_EQ(generated, std::vector<std::string>{"EHAM"});
    EXPECT_EQ(logged("==> ! " + bgl.string() + " not read: 536870913 bytes, more than the 536870912 it may hold").size(),
              1u);
}

} // namespace
