// The archived airport file the build makes of the scenario's airport: written where the download
// server and the sample scenery's publisher have it, without a word on success (the build's own
// line says what the step makes).
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "support/temp_folder.hpp"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs airportgen on the shipped scenario into `server`; what it writes on stdout.
ToolRun airportgen(const fs::path& server) {
    const std::string command = std::string("'") + QUORVEL_AIRPORTGEN + "' '" + QUORVEL_SOURCE_DIR +
                                "/data/scenario/EKBI.json' EKBI '" + server.string() + "' 'Quorvel Samples'";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 512> buffer{};
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.out.append(buffer.data(), got);
    run.status = ::pclose(pipe);
    return run;
}

// One run serves the tests of a process (a run takes seconds).
class Airportgen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testsupport::TempFolder();
        run_ = airportgen(folder_->path());
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    static const testsupport::TempFolder* folder_;
    static ToolRun run_;
};
const testsupport::TempFolder* Airportgen::folder_ = nullptr;
ToolRun Airportgen::run_;

TEST_F(Airportgen, WritesTheArchivedFiles) {
    ASSERT_TRUE(WIFEXITED(run_.status));
    EXPECT_EQ(WEXITSTATUS(run_.status), 0);
    for (const char* sim : {"MSFS", "MSFS2024"}) {
        EXPECT_TRUE(fs::is_regular_file(folder_->path() / sim / "archive/stock/EKBI.xml")) << sim;
        EXPECT_TRUE(fs::is_regular_file(folder_->path() / sim / "archive/thirdparty/Quorvel Samples/EKBI.xml")) << sim;
    }
}

TEST_F(Airportgen, SaysNothingOnSuccess) {
    ASSERT_TRUE(WIFEXITED(run_.status));
    EXPECT_EQ(run_.out, "");
}

} // namespace
