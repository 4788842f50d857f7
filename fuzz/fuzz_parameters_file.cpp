// "parameters.xml" is a file the user may edit: any bytes must load without a crash, leave a
// readable settings file behind and keep every value within its limits.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/paths.hpp"

namespace {

const std::filesystem::path& folder() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("quorvel-fuzz-parameters-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d / "Quorvel");
        ::setenv("QUORVEL_ROAMING_APPDATA", d.c_str(), 1);
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    folder();
    const auto& path = tamrix::gf_paths().parametersPath;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    tamrix::gf_readParameters();
    const int range = tamrix::RANGE.current;
    if (range < tamrix::RANGE.minValue || range > tamrix::RANGE.maxValue) std::abort();
    return 0;
}
