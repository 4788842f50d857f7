#pragma once
// A fresh temporary folder for one test, removed again at the end. With `enter` the test runs
// inside it (the program writes "Log.txt" and its folders relative to the working directory).

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include <unistd.h>

namespace testsupport {

class TempFolder {
public:
    explicit TempFolder(bool enter = false) {
        static std::atomic<unsigned> counter{0};
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("quorvel-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()) + "-" +
                 std::to_string(counter++));
        std::filesystem::create_directories(path_);
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
