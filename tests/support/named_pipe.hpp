#pragma once
// A named pipe in place of a file the program reads or writes. A reader that opens it as a file
// waits for a writer for good, and a writer for a reader; readWithoutAWriter runs the work on a
// thread of its own, so that such a reader or writer fails its test instead of hanging the test
// program.

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <utility>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

// Makes a named pipe at the path (its folder is created); true when it is there.
inline bool makeNamedPipe(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    return ::mkfifo(path.c_str(), 0600) == 0;
}

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
