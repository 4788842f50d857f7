#pragma once
// A test that works on "parameters.xml": it runs in a fresh temporary folder (the program's
// folder, with "Log.txt" open there) whose "roaming" sub-folder stands in for the roaming
// application data. The settings start at their defaults (reset_before_each_test.cpp).

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "platform/win32/window.hpp"
#include "support/temp_folder.hpp"

namespace settingstest {

inline std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(QUORVEL_SOURCE_DIR) / "tests" / "fixtures" / "parameters" / name;
}

inline std::u16string u16(const char* ascii) {
    std::u16string out;
    for (; *ascii != 0; ++ascii)
        out.push_back(static_cast<char16_t>(*ascii));
    return out;
}

// The (name, value) pairs of the file's "parameter" elements in document order.
inline std::vector<std::pair<std::string, std::string>> fileEntries(const std::filesystem::path& path) {
    pugi::xml_document document;
    std::vector<std::pair<std::string, std::string>> out;
    if (!document.load_file(path.c_str())) return out;
    pugi::xml_node root = document.child("root");
    for (pugi::xml_node p :
         (root ? root : static_cast<pugi::xml_node>(document)).child("parameters").children())
        out.emplace_back(p.attribute("name").value(), p.attribute("value").value());
    return out;
}

// The values stored under a key, in document order.
inline std::vector<std::string> fileValues(const std::filesystem::path& path, const std::string& key) {
    std::vector<std::string> out;
    for (const auto& [name, value] : fileEntries(path))
        if (name == key) out.push_back(value);
    return out;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUORVEL_ROAMING_APPDATA", (folder_.path() / "roaming").c_str(), 1);
        std::filesystem::create_directories(folder_.path() / "roaming" / "Quorvel");
        tamrix::gf_resetPaths();
        ASSERT_EQ(path(), folder_.path() / "roaming" / "Quorvel" / "parameters.xml");
        tamrix::gf_openLog();
    }
    void TearDown() override { tamrix::gf_closeLog(); }

    static const std::filesystem::path& path() { return tamrix::gf_paths().parametersPath; }

    void install(const std::string& fixtureName) {
        std::filesystem::copy_file(fixture(fixtureName), path(),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    std::vector<std::string> logLines() const {
        tamrix::gf_flushLog();
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile(folder_.path() / "Log.txt"));
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }

    bool logged(const std::string& part) const {
        for (const auto& line : logLines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    // The main window with one control per window-bound setting, as the window code makes them.
    HWND createControls() {
        HWND main = platform::win32::createTopLevelWindow("Quorvel", "Quorvel");
        tamrix::gf_setControlLookupWindow(main);
        for (auto* p : tamrix::checkBoxParameters)
            p->window = child(main, u"BUTTON", 0x50010002, *p, 12);
        for (auto* p : tamrix::intChoiceParameters)
            p->window = child(main, u"ComboBox", 0x50210003, *p, 200);
        for (tamrix::ParameterControl* p :
             {static_cast<tamrix::ParameterControl*>(&tamrix::parking_percentage),
              static_cast<tamrix::ParameterControl*>(&tamrix::MAX_FIT_FL),
              static_cast<tamrix::ParameterControl*>(&tamrix::SIM_CHOICE),
              static_cast<tamrix::ParameterControl*>(&tamrix::AI_PACKAGE_SELECTOR),
              static_cast<tamrix::ParameterControl*>(&tamrix::CALLSIGN_2_OBJECTID)})
            p->window = child(main, u"ComboBox", 0x50210003, *p, 200);
        for (tamrix::ParameterControl* p : {static_cast<tamrix::ParameterControl*>(&tamrix::ALL_INSTALL_PATH),
                                            static_cast<tamrix::ParameterControl*>(&tamrix::BLOCK_CALLSIGN),
                                            static_cast<tamrix::ParameterControl*>(&tamrix::DESTINATION)})
            p->window = child(main, u"Edit", 0x50810000, *p, 16);
        return main;
    }

    static platform::win32::WindowState state(HWND window) {
        return platform::win32::windowState(window).value();
    }

    testsupport::TempFolder folder_{true};

private:
    static HWND child(HWND main, const char16_t* className, DWORD style, const tamrix::ParameterControl& p,
                      int height) {
        return CreateWindowExW(0, className, u"", style, 5, static_cast<int>(p.row), 100, height, main,
                               reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(p.controlId)), nullptr,
                               nullptr);
    }
};

} // namespace settingstest
