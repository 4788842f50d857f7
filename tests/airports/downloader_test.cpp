// Downloads from a file:// server folder and from a loopback HTTP server that cuts its answer
// short or stops sending: a failed download leaves the earlier file as it was and nothing else.

#include "airport_file_test_support.hpp"
#include "core/half_hour_set.hpp"
#include "refdata/code_table.hpp"
#include "support/loopback_http_server.hpp"

#include <sys/wait.h>
#include <unistd.h>

namespace apftest {
namespace {

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

// A path written into an address as it is: what a URL may hold stays, everything else becomes
// its escape; an escape already written stays one, a lone '%' is a percent sign.
TEST(DownloadAddress, BytesAUrlMayNotHoldAreEscapedAndEscapesKept) {
    EXPECT_EQ(tamrix::gf_urlEscaped("https://host:8080/a-b_c.d~e/?x=1&y=(2)#top"),
              "https://host:8080/a-b_c.d~e/?x=1&y=(2)#top");
    EXPECT_EQ(tamrix::gf_urlEscaped("file:///home/Flight Sim \u00e9/100%/a%20b/%4/{x}\"q\""),
              "file:///home/Flight%20Sim%20%C3%A9/100%25/a%20b/%254/%7Bx%7D%22q%22");
    // Every delimiter of a URL stays; so does a lower-case escape, also at the very end.
    EXPECT_EQ(tamrix::gf_urlEscaped("http://u@[::1]:80/!$'*+,;%c3%a9"), "http://u@[::1]:80/!$'*+,;%c3%a9");
}

TEST_F(AirportFileTest, DownloadsArriveWholeOrNotAtAll) {
    std::filesystem::create_directories("dl");
    // What a download killed in an earlier run left there goes with the first download into the
    // folder (no temporary file stays, below).
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    testsupport::writeFile("dl/b.xml.quorvel-" + std::to_string(gone) + "-5.part", "half");
    const std::string base = "file://" + (fixtures() / "server/downloads").string();
    CurlHandle curl;
    ASSERT_TRUE(Downloader(curl, base + "/MSFS/archive/stock/XQAA.xml", "dl/a.xml", false,
                           DownloadKind::AirportFile));
    EXPECT_EQ(fileText("dl/a.xml"), fileText(fixtures() / "server/downloads/MSFS/archive/stock/XQAA.xml"));
    // A file the user keeps elsewhere and links into place gets the download where the link
    // leads; the link stays, and no temporary file stays on either side.
    testsupport::writeFile("synced/park_airport.xml", "earlier");
    std::filesystem::create_directories("mine");
    std::filesystem::create_symlink("../synced/park_airport.xml", "mine/park_airport.xml");
    ASSERT_TRUE(Downloader(curl, base + "/MSFS/archive/stock/XQAA.xml", "mine/park_airport.xml", false,
                           DownloadKind::AirportFile));
    EXPECT_TRUE(std::filesystem::is_symlink("mine/park_airport.xml"));
    EXPECT_EQ(fileText("synced/park_airport.xml"), fileText("dl/a.xml"));
    EXPECT_EQ(filesIn("mine"), std::vector<std::filesystem::path>{"park_airport.xml"});
    EXPECT_EQ(filesIn("synced"), std::vector<std::filesystem::path>{"park_airport.xml"});

    testsupport::writeFile("dl/b.xml", "earlier");
    EXPECT_FALSE(Downloader(curl, base + "/MSFS/archive/stock/NONE.xml", "dl/b.xml", false,
                            DownloadKind::AirportFile));
    EXPECT_EQ(fileText("dl/b.xml"), "earlier");

    // A server that cuts its answer short, then one that stops sending in the middle of it.
    using Server = testsupport::LoopbackHttpServer;
    testsupport::writeFile("served/x.xml", "<root>" + std::string(1000, ' ') + "</root>");
    {
        Server cut(std::filesystem::absolute("served"));
        cut.setRule("/x.xml", Server::Rule{Server::Fault::Truncate, 0, 9});
        EXPECT_FALSE(Downloader(curl, cut.base() + "x.xml", "dl/b.xml", false, DownloadKind::AirportFile));
    }
    EXPECT_EQ(fileText("dl/b.xml"), "earlier");

    gf_setDownloadStallSeconds(1);
    {
        Server stalled(std::filesystem::absolute("served"));
        stalled.setRule("/x.xml", Server::Rule{Server::Fault::Stall, 0, 3});
        EXPECT_FALSE(Downloader(curl, stalled.base() + "x.xml", "dl/c.xml", true, DownloadKind::AirportFile));
    }
    EXPECT_EQ(fileText("dl/b.xml"), "earlier");
    EXPECT_EQ(filesIn("dl"), (std::vector<std::filesystem::path>{"a.xml", "b.xml"}) ) << "no temporary file stays";
    EXPECT_TRUE(logHas("Download error: '"));

    // Each kind of download keeps within its size cap and deadline: an endless answer, a file
    // announced beyond the cap and one that creeps in a byte at a time are refused, nothing of
    // them is written and the earlier file stays.
    using namespace std::chrono_literals;
    struct LimitsBack {
        ~LimitsBack() { gf_resetDownloadLimits(); }
    } limitsBack;
    {
        Server server(std::filesystem::absolute("served"));
        server.setRule("/endless.xml", Server::Rule{Server::Fault::Endless, 0, 0});
        gf_setDownloadLimits(DownloadKind::AirportFile, {64 << 10, 5s});
        EXPECT_FALSE(
            Downloader(curl, server.base() + "endless.xml", "dl/b.xml", false, DownloadKind::AirportFile));
        EXPECT_TRUE(logHas("Download error: 'the answer is larger than 65536 bytes'"));
        gf_setDownloadLimits(DownloadKind::AirportFile, {1000, 5s});
        EXPECT_FALSE(Downloader(curl, server.base() + "x.xml", "dl/b.xml", false, DownloadKind::AirportFile));
        EXPECT_TRUE(logHas("Download error: 'the answer is larger than 1000 bytes'"));
        server.setRule("/x.xml", Server::Rule{Server::Fault::Drip, 0, 0});
        gf_setDownloadLimits(DownloadKind::AirportFile, {1 << 20, 300ms});
        EXPECT_FALSE(Downloader(curl, server.base() + "x.xml", "dl/b.xml", false, DownloadKind::AirportFile));
        EXPECT_TRUE(logHas("Download error: 'the answer was not complete within 300 ms'"));
    }
    EXPECT_EQ(fileText("dl/b.xml"), "earlier");
    EXPECT_EQ(filesIn("dl"), (std::vector<std::filesystem::path>{"a.xml", "b.xml"}));

    // No curl handle, no download.
    EXPECT_EQ(gf_downloadServerBase(), base + "/");
    ::unsetenv("QUORVEL_DOWNLOAD_BASE");
    EXPECT_EQ(gf_downloadServerBase(), kDownloadServerBase);
}

TEST_F(AirportFileTest, QualityFactorsAndTheirText) {
    EXPECT_EQ(gf_qualityFactors(), (QualityFactors{-1, -1}));
    StandRecord& s = gf_emplaceStand("S1", {}, {50.0, 8.0, 0.0}, 0.02 / 0.0005399568034557236, 8, false, false, false);
    StandOption option;
    option.reg = "D-AAAA";
    option.number = 1;
    option.day = 3;
    option.real = 1;
    option.hh = HalfHourSet(0xF);
    s.options.push_back(option);
    EXPECT_EQ(gf_qualityFactors(), (QualityFactors{63, 0}));
    // A fuel stand counts for nothing, whatever was seen there.
    gf_emplaceStand("F1", {}, {50.001, 8.0, 0.0}, 15.0, 12, false, false, false).options.push_back(option);
    EXPECT_EQ(gf_qualityFactors(), (QualityFactors{63, 0}));
    EXPECT_EQ(gf_qualityCellText(gf_qualityFactors()), "63");
    EXPECT_EQ(gf_qualityCellText({30, 5}), "30/ 5");
    EXPECT_EQ(gf_qualityCellText({-1, -1}), "  ");
    gStandTable.front().heli = 1;
    EXPECT_EQ(gf_qualityFactors(), (QualityFactors{0, 0}));
}

TEST_F(AirportFileTest, WriterFormsAndRoundTrip) {
    AirportFileHeader header;
    header.icao = FixedCode<4>("XQAA");
    header.airportName = "Alpha";
    header.publisher = "stock";
    header.altitude = -11;
    StandRecord full("F1", {}, {50.1234564, 8.5, 1.5707963}, 18.52, 5, true, false, false);
    StandOption run;
    run.reg = "G-BBBB";
    run.key.operatorIndex = gf_airlineIndex("BAW");
    run.key.modelIndex = gf_modelIndex("A320");
    run.number = 1;
    run.day = 3;
    run.real = 0;
    run.cpl = 1;
    run.cs = "BAW1";
    run.cs2 = "BAW2";
    run.hh = gf_hours2bitset("10:12");
    StandOption gap = run;
    gap.number = 2;
    gap.hh = gf_hours2bitset("10,12");
    full.options = {run, gap};
    StandRecord changed("C1", {}, {50.2, 8.5, 0.0}, 30.0, 5, false, false, false);
    changed.radiusChange = 1;
    StandRecord plain("P1", {}, {50.3, 8.5, 0.0}, 30.0, 5, false, false, false);
    header.stands = {full, changed, plain};

    ASSERT_TRUE(gf_writeApf(header, "out/airport.xml", kApfAirportMode, 1));
    ASSERT_TRUE(gf_writeApf(header, "out/learned.xml", kApfLearnedMode, 2));
    const std::string airport = fileText("out/airport.xml");
    EXPECT_NE(airport.find("<parkpos id=\"F1\" latitude=\"50.123456\" longitude=\"8.500000\" heading=\"90.0\" "
                           "radius=\"18.5\" type=\"5\" cargo=\"true\" ramp=\"false\" />"),
              std::string::npos)
        << airport;
    EXPECT_NE(airport.find("<parameter name=\"num_parkpos\" value=\"3\" />"), std::string::npos);
    EXPECT_EQ(airport.find("Facilities"), std::string::npos); // not for stock
    const std::string learned = fileText("out/learned.xml");
    EXPECT_NE(learned.find("<opt reg=\"G-BBBB\" airl=\"BAW\" type=\"A320\" soft=\"true\" day=\"3\" hh=\"10:12\" "
                           "cs=\"BAW1:BAW2\" cpl=\"true\" />"),
              std::string::npos)
        << learned;
    EXPECT_NE(learned.find("<parkpos id=\"C1\" radius_change=\"true\" radius=\"30.0\" />"), std::string::npos);
    EXPECT_NE(learned.find("<parkpos id=\"P1\" />"), std::string::npos);
    EXPECT_NE(learned.find("<parameter name=\"MAX_FIT\" value=\"47\" />"), std::string::npos);
    EXPECT_TRUE(logHas("bit set problem: G-BBBB BAW1"));

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file("out/airport.xml"));
    lf_readStands(document);
    ASSERT_EQ(gStandTable.size(), 3u);
    EXPECT_NEAR(gStandTable[0].heading, 1.5707963, 0.0009);
    EXPECT_NEAR(gStandTable[0].radius, 0.01, 0.00003);
    EXPECT_EQ(gStandTable[0].cargo, 1);
}

} // namespace
} // namespace apftest
