// Quorvel's process entry: opens "Log.txt" in the program's own folder and runs the start-up
// steps the program has so far.
#include <cstdio>
#include <exception>
#include <filesystem>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"

namespace {

int run() {
    using namespace tamrix;
    // The program must be started from its own folder, which holds its documentation.
    if (!std::filesystem::is_directory("docs"))
        throw UserErrorException(99, fmt::format("{} must be run from the {} folder!", kProgramName, kProgramName));
    gf_log(fmt::format("{} {} started in {}", kProgramName, gProgramVersion.text(),
                       std::filesystem::current_path().string()));
    return 0;
}

} // namespace

int main() {
    try {
        tamrix::gf_openLog();
    } catch (const std::exception& e) {
        // Without a log there is nowhere else to tell the user.
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    int code = 0;
    try {
        code = run();
    } catch (const std::exception& e) {
        tamrix::gf_logHighlighted(fmt::format("Error {}", e.what()));
        std::fprintf(stderr, "Error %s\n", e.what());
        code = 1;
    }
    tamrix::gf_closeLog();
    return code;
}
