#pragma once
// Windows-socket names over POSIX sockets. The calls that POSIX already has in the same shape
// (socket, bind, listen, accept, shutdown, getaddrinfo, freeaddrinfo, htons, ...) are the POSIX
// ones; this header adds what Winsock has and POSIX lacks, and Winsock-shaped overloads where
// the behaviour must differ:
// - SOCKET is a POSIX descriptor; INVALID_SOCKET and SOCKET_ERROR are -1.
// - WSAGetLastError maps the thread's errno to the Winsock error number of the same meaning (by
//   name: ECONNRESET -> WSAECONNRESET 10054, ...), so error texts read as on Windows; an errno
//   without a Winsock counterpart passes through unchanged.
// - send never raises SIGPIPE: a peer that has gone is an error result.
// - setsockopt takes SO_RCVTIMEO and SO_SNDTIMEO as a DWORD of milliseconds, as Winsock does.
// - closesocket shuts the socket down in both directions before it closes it: on Linux a
//   close alone does not wake another thread blocked in accept or recv on it.
// - WSAStartup and WSACleanup do nothing but count (there is no library to start).
//
// The overloads take `const char*`/`char*` buffers and `int` lengths like Winsock, so a call
// written the Winsock way picks them; cast lengths to int.

#include <cstdint>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

using SOCKET = int;
using WORD = std::uint16_t;
using u_long = unsigned long;
using SOCKADDR = sockaddr;
using SOCKADDR_IN = sockaddr_in;
using ADDRINFOA = addrinfo;
using WSAPOLLFD = pollfd;

inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr int SD_RECEIVE = SHUT_RD;
inline constexpr int SD_SEND = SHUT_WR;
inline constexpr int SD_BOTH = SHUT_RDWR;

constexpr WORD MAKEWORD(unsigned low, unsigned high) {
    return static_cast<WORD>((low & 0xFFu) | ((high & 0xFFu) << 8));
}

struct WSADATA {
    WORD wVersion = 0;
    WORD wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
};
using LPWSADATA = WSADATA*;

// Winsock error numbers.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAEDISCON = 10101;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSANO_DATA = 11004;

// Always 0; fills the version fields with the version asked for.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
// The Winsock number of the calling thread's last socket error.
int WSAGetLastError();
void WSASetLastError(int error);

int closesocket(SOCKET s);
// FIONBIO: *argp != 0 makes the socket non-blocking.
int ioctlsocket(SOCKET s, long command, u_long* argp);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int recvfrom(SOCKET s, char* buffer, int length, int flags, sockaddr* from, int* fromLength);
int WSAPoll(WSAPOLLFD* fds, unsigned long count, int timeoutMs);

namespace platform::net {

// The Winsock number for an errno value (the mapping WSAGetLastError uses).
int wsaErrorFromErrno(int errnoValue);

// How often WSAStartup and WSACleanup were called in this process.
int startupCount();
int cleanupCount();

} // namespace platform::net
