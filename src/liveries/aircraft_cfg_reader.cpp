#include "liveries/aircraft_cfg_reader.hpp"

#include <exception>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/text_encoding.hpp"
#include "core/text_files.hpp"
#include "liveries/aircraft_cfg_parser.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/ivao_mtl_section.hpp"
#include "liveries/model_code_resolution.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReservedSectionLines = 48;

// Reads the file's lines; false (logged) when it cannot be opened or read.
bool lf_readCfgLines(const fs::path& cfgPath, std::vector<std::string>& lines, bool highlightNoEncoding) {
    std::string reason;
    const Charset charset = gf_detectCharset(cfgPath, &reason);
    if (charset == Charset::none_found) {
        // The file was not read: why, as the shared reader puts it (a pipe in its place is named).
        const std::string text = fmt::format("! Cannot read {}: {}", lf_pathToUtf8(cfgPath), reason);
        highlightNoEncoding ? gf_logHighlighted(text) : gf_log(text);
        return false;
    }
    if (!gf_readTextFile(charset, cfgPath, lines)) {
        gf_log(fmt::format("! Failed reading {}", lf_pathToUtf8(cfgPath)));
        return false;
    }
    return true;
}

// The one splitter: `endsSection` tells a non-header line that ends the current section;
// `interpret` turns a section into records appended to the result.
template <typename EndsSection, typename Interpret>
std::list<LiveryData> lf_split(const std::vector<std::string>& lines, EndsSection endsSection, Interpret interpret) {
    std::list<LiveryData> result;
    FltSimSection section;
    section.reserve(kReservedSectionLines);
    bool inSection = false;
    const auto flush = [&] {
        if (!section.empty()) {
            interpret(section, result);
            section.clear();
        }
    };
    for (const std::string& line : lines) {
        if (!lf_cfgFltsimNumber(line).empty()) {
            flush();
            inSection = true;
            section.push_back(line);
        } else if (endsSection(line)) {
            if (inSection) flush();
            inSection = false;
        } else if (inSection) {
            section.push_back(line);
        }
    }
    if (inSection) flush();
    return result;
}

} // namespace

std::string lf_pathToUtf8(const fs::path& path) { return gf_pathToUtf8Lossy(path); }

std::list<LiveryData> lf_splitFltSimSections(uint32_t priority, const std::vector<std::string>& lines,
                                             const std::string& modelCode, const fs::path& cfgPath,
                                             const fs::path& folder) {
    return lf_split(
        lines, [](const std::string& line) { return line.find('[') < 6; },
        [&](FltSimSection& section, std::list<LiveryData>& result) {
            result.splice(result.end(), lf_procesFltSimSection(priority, section, modelCode, cfgPath, folder));
        });
}

std::list<LiveryData> lf_splitIvaoFltSimSections(uint32_t priority, const std::vector<std::string>& lines,
                                                 const std::string& modelCode, const fs::path& cfgPath,
                                                 const fs::path& folder) {
    return lf_split(
        lines, [](const std::string& line) { return line.find('[') != std::string::npos; },
        [&](FltSimSection& section, std::list<LiveryData>& result) {
            LiveryData livery = lf_procesIvaoFltSimSection(priority, section, modelCode, cfgPath, folder);
            if (!lf_isIncompleteLivery(livery)) result.push_back(std::move(livery));
        });
}

std::list<LiveryData> lf_searchLiveriesinFile(uint32_t priority, const fs::path& cfgPath) {
    try {
        std::error_code ec;
        if (!fs::exists(cfgPath, ec) || ec) return {};
        const fs::path folder = cfgPath.parent_path();
        std::vector<std::string> lines;
        if (!lf_readCfgLines(cfgPath, lines, false)) return {};
        if (!lf_checkFltsimNumbers(lines, cfgPath)) return {};
        const std::string modelCode = lf_modelOfCfg(cfgPath, lines);
        if (modelCode.empty()) return {};
        return lf_splitFltSimSections(priority, lines, modelCode, cfgPath, folder);
    } catch (const std::exception& error) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", lf_pathToUtf8(cfgPath), error.what()));
        throw;
    }
}

std::list<LiveryData> lf_searchLiveriesinIVAOFile(uint32_t priority, const fs::path& cfgPath) {
    try {
        const std::string modelCode = lf_ivaoModelFromPath(cfgPath);
        if (modelCode.empty()) return {};
        const fs::path folder = cfgPath.parent_path();
        std::vector<std::string> lines;
        if (!lf_readCfgLines(cfgPath, lines, true)) return {};
        if (!lf_checkFltsimNumbers(lines, cfgPath)) return {};
        return lf_splitIvaoFltSimSections(priority, lines, modelCode, cfgPath, folder);
    } catch (const std::exception& error) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", lf_pathToUtf8(cfgPath), error.what()));
        throw;
    } catch (...) {
        gf_log(fmt::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}", lf_pathToUtf8(cfgPath)));
        throw;
    }
}

} // namespace tamrix
