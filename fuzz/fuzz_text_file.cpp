// Text files of any encoding: charset detection, then every reader on the same bytes, plus the
// strict conversions. Lines from the converting readers must be valid UTF-8 without line ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "core/text_encoding.hpp"
#include "core/text_files.hpp"

namespace {

using tamrix::Charset;
using tamrix::utf8_to_wide;
using tamrix::wide_to_utf8;

// One file per process, rewritten for every input and removed at exit.
struct SampleFile {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("quorvel-fuzz-text-" + std::to_string(::getpid()) + ".txt");
    ~SampleFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

const std::filesystem::path& samplePath() {
    static const SampleFile file;
    return file.path;
}

void require(bool condition) {
    if (!condition) std::abort();
}

bool isUtf8(const std::string& s) {
    try {
        utf8_to_wide(s);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(samplePath(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const Charset detected = tamrix::gf_detectCharset(samplePath());
    require(detected != Charset::none_found);

    std::vector<std::string> lines;
    const bool read = tamrix::gf_readTextFile(detected, samplePath(), lines);
    // The converting readers always give valid UTF-8; so does a file the UTF-8 check saw whole.
    const bool converted = detected == Charset::ANSI || detected == Charset::Unicode ||
                           detected == Charset::Unicode_big_endian ||
                           (detected == Charset::UTF8_without_BOM && size <= 4096);
    if (read && converted)
        for (const auto& line : lines) require(line.find('\n') == std::string::npos && isUtf8(line));

    for (int code = 0; code <= 5; ++code) tamrix::gf_readTextFile(static_cast<Charset>(code), samplePath(), lines);

    // The strict conversions round-trip whatever they accept.
    try {
        require(wide_to_utf8(utf8_to_wide(bytes)) == bytes);
    } catch (const std::runtime_error&) {
    }
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    try {
        require(utf8_to_wide(wide_to_utf8(units)) == units);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
