#pragma once
// A scratch folder for one fuzz process, made on first use and removed when the process ends,
// and a writer of the input bytes into a file there.

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace fuzzsupport {

class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view name)
        : m_path(std::filesystem::temp_directory_path() /
                 ("quorvel-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void writeBytes(const std::filesystem::path& p, std::string_view bytes) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace fuzzsupport
