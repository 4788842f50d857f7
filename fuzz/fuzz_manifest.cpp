// Package manifests are JSON files of any add-on: any bytes give a manifest, no manifest, or a
// JSON library error (which the manifest search catches and logs), and nothing else.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "airports/package_manifest.hpp"
#include "core/text_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // As the file reader hands it over: lines without their ends, joined again.
    std::vector<std::string> lines;
    gf_splitUtf8Lines(text, lines);
    try {
        (void)gf_manifestFromLines(lines);
    } catch (const nlohmann::json::exception&) {
    }
    try {
        (void)gf_manifestFromText(text);
    } catch (const nlohmann::json::exception&) {
    }
    return 0;
}
