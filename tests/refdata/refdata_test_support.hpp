#pragma once
// Shared by the reference-data tests: the shipped ".enc" files of the build, encrypted files made
// on the spot, a small dbase document with every required section, and log searches.

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/captured_log.hpp"
#include "encref/enc_writer.hpp"
#include "support/temp_folder.hpp"

namespace refdatatest {

namespace fs = std::filesystem;

inline const fs::path kShippedEncDir = QUORVEL_ENC_DIR;
inline const fs::path kSourceDir = QUORVEL_SOURCE_DIR;

// Copies a shipped ".enc" file of the build into "input" of the working folder.
inline void installShipped(std::string_view name) {
    fs::create_directories("input");
    fs::copy_file(kShippedEncDir / name, fs::path("input") / name, fs::copy_options::overwrite_existing);
}

// Encrypts the text into `encPath` with the program's key.
inline void writeEncrypted(const fs::path& encPath, std::string_view plain) {
    if (encPath.has_parent_path()) fs::create_directories(encPath.parent_path());
    const fs::path source = encPath.string() + ".source";
    testsupport::writeFile(source, plain);
    tamrix::encref::encryptFile(source, encPath);
    fs::remove(source);
}

inline bool anyLineContains(const std::vector<std::string>& lines, std::string_view text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

inline bool hasLine(const std::vector<std::string>& lines, std::string_view text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

// A dbase document: the given sections (name -> inner XML) over small defaults for the required
// ones; a section given as "-" is left out.
inline std::string dbaseXml(std::map<std::string, std::string> sections = {}) {
    const std::vector<std::pair<std::string, std::string>> defaults{
        {"aircrafts", R"(<aircraft types="A320,B738,B77W,C172,EC35,F16,GLF6"/>)"},
        {"cargo_types", R"(<cargo_type types="B77L"/>)"},
        {"heavy", R"(<hvy types="B77W"/>)"},
        {"large", R"(<lar types="A320,B738"/>)"},
        {"buzjet", R"(<bzj types="GLF6"/>)"},
        {"high_performance", R"(<hpf types="F16"/>)"},
        {"rotorcraft", R"(<rot types="EC35"/>)"},
        {"similar_types", ""},
        {"prefixes", ""},
        {"ICAO_airlines", R"(<ICAO codes="DLH,BAW"/>)"},
        {"cargo_operators", R"(<ICAO codes="FDX"/>)"},
        {"publishers", ""},
        {"wingspans", ""},
        {"fixes", ""},
        {"simaddons20", R"(<simaddon20 arpts="EGLL"/>)"},
        {"simaddons24", R"(<simaddon24 arpts="EDDF"/>)"},
        {"thirdparties20", ""},
        {"thirdparties24", ""},
        {"dbase", ""},
    };
    std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
    for (const auto& [name, fallback] : defaults) {
        const auto given = sections.find(name);
        const std::string inner = given != sections.end() ? given->second : fallback;
        if (inner == "-" || (given == sections.end() && fallback.empty())) continue;
        xml += "<" + name + ">" + inner + "</" + name + ">\n";
    }
    return xml + "</root>\n";
}

} // namespace refdatatest
