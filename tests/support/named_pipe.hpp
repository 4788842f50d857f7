#pragma once
// A named pipe (or a socket) in place of a file the program reads or writes. A reader that opens it as a file
// waits for a writer for good, and a writer for a reader; readWithoutAWriter runs the work on a
// thread of its own, so that such a reader or writer fails its test instead of hanging the test
// program.

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <utility>

#include <csignal>

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

// Makes a named pipe at the path (its folder is created); true when it is there.
inline bool makeNamedPipe(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    return ::mkfifo(path.c_str(), 0600) == 0;
}

// A local socket bound at the path for the life of the object: a name in the file system that no
// file opens.
class UnixSocket {
public:
    explicit UnixSocket(const std::filesystem::path& path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string text = path.string();
        if (fd_ >= 0 && text.size() < sizeof address.sun_path) {
            std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
            if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) path_ = path;
        }
    }
    ~UnixSocket() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    UnixSocket(const UnixSocket&) = delete;
    UnixSocket& operator=(const UnixSocket&) = delete;
    bool bound() const { return !path_.empty(); }

private:
    int fd_;
    std::filesystem::path path_;
};

// Runs `read` on a thread and tells whether it returned while nobody ever opened the other end of
// the pipe. Work still waiting after `patience` has failed: the pipe is then opened for writing
// and for reading and closed again, as often as it takes, so that the work ends and the thread
// can be joined (a writer freed so meets a closed pipe: SIGPIPE is ignored from then on).
template <typename Read>
bool readWithoutAWriter(const std::filesystem::path& pipe, Read&& read,
                        std::chrono::seconds patience = std::chrono::seconds(20)) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread reader([&] {
        try {
            read();
        } catch (...) {
        }
        done.set_value();
    });
    const bool returned = finished.wait_for(patience) == std::future_status::ready;
    while (finished.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        // Succeeds only while a reader has the pipe open (or waits in its open).
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        std::signal(SIGPIPE, SIG_IGN);
        const int readEnd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (readEnd >= 0) ::close(readEnd);
    }
    reader.join();
    return returned;
}

} // namespace testsupport
