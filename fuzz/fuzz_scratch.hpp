#pragma once
// A scratch folder for one fuzz process, made on first use and removed when the process ends,
// which holds the folders of the user; a stay in a folder for the length of one input; and a
// writer of the input bytes into a file.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include <unistd.h>

#include "core/log.hpp"

namespace fuzzsupport {

class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view name)
        : m_path(std::filesystem::temp_directory_path() /
                 ("quorvel-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_path);
        // The folders of the user that the program derives from the environment lie in here (made
        // only when the program makes them), so that no input reads or changes the settings of
        // the user who runs the target. A target may point them elsewhere after this, before the
        // program first asks for them.
        const std::filesystem::path user = m_path / "user";
        const std::pair<const char*, std::filesystem::path> folders[] = {
            {"QUORVEL_ROAMING_APPDATA", user / "roaming"},
            {"QUORVEL_LOCAL_APPDATA", user / "local"},
            {"HOME", user / "home"},
            {"XDG_CONFIG_HOME", user / "home" / ".config"},
            {"XDG_DATA_HOME", user / "home" / ".local" / "share"},
        };
        for (const auto& [variable, folder] : folders)
            ::setenv(variable, folder.c_str(), 1);
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

// Makes a folder the working directory for one input and returns to the one before. libFuzzer
// reads the corpus and writes crash files by relative paths between inputs, so a target that
// works below its scratch folder must never leave the working directory changed.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& folder) : m_before(std::filesystem::current_path()) {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~InFolder() {
        std::error_code ec;
        std::filesystem::current_path(m_before, ec);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path m_before;
};

// A scratch folder whose "Log.txt" is open for the life of the process, so that what the code
// under test logs is written (and cleaned) as in the program.
class LoggedScratchFolder : public ScratchFolder {
public:
    explicit LoggedScratchFolder(std::string_view name) : ScratchFolder(name) {
        const InFolder in(path());
        tamrix::gf_openLog();
    }
};

// Empties a folder (it stays), so that what one input left behind cannot slow down the next.
inline void emptyFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

inline void writeBytes(const std::filesystem::path& p, std::string_view bytes) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace fuzzsupport
