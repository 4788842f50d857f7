#include "platform/net/winsock.hpp"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <sys/time.h>
#include <unistd.h>

namespace {

std::atomic<int> gStartups{0};
std::atomic<int> gCleanups{0};

struct ErrnoName {
    int errnoValue;
    int wsaError;
};

// Each errno paired with the Winsock error of the same name; EPIPE is what Linux reports for a
// send to a peer that has gone, which Winsock reports as a reset connection.
constexpr ErrnoName kErrnoNames[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAEBADF},
    {EACCES, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK},
    {EWOULDBLOCK, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEINPROGRESS},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    {ENOTEMPTY, WSAENOTEMPTY},
    {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT},
    {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};

} // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
    gStartups.fetch_add(1);
    if (data != nullptr) {
        data->wVersion = versionRequested;
        data->wHighVersion = versionRequested;
    }
    return 0;
}

int WSACleanup() {
    gCleanups.fetch_add(1);
    return 0;
}

int WSAGetLastError() { return platform::net::wsaErrorFromErrno(errno); }

void WSASetLastError(int error) { errno = error; }

int closesocket(SOCKET s) {
    // Wakes a thread blocked on the socket (accept, recv) before the descriptor number is freed.
    ::shutdown(s, SHUT_RDWR);
    return ::close(s) == 0 ? 0 : SOCKET_ERROR;
}

int ioctlsocket(SOCKET s, long command, u_long* argp) {
    if (argp == nullptr) {
        errno = EFAULT;
        return SOCKET_ERROR;
    }
    int value = *argp != 0 ? 1 : 0;
    return ::ioctl(s, static_cast<unsigned long>(command), &value) == 0 ? 0 : SOCKET_ERROR;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    if (level == SOL_SOCKET && (optname == SO_RCVTIMEO || optname == SO_SNDTIMEO)) {
        // Winsock takes a DWORD of milliseconds; POSIX a timeval.
        if (optval == nullptr || optlen < static_cast<int>(sizeof(std::uint32_t))) {
            errno = EFAULT;
            return SOCKET_ERROR;
        }
        std::uint32_t ms = 0;
        std::memcpy(&ms, optval, sizeof ms);
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(ms / 1000);
        tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
        return ::setsockopt(s, level, optname, &tv, sizeof tv) == 0 ? 0 : SOCKET_ERROR;
    }
    if (optlen < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    return ::setsockopt(s, level, optname, static_cast<const void*>(optval), static_cast<socklen_t>(optlen)) == 0
               ? 0
               : SOCKET_ERROR;
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const ssize_t n = ::send(s, static_cast<const void*>(buffer), static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
    return n < 0 ? SOCKET_ERROR : static_cast<int>(n);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const ssize_t n = ::recv(s, static_cast<void*>(buffer), static_cast<std::size_t>(length), flags);
    return n < 0 ? SOCKET_ERROR : static_cast<int>(n);
}

int recvfrom(SOCKET s, char* buffer, int length, int flags, sockaddr* from, int* fromLength) {
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    socklen_t size = fromLength != nullptr && *fromLength > 0 ? static_cast<socklen_t>(*fromLength) : 0;
    const ssize_t n = ::recvfrom(s, static_cast<void*>(buffer), static_cast<std::size_t>(length), flags, from,
                                 from != nullptr ? &size : nullptr);
    if (n < 0) return SOCKET_ERROR;
    if (fromLength != nullptr && from != nullptr) *fromLength = static_cast<int>(size);
    return static_cast<int>(n);
}

int WSAPoll(WSAPOLLFD* fds, unsigned long count, int timeoutMs) {
    const int n = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
    return n < 0 ? SOCKET_ERROR : n;
}

namespace platform::net {

int wsaErrorFromErrno(int errnoValue) {
    for (const auto& e : kErrnoNames)
        if (e.errnoValue == errnoValue) return e.wsaError;
    return errnoValue;
}

int startupCount() { return gStartups.load(); }
int cleanupCount() { return gCleanups.load(); }

} // namespace platform::net
