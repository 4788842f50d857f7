#include "links/flight_plan_writer.hpp"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/captured_log.hpp"
#include "core/files.hpp"
#include "core/paths.hpp"
#include "support/temp_folder.hpp"

using namespace tamrix;

namespace {
std::atomic<int> gFlushes{0};
} // namespace

// Every flush of a file or folder to disk in this test program is counted.
extern "C" int fsync(int fd) {
    gFlushes.fetch_add(1);
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

namespace {

TrafficRecord record(std::string_view origin, std::string_view destination, AircraftCategory category) {
    TrafficRecord r;
    if (!origin.empty()) r.head.origin = FixedCode<3>(origin);
    if (!destination.empty()) r.head.destination = FixedCode<3>(destination);
    r.category = category;
    return r;
}

// The program data folder lies in a fresh folder of the test.
class FlightPlans : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUORVEL_ROAMING_APPDATA", (folder.path() / "roaming").c_str(), 1);
        gf_resetPaths(); // the paths are found again below the new folder
    }

    testsupport::TempFolder folder;
    testsupport::CapturedLog log;
};

TEST_F(FlightPlans, TheFolderLiesBelowTheProgramDataFolder) {
    EXPECT_EQ(gf_flightPlanFolder(), folder.path() / "roaming" / "Quorvel" / "orig_dest");
    EXPECT_EQ(gf_flightPlanPath(4294967295u), gf_flightPlanFolder() / "4294967295.pln");
    EXPECT_TRUE(gf_createFlightPlanFolder());
    EXPECT_TRUE(std::filesystem::is_directory(gf_flightPlanFolder()));
    EXPECT_TRUE(gf_createFlightPlanFolder()); // an existing folder is no error
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(FlightPlans, APlanIsExactlyItsNineLines) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanPath(1234);
    ASSERT_TRUE(gf_writeFlightPlan(path, record("LHR", "JFK", AircraftCategory::Heavy)));
    EXPECT_EQ(testsupport::readFile(path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                           "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                                           "<FlightPlan.FlightPlan>\n"
                                           "<FPType>IFR</FPType>\n"
                                           "<DepartureID>LHR</DepartureID>\n"
                                           "<DestinationID>JFK</DestinationID>\n"
                                           "</FlightPlan.FlightPlan>\n"
                                           "</SimBase.Document>\n"
                                           "\n");
}

TEST_F(FlightPlans, MissingCodesAreBlanksAndTheFlightTypeFollowsTheCategory) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanPath(4294967295u);
    testsupport::writeFile(path, std::string(5000, 'x')); // an older plan is replaced
    ASSERT_TRUE(gf_writeFlightPlan(path, record("", "", AircraftCategory::Rotorcraft)));
    const std::string text = testsupport::readFile(path);
    EXPECT_NE(
        text.find(
            "<FPType>VFR</FPType>\n<DepartureID>   </DepartureID>\n<DestinationID>   </DestinationID>\n"),
        std::string::npos);
    EXPECT_EQ(text.find("xxxx"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    const auto typeOf = [](AircraftCategory c) {
        return gf_flightPlanText(record("FRA", "", c)).find("<FPType>IFR</FPType>") != std::string::npos
                   ? "IFR"
                   : "VFR";
    };
    EXPECT_STREQ(typeOf(AircraftCategory::Light), "VFR");
    EXPECT_STREQ(typeOf(AircraftCategory::Buzjets), "IFR");
    EXPECT_STREQ(typeOf(AircraftCategory::Large), "IFR");
    EXPECT_STREQ(typeOf(AircraftCategory::Heavy), "IFR");
    EXPECT_STREQ(typeOf(AircraftCategory::HighPerf), "VFR");
    EXPECT_STREQ(typeOf(AircraftCategory::Rotorcraft), "VFR");
    EXPECT_STREQ(typeOf(static_cast<AircraftCategory>(9)), "VFR");
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> filesIn(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = testsupport::readFile(entry.path());
    return files;
}

TEST_F(FlightPlans, APlanThatCannotBeWrittenIsReportedAndTheOldPlanStaysWhole) {
    // No folder yet.
    EXPECT_FALSE(gf_writeFlightPlan(gf_flightPlanPath(7), record("LHR", "JFK", AircraftCategory::Heavy)));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines()[0].find("Could not write " + gf_flightPlanPath(7).string()) != std::string::npos);

    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanPath(7);
    ASSERT_TRUE(gf_writeFlightPlan(path, record("LHR", "JFK", AircraftCategory::Heavy)));
    const auto before = filesIn(gf_flightPlanFolder());
    ASSERT_EQ(before.size(), 1u);

    // A disk that takes no more than a few bytes: the new plan fails while being written, in a
    // child process so that the limit holds for nothing else.
    const auto writeOnAFullDisk = [&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::_Exit(gf_writeFlightPlan(path, record("FRA", "SIN", AircraftCategory::Light)) ? 0 : 3);
    };
    EXPECT_EXIT(writeOnAFullDisk(), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(filesIn(gf_flightPlanFolder()), before); // the old plan byte for byte, no leftovers

    // A folder that cannot be written (the superuser writes anyway).
    if (::geteuid() != 0) {
        std::filesystem::permissions(gf_flightPlanFolder(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        const bool written = gf_writeFlightPlan(path, record("FRA", "SIN", AircraftCategory::Light));
        std::filesystem::permissions(gf_flightPlanFolder(), std::filesystem::perms::owner_all);
        EXPECT_FALSE(written);
        EXPECT_EQ(filesIn(gf_flightPlanFolder()), before);
        EXPECT_EQ(log.lines().size(), 2u);
    }
}

// A plan is written in the 10 ms tick for every aircraft created: it never waits for the disk
// (a flush there takes milliseconds on a busy one), while files meant to outlast the run are
// still flushed.
TEST_F(FlightPlans, APlanIsWrittenWholeWithoutWaitingForTheDisk) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanPath(9);
    gFlushes = 0;
    ASSERT_TRUE(gf_writeFlightPlan(path, record("LHR", "JFK", AircraftCategory::Heavy)));
    ASSERT_TRUE(gf_writeFlightPlan(path, record("FRA", "SIN", AircraftCategory::Heavy)));
    EXPECT_EQ(gFlushes.load(), 0);
    EXPECT_NE(testsupport::readFile(path).find("<DestinationID>SIN</DestinationID>"), std::string::npos);
    EXPECT_EQ(filesIn(gf_flightPlanFolder()).size(), 1u); // no temporary file left

    ASSERT_TRUE(gf_writeFileAtomically(folder.path() / "kept.txt", "kept"));
    EXPECT_GE(gFlushes.load(), 1);
}

TEST_F(FlightPlans, ClosingRemovesTheFolderWithItsPlans) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(7), record("LHR", "JFK", AircraftCategory::Heavy)));
    gf_removeFlightPlanFolder();
    EXPECT_FALSE(std::filesystem::exists(gf_flightPlanFolder()));
    gf_removeFlightPlanFolder(); // nothing there: no error
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(FlightPlans, AFolderThatCannotBeCreatedIsLogged) {
    testsupport::writeFile(folder.path() / "roaming" / "Quorvel", "a file in the way");
    EXPECT_FALSE(gf_createFlightPlanFolder());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines()[0].starts_with("gf_createFlightPlanFolder: "));
}

} // namespace
