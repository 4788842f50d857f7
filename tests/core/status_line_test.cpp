#include "core/status_line.hpp"

#include <gtest/gtest.h>

#include "core/log.hpp"
#include "support/temp_folder.hpp"

using namespace tamrix;
using testsupport::readFile;
using testsupport::TempFolder;

TEST(StatusLine, MessagesAreStampedLoggedAndRepainted) {
    TempFolder dir(true);
    gf_openLog();
    HWND main = platform::win32::createTopLevelWindow("Quorvel", "Quorvel");
    gf_setStatusLineWindow(main);

    gf_setStatusLine("hello", true);
    auto s = gf_statusLineSnapshot();
    EXPECT_EQ(s.message, "hello");
    EXPECT_EQ(s.stamp, 1u);  // the clock is 0: stamp 1 so that the message still times out

    gf_setStatusSecondsClock(42);
    gf_setStatusLine("quiet", false);
    EXPECT_EQ(gf_statusLineSnapshot().stamp, 42u);

    gf_setStatusLine("", true);  // empty text: stamp 0, nothing logged
    EXPECT_EQ(gf_statusLineSnapshot().stamp, 0u);

    const auto pending = platform::win32::pendingMessages();
    ASSERT_EQ(pending.size(), 3u);
    for (const auto& m : pending) {
        EXPECT_EQ(m.hwnd, main);
        EXPECT_EQ(m.message, WM_APP + 0x60);
    }
    gf_closeLog();
    const std::string text = readFile("Log.txt");
    EXPECT_NE(text.find("\nhello\n"), std::string::npos);
    EXPECT_EQ(text.find("quiet"), std::string::npos);
}

TEST(StatusLine, ErrorBlocksMessagesUntilCleared) {
    TempFolder dir(true);
    gf_openLog();
    gf_setStatusLine("before", false);
    gf_setStatusError("disk full");
    auto s = gf_statusLineSnapshot();
    EXPECT_EQ(s.error, "disk full");
    EXPECT_TRUE(s.message.empty());

    const auto posted = platform::win32::postedCount(WM_REPAINT_STATUS_LINE);
    gf_setStatusLine("x", true);
    gf_clearStatusLine();
    EXPECT_EQ(platform::win32::postedCount(WM_REPAINT_STATUS_LINE), posted);  // no repaint either
    EXPECT_EQ(gf_statusLineSnapshot().error, "disk full");

    gf_clearStatusError();
    gf_setStatusLine("after", false);
    EXPECT_EQ(gf_statusLineSnapshot().message, "after");
    gf_closeLog();
    const std::string text = readFile("Log.txt");
    EXPECT_NE(text.find("\nError disk full\n"), std::string::npos);
    EXPECT_EQ(text.find("\nx\n"), std::string::npos);
}
