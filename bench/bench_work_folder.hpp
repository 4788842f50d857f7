#pragma once
// A working folder of its own for a whole benchmark program, with the log open in it; removed at
// exit. The program works in `work` below it, so that siblings (a download server, say) can lie
// beside the working folder.

#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "core/log.hpp"

namespace tamrix::bench {

struct WorkFolder {
    std::filesystem::path path;
    std::filesystem::path previous;
    explicit WorkFolder(std::string_view name) {
        path = std::filesystem::temp_directory_path() / fmt::format("quorvel-bench-{}-{}", name, ::getpid());
        std::filesystem::create_directories(path / "work");
        previous = std::filesystem::current_path();
        std::filesystem::current_path(path / "work");
        gf_openLog();
    }
    ~WorkFolder() {
        gf_closeLog();
        std::error_code ec;
        std::filesystem::current_path(previous, ec);
        std::filesystem::remove_all(path, ec);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
};

} // namespace tamrix::bench
