#pragma once
// A test of the airports scan's parts: it runs in a fresh temporary folder (the program's folder,
// with "Log.txt" open there) whose "roaming" and "local" sub-folders stand in for the user's
// application-data folders, where a simulator installation can be laid out.

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/log.hpp"
#include "core/paths.hpp"
#include "support/temp_folder.hpp"

namespace airportstest {

class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUORVEL_ROAMING_APPDATA", roaming().c_str(), 1);
        ::setenv("QUORVEL_LOCAL_APPDATA", local().c_str(), 1);
        std::filesystem::create_directories(roaming() / "Quorvel");
        std::filesystem::create_directories(local());
        tamrix::gf_resetPaths();
        tamrix::gf_openLog();
    }
    void TearDown() override { tamrix::gf_closeLog(); }

    std::filesystem::path roaming() const { return folder_.path() / "roaming"; }
    std::filesystem::path local() const { return folder_.path() / "local"; }

    std::vector<std::string> logLines() const {
        tamrix::gf_flushLog();
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile(folder_.path() / "Log.txt"));
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }
    // The log lines that contain the part, in order.
    std::vector<std::string> logged(const std::string& part) const {
        std::vector<std::string> out;
        for (const auto& line : logLines())
            if (line.find(part) != std::string::npos) out.push_back(line);
        return out;
    }

    static void makeFolders(const std::filesystem::path& base, std::initializer_list<const char*> subs) {
        std::filesystem::create_directories(base);
        for (const char* s : subs)
            std::filesystem::create_directories(base / s);
    }

    testsupport::TempFolder folder_{true};
};

} // namespace airportstest
