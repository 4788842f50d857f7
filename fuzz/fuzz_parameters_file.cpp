// "parameters.xml" is a file the user may edit: any bytes must load without a crash, leave a
// readable settings file behind and keep every value within its limits.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include <unistd.h>

#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/paths.hpp"
#include "fuzz_scratch.hpp"

namespace {

// The settings file lives in the program data folder, which follows the environment at first use.
const fuzzsupport::ScratchFolder& folder() {
    static const fuzzsupport::ScratchFolder scratch("parameters");
    static const bool pointed = [] {
        std::filesystem::create_directories(scratch.path() / "Quorvel");
        return ::setenv("QUORVEL_ROAMING_APPDATA", scratch.path().c_str(), 1) == 0;
    }();
    (void)pointed;
    return scratch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Each unusable file is kept beside the new one under a numbered name; without emptying the
    // folder the program's search for a free number grows with every input.
    fuzzsupport::emptyFolder(folder().path() / "Quorvel");
    const auto& path = tamrix::gf_paths().parametersPath;
    fuzzsupport::writeBytes(path, std::string_view(reinterpret_cast<const char*>(data), size));
    tamrix::gf_readParameters();
    const int range = tamrix::RANGE.current;
    if (range < tamrix::RANGE.minValue || range > tamrix::RANGE.maxValue) std::abort();
    return 0;
}
