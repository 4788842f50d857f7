// The livery catalogue's own files are read at every start and may be edited or damaged by the
// user: "LiveriesScanned.xml", "AIG-regcodes.xml" and the regcode text lines. Any bytes must end
// in the readers' own errors, never in a crash. The first input byte picks the reader.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "core/paths.hpp"
#include "core/text_files.hpp"
#include "core/user_error.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/regcodes.hpp"

namespace {

void writeBytes(const std::filesystem::path& p, std::string_view bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool entered = [] {
        const auto d = std::filesystem::temp_directory_path() / ("quorvel-fuzz-liveries-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::filesystem::current_path(d);
        return true;
    }();
    (void)entered;
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto& paths = tamrix::gf_paths();
    switch (data[0] % 3) {
    case 0:
        writeBytes(paths.liveriesScannedPath, bytes);
        try {
            tamrix::lf_readLiveriesXml();
        } catch (const tamrix::UserErrorException&) {
        }
        break;
    case 1: {
        writeBytes(std::filesystem::path("input") / "AIG-regcodes.xml", bytes);
        std::vector<tamrix::RegcodeEntry> entries;
        tamrix::lf_readAigRegcodes(entries);
        break;
    }
    default: {
        std::vector<std::string> lines;
        tamrix::gf_splitUtf8Lines(bytes, lines);
        for (const auto& line : lines) {
            bool ok = true;
            tamrix::lf_parseRegcodeLine(line, "fuzz.txt", ok);
        }
        break;
    }
    }
    return 0;
}
