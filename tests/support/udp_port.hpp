#pragma once
// A free UDP port of this machine, for tests and benchmarks (no test framework here).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace testsupport {

// A free UDP port of this machine (bound, then let go); with `keep` the socket stays bound, so
// that a reader cannot have it.
inline uint16_t freeUdpPort(int* keep = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (keep != nullptr)
        *keep = fd;
    else
        ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace testsupport
