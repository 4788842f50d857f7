// Where the main window opens: the position stored in "parameters.xml", corrected so that the
// window stays reachable on a monitor, and saved again when it had to move.

#include <fmt/format.h>
#include <gmock/gmock.h>

#include "app/app_state.hpp"
#include "app/app_test_support.hpp"
#include "app/main_window.hpp"
#include "app/window_procedure.hpp"
#include "config/parameters_file.hpp"
#include "platform/win32/monitors.hpp"

using namespace tamrix;
using ::testing::HasSubstr;
namespace w = platform::win32;

namespace {

class WindowPosition : public apptest::AppTest {
protected:
    void TearDown() override {
        w::setMonitors({});
        AppTest::TearDown();
    }
    // A settings file holding this position; the settings in memory stay at their defaults, as
    // before start-up has read the file.
    void store(int32_t x, int32_t y) {
        MAIN_WINDOW_X.current = x;
        MAIN_WINDOW_Y.current = y;
        gf_saveParameters(false);
        MAIN_WINDOW_X.current = MAIN_WINDOW_X.defaultValue;
        MAIN_WINDOW_Y.current = MAIN_WINDOW_Y.defaultValue;
    }
    std::pair<int32_t, int32_t> loaded() {
        lf_loadWindowPosition();
        return {MAIN_WINDOW_X.current.load(), MAIN_WINDOW_Y.current.load()};
    }
    std::string file() const { return apptest::readText(gf_paths().parametersPath); }
    static std::string member(const char* key, int32_t value) {
        return fmt::format("name=\"{}\" value=\"{}\"", key, value);
    }
};

TEST_F(WindowPosition, TheStoredPlaceIsTakenAndKeptReachableOnTheNearestMonitor) {
    using P = std::pair<int32_t, int32_t>;
    // No file: the defaults, and nothing is written.
    EXPECT_EQ(loaded(), P(400, 20));
    EXPECT_FALSE(std::filesystem::exists(gf_paths().parametersPath));

    // A place well on the screen (1920 x 1080, work area 1920 x 1040) is kept as it is.
    store(250, 300);
    std::string before = file();
    EXPECT_EQ(loaded(), P(250, 300));
    EXPECT_EQ(file(), before);

    // A minimized window's -30000 becomes the default, and is saved.
    store(-30000, 300);
    EXPECT_EQ(loaded(), P(400, 300));
    EXPECT_THAT(file(), HasSubstr(member("MAIN_WINDOW_X", 400)));

    // Right of the work area: the left edge stays 48 pixels inside its right edge; far above it,
    // 48 pixels of the window's bottom stay inside its top.
    store(1900, -2000);
    EXPECT_EQ(loaded(), P(1920 - 48, 48 - kWindowHeight));
    EXPECT_THAT(file(), HasSubstr(member("MAIN_WINDOW_X", 1920 - 48)));
    EXPECT_THAT(file(), HasSubstr(member("MAIN_WINDOW_Y", 48 - kWindowHeight)));
    // Left of it and below it (the task bar's 40 pixels count as outside).
    store(-5000, 1060);
    EXPECT_EQ(loaded(), P(48 - kWindowWidth, 1040 - 48));

    // Two monitors side by side: a place on the second one is kept; one beyond both ends on the
    // nearest; a place beyond the limits is clamped first.
    w::setMonitors(
        {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}, {{1920, -200, 3200, 824}, {1920, -200, 3200, 800}}});
    store(2500, -150);
    EXPECT_EQ(loaded(), P(2500, -150));
    store(29999, 29999);
    EXPECT_EQ(loaded(), P(3200 - 48, 800 - 48));
    store(1800, -190); // mostly on the second monitor, whose work area reaches higher
    EXPECT_EQ(loaded(), P(1800, -190));
}

TEST_F(WindowPosition, AnUnusableFileLeavesTheDefaultsAndStaysForTheSettingsReader) {
    testsupport::writeFile(gf_paths().parametersPath,
                           "<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"7");
    const std::string before = file();
    EXPECT_EQ(loaded(), std::make_pair(400, 20));
    EXPECT_EQ(file(), before);
    const auto lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines.back(), HasSubstr(gf_paths().parametersPath.string() + " failed to load ("));
    EXPECT_THAT(lines.back(), HasSubstr("the window opens at its default place"));

    // A file without the two keys: the defaults.
    MAIN_WINDOW_X.current = 900;
    testsupport::writeFile(gf_paths().parametersPath, "<root><parameters/></root>");
    EXPECT_EQ(loaded(), std::make_pair(400, 20));
}

TEST_F(WindowPosition, AWindowThatExistsIsMovedWithItsSettings) {
    const HWND window = w::createTopLevelWindow("Quorvel", "Quorvel");
    gMainWindow = window;
    gf_saveParameters(false);
    MAIN_WINDOW_X.current = 1500;
    MAIN_WINDOW_Y.current = 20;
    SetWindowPos(window, nullptr, 1500, 20, kWindowWidth, kWindowHeight, SWP_NOZORDER);
    // The screen became smaller (1024 x 768) since the window was placed.
    w::setMonitors({{{0, 0, 1024, 768}, {0, 0, 1024, 768}}});
    lf_keepWindowOnMonitor(400, 20);
    const auto s = *w::windowState(window);
    EXPECT_EQ(std::make_tuple(s.x, s.y, s.width, s.height),
              std::make_tuple(1024 - 48, 20, kWindowWidth, kWindowHeight));
    EXPECT_EQ(MAIN_WINDOW_X.current.load(), 1024 - 48);
    EXPECT_THAT(file(), HasSubstr(member("MAIN_WINDOW_X", 1024 - 48)));
}

TEST_F(WindowPosition, AMinimizedOrMaximizedWindowIsStoredWhereItComesBackToAtTheEnd) {
    for (const int shown : {SW_MINIMIZE, SW_SHOWMAXIMIZED}) {
        const HWND window = w::createTopLevelWindow("Quorvel", "Quorvel");
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
        gMainWindow = window;
        SetWindowPos(window, nullptr, 300, 200, kWindowWidth, kWindowHeight, SWP_NOZORDER);
        ShowWindow(window, shown);
        SendMessageW(window, WM_SAVE_AND_QUIT, 0, 0);
        EXPECT_EQ(std::make_pair(MAIN_WINDOW_X.current.load(), MAIN_WINDOW_Y.current.load()),
                  std::make_pair(300, 200))
            << shown;
        EXPECT_THAT(file(), HasSubstr(member("MAIN_WINDOW_X", 300)));
        MSG quit;
        EXPECT_TRUE(PeekMessageW(&quit, nullptr, 0, 0, PM_REMOVE));
        DestroyWindow(window);
    }
    // A normal window off every monitor is kept reachable; the end of the process is logged with
    // its UTC time.
    const HWND window = w::createTopLevelWindow("Quorvel", "Quorvel");
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
    gMainWindow = window;
    w::setMonitors({{{0, 0, 1024, 768}, {0, 0, 1024, 768}}});
    SetWindowPos(window, nullptr, 5000, 20, kWindowWidth, kWindowHeight, SWP_NOZORDER);
    SendMessageW(window, WM_SAVE_AND_QUIT, 0, 0);
    EXPECT_EQ(MAIN_WINDOW_X.current.load(), 1024 - 48);
    EXPECT_EQ(w::windowState(window)->x, 1024 - 48);
    const auto log = logLines();
    ASSERT_FALSE(log.empty());
    EXPECT_THAT(log.back(),
                ::testing::MatchesRegex(".*[A-Z][a-z][a-z] [A-Z][a-z][a-z] [0-9][0-9] [0-9:]+ [0-9]+"));
}

} // namespace
