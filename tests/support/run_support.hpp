#pragma once
// What a whole run of the program in this process needs around it, for tests and benchmarks
// alike (no test framework here): free loopback ports, environment variables set for a while,
// a program folder as a user has it, and the environment that points a run at its simulator
// scenario and its traffic ports.
// ProgramFolder needs QUORVEL_SOURCE_DIR and QUORVEL_ENC_DIR (the build's encrypted reference
// files) defined by the including program.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.hpp"
#include "support/udp_port.hpp"

namespace testsupport {

namespace fs = std::filesystem;

// An environment variable set for the lifetime of this object; the value it had before (or its
// absence) is put back at the end, so that a later run of the same process sees what it saw.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name)) {
        if (const char* before = std::getenv(m_name.c_str())) m_before = before;
        ::setenv(m_name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_before)
            ::setenv(m_name.c_str(), m_before->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_before;
};

// A program folder as a user has it (documentation, encrypted reference files, a small AI
// package tree, a simulator folder) with its roaming data folder.
class ProgramFolder {
public:
    // A new temporary program folder with its roaming data folder inside it.
    ProgramFolder() : ProgramFolder(std::nullopt, std::nullopt) {}
    // The program folder `root` and the data folder `data` (a run of this process).
    ProgramFolder(std::optional<fs::path> programRoot, std::optional<fs::path> data)
        : m_root(programRoot.value_or(folder_.path())),
          m_data(data.value_or(folder_.path() / "roaming" / "Quorvel")) {
        const fs::path source = QUORVEL_SOURCE_DIR;
        fs::copy(source / "data" / "docs", root() / "docs", fs::copy_options::recursive);
        fs::create_directories(root() / "input");
        for (const auto& entry : fs::directory_iterator(QUORVEL_ENC_DIR))
            if (entry.path().extension() == ".enc")
                fs::copy(entry.path(), root() / "input" / entry.path().filename());
        fs::copy(source / "tests" / "fixtures" / "packages" / "Community", root() / "packages",
                 fs::copy_options::recursive);
        fs::create_directories(root() / "sim" / "Community");
        fs::create_directories(dataFolder());
    }
    const fs::path& root() const { return m_root; }
    fs::path roaming() const { return m_data.parent_path(); }
    fs::path dataFolder() const { return m_data; }
    fs::path parameters() const { return dataFolder() / "parameters.xml"; }
    fs::path log() const { return root() / "Log.txt"; }
    // The environment that points a run of the built program at this folder's data folders.
    std::vector<std::string> dataFolderEnv() const {
        return {"QUORVEL_ROAMING_APPDATA=" + roaming().string(), "QUORVEL_LOCAL_APPDATA=" + (root() / "local").string()};
    }

    // A settings file that points the livery scan at the package tree and names the simulator
    // folder; more settings as (key, value) pairs.
    void writeParameters(const std::vector<std::pair<std::string, std::string>>& more = {}) const {
        std::vector<std::pair<std::string, std::string>> all{{"PROGRAM_VERSION", "12.5.4"},
                                                             {"LIG_AUTOMATIC", "false"},
                                                             {"SCAN_AIRPORTS", "false"},
                                                             {"lfolder0", (root() / "packages").string()},
                                                             {"MSFS_INSTALL_PATH", (root() / "sim").string()}};
        for (const auto& setting : more) {
            auto same = std::find_if(all.begin(), all.end(), [&](const auto& s) { return s.first == setting.first; });
            if (same != all.end())
                same->second = setting.second;
            else
                all.push_back(setting);
        }
        std::ofstream out(parameters());
        out << "<?xml version=\"1.0\"?>\n<root><parameters>\n";
        for (const auto& [key, value] : all)
            out << "<parameter name=\"" << key << "\" value=\"" << value << "\"/>\n";
        out << "</parameters></root>\n";
    }

private:
    testsupport::TempFolder folder_;
    fs::path m_root;
    fs::path m_data;
};

// The environment of one in-process run: the simulator stand-in plays `scenario`, the traffic
// and QNH readers listen on two free ports. Everything is put back at the end.
class RunEnvironment {
public:
    explicit RunEnvironment(const fs::path& scenario)
        : m_trafficPort(freeUdpPort()), m_qnhPort(freeUdpPort()),
          m_scenario("QUORVEL_SIM_SCENARIO", scenario.string()),
          m_traffic("QUORVEL_TRAFFIC_PORT", std::to_string(m_trafficPort)),
          m_qnh("QUORVEL_QNH_PORT", std::to_string(m_qnhPort)) {}

    uint16_t trafficPort() const { return m_trafficPort; }
    uint16_t qnhPort() const { return m_qnhPort; }

private:
    uint16_t m_trafficPort;
    uint16_t m_qnhPort;
    ScopedEnv m_scenario;
    ScopedEnv m_traffic;
    ScopedEnv m_qnh;
};

} // namespace testsupport
