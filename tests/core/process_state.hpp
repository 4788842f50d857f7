#pragma once
// Every test of a program starts from the process-wide state a fresh process has, so that the
// program passes when run whole, in any order: a listener resets the state before each test.
// A test program installs it once with `installResetBeforeEachTest(reset)`; `resetCoreState`
// resets what core and the platform stand-ins keep, higher floors add their own resets.

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/random.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "platform/win32/shell.hpp"
#include "platform/win32/window.hpp"
#include "support/user_folders.hpp"

extern char** environ;

namespace testsupport {

// The program's own environment variables (QUORVEL_*) as the process started with them.
inline const std::map<std::string, std::string>& startEnvironment() {
    static const std::map<std::string, std::string> start = [] {
        std::map<std::string, std::string> vars;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const auto equals = entry.find('=');
            if (entry.rfind("QUORVEL_", 0) == 0 && equals != std::string::npos)
                vars.emplace(entry.substr(0, equals), entry.substr(equals + 1));
        }
        return vars;
    }();
    return start;
}

inline void restoreEnvironment() {
    const auto& start = startEnvironment();
    std::vector<std::string> added;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const auto equals = entry.find('=');
        if (entry.rfind("QUORVEL_", 0) == 0 && equals != std::string::npos &&
            !start.contains(entry.substr(0, equals)))
            added.push_back(entry.substr(0, equals));
    }
    for (const auto& name : added) ::unsetenv(name.c_str());
    for (const auto& [name, value] : start) ::setenv(name.c_str(), value.c_str(), 1);
}

inline void resetCoreState() {
    tamrix::gf_closeLog();
    restoreEnvironment();
    pointUserFoldersAtProcessFolder(); // and the path table built anew from there
    tamrix::gf_resetRunState();
    tamrix::gIsMsfs2020 = true;
    tamrix::gf_setRandomSwitch(nullptr);
    tamrix::gf_resetTrafficTime();
    tamrix::gf_resetStatusLine();
    tamrix::gf_setMsfsPaths({}, {});
    platform::win32::resetShell();
    platform::win32::resetWindows();
}

class ResetBeforeEachTest : public ::testing::EmptyTestEventListener {
public:
    explicit ResetBeforeEachTest(void (*reset)()) : reset_(reset) {}
    void OnTestStart(const ::testing::TestInfo&) override { reset_(); }

private:
    void (*reset_)();
};

// Call from the initializer of a static object: the listener is in place before any test runs.
inline bool installResetBeforeEachTest(void (*reset)()) {
    startEnvironment();
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetBeforeEachTest(reset));
    return true;
}

} // namespace testsupport
