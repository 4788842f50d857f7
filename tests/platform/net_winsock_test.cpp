#include "platform/net/winsock.hpp"

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include <sys/time.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

SOCKET boundSocket(int type, uint16_t& port) {
    const SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
    return s;
}

// A connected pair of TCP sockets on loopback.
std::pair<SOCKET, SOCKET> tcpPair() {
    uint16_t port = 0;
    const SOCKET listener = boundSocket(SOCK_STREAM, port);
    listen(listener, 1);
    const SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const SOCKET server = accept(listener, nullptr, nullptr);
    closesocket(listener);
    return {client, server};
}

} // namespace

TEST(NetWinsock, ErrorsMapByNameToWinsockNumbers) {
    using platform::net::wsaErrorFromErrno;
    EXPECT_EQ(wsaErrorFromErrno(EINTR), WSAEINTR);
    EXPECT_EQ(wsaErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
    EXPECT_EQ(wsaErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(wsaErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(wsaErrorFromErrno(EPIPE), 10054);
    EXPECT_EQ(wsaErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(wsaErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(wsaErrorFromErrno(ENOTSOCK), 10038);
    EXPECT_EQ(wsaErrorFromErrno(EMSGSIZE), 10040);
    EXPECT_EQ(wsaErrorFromErrno(ENOENT), ENOENT);  // no Winsock counterpart
    errno = EADDRNOTAVAIL;
    EXPECT_EQ(WSAGetLastError(), 10049);
}

TEST(NetWinsock, StartupAndCleanupOnlyCount) {
    WSADATA data;
    const int before = platform::net::startupCount();
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(platform::net::startupCount(), before + 1);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_GE(platform::net::cleanupCount(), 1);
}

TEST(NetWinsock, ReceiveTimeOutInMilliseconds) {
    uint16_t port = 0;
    const SOCKET s = boundSocket(SOCK_DGRAM, port);
    const uint32_t ms = 200;
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), static_cast<int>(sizeof ms)), 0);
    // The system's socket holds 200 ms, not 200 s.
    timeval held{};
    socklen_t size = sizeof held;
    ASSERT_EQ(::getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &held, &size), 0);
    EXPECT_EQ(held.tv_sec, 0);
    EXPECT_EQ(held.tv_usec, 200000);
    // A receive with nothing to read waits for it and ends with "would block".
    char buffer[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(recvfrom(s, buffer, static_cast<int>(sizeof buffer), 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    closesocket(s);
}

TEST(NetWinsock, SendToAPeerThatHasGoneIsAnErrorNotASignal) {
    auto [client, server] = tcpPair();
    closesocket(server);
    const char line[] = "Qs121=0;0;0;0;0;0;0\r\n";
    int result = 0;
    for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) {
        result = send(client, line, static_cast<int>(sizeof line - 1), 0);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(result, SOCKET_ERROR);  // and the process is still alive
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    closesocket(client);
}

TEST(NetWinsockConcurrency, ClosingWakesAThreadBlockedInAcceptOrReceive) {
    uint16_t port = 0;
    const SOCKET listener = boundSocket(SOCK_STREAM, port);
    listen(listener, 1);
    auto accepting = std::async(std::launch::async, [listener] { return accept(listener, nullptr, nullptr); });
    EXPECT_EQ(accepting.wait_for(100ms), std::future_status::timeout);
    closesocket(listener);
    ASSERT_EQ(accepting.wait_for(30s), std::future_status::ready);  // only a bound for a hang
    EXPECT_EQ(accepting.get(), INVALID_SOCKET);

    auto [client, server] = tcpPair();
    auto receiving = std::async(std::launch::async, [server] {
        char buffer[16];
        return recv(server, buffer, static_cast<int>(sizeof buffer), 0);
    });
    EXPECT_EQ(receiving.wait_for(100ms), std::future_status::timeout);
    shutdown(server, SD_BOTH);  // what closesocket does first
    ASSERT_EQ(receiving.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(receiving.get(), 0);
    closesocket(server);
    closesocket(client);
}
