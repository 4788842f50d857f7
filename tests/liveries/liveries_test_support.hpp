#pragma once
// Shared by the livery catalogue tests: each test runs in a fresh folder (the program's folder,
// "Log.txt" open there, a "roaming" folder for "parameters.xml") into which it installs the
// hand-written catalogue of tests/fixtures/liveries - the dbase and the AIG regcode file
// encrypted as the program ships them.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/log.hpp"
#include "core/paths.hpp"
#include "encref/enc_writer.hpp"
#include "liveries/livery_index.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata/model_lookups.hpp"
#include "support/temp_folder.hpp"

namespace liveriestest {

namespace fs = std::filesystem;

inline const fs::path kFixtures = fs::path(QUORVEL_SOURCE_DIR) / "tests" / "fixtures" / "liveries";

class LiveriesTest : public ::testing::Test {
protected:
    LiveriesTest() {
        ::setenv("QUORVEL_ROAMING_APPDATA", (folder_.path() / "roaming").c_str(), 1);
        fs::create_directories(folder_.path() / "roaming" / "Quorvel");
        tamrix::gf_resetPaths(); // the settings are found again below the new folder
        fs::create_directories("output/info");
        fs::create_directories("output/errors");
        tamrix::gf_openLog();
    }
    ~LiveriesTest() override { tamrix::gf_closeLog(); }


    static void encrypt(const fs::path& plain, const fs::path& encPath) {
        fs::create_directories(encPath.parent_path());
        tamrix::encref::encryptFile(plain, encPath);
    }
    static void writeEncrypted(std::string_view text, const fs::path& encPath) {
        const fs::path plain = encPath.string() + ".source";
        testsupport::writeFile(plain, text);
        encrypt(plain, encPath);
        fs::remove(plain);
    }

    static void installDbase() {
        encrypt(kFixtures / "dbase.xml", "input/dbase.enc");
        ASSERT_TRUE(tamrix::gf_readDbase());
    }
    static void installAig() { encrypt(kFixtures / "AIG-regcodes.xml", "input/AIG-regcodes.enc"); }
    static void installMyRegcodes() {
        fs::create_directories("input");
        fs::copy(kFixtures / "my_regcodes", "input/my_regcodes", fs::copy_options::recursive);
    }
    static void installLiveries() {
        fs::copy_file(kFixtures / "LiveriesScanned.xml", "output/LiveriesScanned.xml",
                      fs::copy_options::overwrite_existing);
    }
    // The whole hand-written catalogue, processed as at start-up.
    static void loadFixtureCatalogue() {
        installDbase();
        installAig();
        installMyRegcodes();
        installLiveries();
        tamrix::gf_processScannedLiveries();
    }

    static std::vector<std::string> logLines() {
        tamrix::gf_flushLog();
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile("Log.txt"));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    static bool logged(std::string_view line) {
        const auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static bool loggedPart(std::string_view part) {
        const auto lines = logLines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
    static std::vector<std::string> fileLines(const fs::path& path) {
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile(path));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

    static uint16_t op(std::string_view code) { return tamrix::gf_airlineIndex(code); }
    static uint16_t model(std::string_view code) { return tamrix::gf_modelIndex(code); }

    testsupport::TempFolder folder_{true};
};

} // namespace liveriestest
