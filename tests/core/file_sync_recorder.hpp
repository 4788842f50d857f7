#pragma once
// Records every fsync and rename of the test program, in order, with the paths they work on, so
// that a test can see how a file was replaced. The program's own fsync, rename and renameat2
// stand in front of the C library's and pass every call on. Include this header in ONE source
// file of a test program only: it defines those functions.

#include <dlfcn.h>
#include <fcntl.h>
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

namespace synctest {
// Absolute names, as the fsync records carry them; a missing source keeps its name.
inline void recordRename(const char* from, const char* to) {
    char fromPath[PATH_MAX];
    char toPath[PATH_MAX];
    const std::string fromText = ::realpath(from, fromPath) != nullptr ? fromPath : from;
    std::string toText = to;
    if (const std::string folder = toText.substr(0, toText.rfind('/') + 1);
        ::realpath(folder.empty() ? "." : folder.c_str(), toPath) != nullptr)
        toText = std::string(toPath) + "/" + toText.substr(toText.rfind('/') + 1);
    record({"rename", fromText, toText});
}
} // namespace synctest

extern "C" int rename(const char* from, const char* to) noexcept {
    synctest::recordRename(from, to);
    static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}

// A rename that refuses to replace counts only when it happened.
extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned flags) noexcept {
    static const auto real = reinterpret_cast<int (*)(int, const char*, int, const char*, unsigned)>(
        ::dlsym(RTLD_NEXT, "renameat2"));
    char fromPath[PATH_MAX];
    const bool sourceFound = fromFolder == AT_FDCWD && ::realpath(from, fromPath) != nullptr;
    const int result = real(fromFolder, from, toFolder, to, flags);
    if (result == 0 && fromFolder == AT_FDCWD && toFolder == AT_FDCWD)
        synctest::recordRename(sourceFound ? fromPath : from, to);
    return result;
}
