#pragma once
// Records every fsync and rename of the test program, in order, with the paths they work on, so
// that a test can see how a file was replaced. The program's own fsync and rename stand in front
// of the C library's and pass every call on. Include this header in ONE source file of a test
// program only: it defines the two functions.

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace synctest {

struct Event {
    std::string kind; // "fsync" or "rename"
    std::string path; // the file or folder flushed, or the renamed file
    std::string to;   // the new name of a renamed file
};

inline std::mutex& eventLock() {
    static std::mutex lock;
    return lock;
}
inline std::vector<Event>& eventList() {
    static std::vector<Event> events;
    return events;
}
inline void record(Event event) {
    std::lock_guard guard(eventLock());
    eventList().push_back(std::move(event));
}
inline void clearEvents() {
    std::lock_guard guard(eventLock());
    eventList().clear();
}
inline std::vector<Event> events() {
    std::lock_guard guard(eventLock());
    return eventList();
}

} // namespace synctest

extern "C" int fsync(int fd) {
    char target[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    synctest::record({"fsync", length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "?", {}});
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    char fromPath[PATH_MAX];
    char toPath[PATH_MAX];
    // Absolute names, as the fsync records carry them; a missing source keeps its name.
    const std::string fromText = ::realpath(from, fromPath) != nullptr ? fromPath : from;
    std::string toText = to;
    if (const std::string folder = toText.substr(0, toText.rfind('/') + 1);
        ::realpath(folder.empty() ? "." : folder.c_str(), toPath) != nullptr)
        toText = std::string(toPath) + "/" + toText.substr(toText.rfind('/') + 1);
    synctest::record({"rename", fromText, toText});
    static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}
