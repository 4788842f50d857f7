#include "links/socket_error_text.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/net/winsock.hpp"

using tamrix::gf_wsaErrorText;

TEST(SocketErrorText, KnownCodesKeepTheirTextsExactly) {
    EXPECT_EQ(gf_wsaErrorText(10054), "10054 Connection reset by peer");
    EXPECT_EQ(gf_wsaErrorText(10040), "10040 Messenger too long");
    EXPECT_EQ(gf_wsaErrorText(10058), "10058 Can't send numLines socket shutdown");
    EXPECT_EQ(gf_wsaErrorText(10004), "10004 Interrupted system call");
    EXPECT_EQ(gf_wsaErrorText(11004), "11004 No host data of that type was found");
    EXPECT_EQ(gf_wsaErrorText(WSAEADDRINUSE), "10048 Address already in use");
}

TEST(SocketErrorText, OtherCodesAreUnknown) {
    for (int code : {11002, 11003, 10001, 10072, 10090, 0, -1})
        EXPECT_EQ(gf_wsaErrorText(code), fmt::format("{} Unknown errror code", code)) << code;
}
