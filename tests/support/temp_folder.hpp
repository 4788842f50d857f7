#pragma once
// A fresh temporary folder for one test, removed again at the end. With `enter` the test runs
// inside it (the program writes "Log.txt" and its folders relative to the working directory).
// Temporary folders lie where every user may enter them, so that a test can hand one to an
// ordinary user (support/ordinary_user.hpp).

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace testsupport {

// Whether every folder on the way to `folder`, and `folder` itself, lets others through.
inline bool othersMayEnter(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path walked;
    for (const auto& part : std::filesystem::absolute(folder, ec)) {
        walked /= part;
        const auto status = std::filesystem::status(walked, ec);
        if (ec ||
            (status.permissions() & std::filesystem::perms::others_exec) == std::filesystem::perms::none)
            return false;
    }
    return !ec;
}

// The system's folder for temporary files when others may enter it, else the first of the usual
// ones that they may.
inline const std::filesystem::path& temporaryFilesRoot() {
    static const std::filesystem::path root = [] {
        std::error_code ec;
        const std::filesystem::path system = std::filesystem::temp_directory_path(ec);
        if (!ec && othersMayEnter(system)) return system;
        for (const char* usual : {"/tmp", "/var/tmp", "/dev/shm"})
            if (othersMayEnter(usual)) return std::filesystem::path(usual);
        return system;
    }();
    return root;
}

class TempFolder {
public:
    explicit TempFolder(bool enter = false) {
        static std::atomic<unsigned> counter{0};
        std::random_device rd;
        path_ = temporaryFilesRoot() / ("quorvel-test-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(rd()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                       std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                       std::filesystem::perms::others_exec);
        if (enter) {
            previous_ = std::filesystem::current_path();
            std::filesystem::current_path(path_);
        }
    }
    ~TempFolder() {
        std::error_code ec;
        if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

inline void writeFile(const std::filesystem::path& p, std::string_view bytes) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace testsupport
