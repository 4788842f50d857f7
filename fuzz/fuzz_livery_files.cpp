// The livery catalogue's own files are read at every start and may be edited or damaged by the
// user: "LiveriesScanned.xml", "AIG-regcodes.xml" and the regcode text lines. Any bytes must end
// in the readers' own errors, never in a crash. The first input byte picks the reader.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/paths.hpp"
#include "core/text_files.hpp"
#include "core/user_error.hpp"
#include "fuzz_scratch.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/regcodes.hpp"

using fuzzsupport::writeBytes;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The catalogue's files lie relative to the working directory.
    static const fuzzsupport::ScratchFolder scratch("liveries");
    const fuzzsupport::InFolder in(scratch.path());
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
