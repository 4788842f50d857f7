#include "liveries/regcodes.hpp"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <unordered_set>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/meta_info.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/text_encoding.hpp"
#include "core/text_files.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/scan_collectors.hpp"
#include "refdata/encrypted_file.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {
namespace fs = std::filesystem;

std::unordered_map<std::string, std::string_view, TextHash, std::equal_to<>> gRegcodeMap;
std::unordered_map<std::string_view, std::string> gTitleRegcodes;
std::set<std::string, std::less<>> gSpecialRegcodes;
std::set<std::string, std::less<>> gUniqueRegcodes;
std::vector<std::string_view> gSpecialTitles;
std::vector<std::string> gRegcodeReport;

namespace {

constexpr std::size_t kMinRegcodeLength = 3;
constexpr std::size_t kMaxRegcodeLength = 12;
// The AIG regcode table as decrypted from a data file, which a download brings with 64 MiB at most.
constexpr std::size_t kMaxAigRegcodesBytes = std::size_t{64} << 20;

// The special titles once more as a set: the picks ask about every candidate.
std::unordered_set<std::string_view> gSpecialTitleSet;

std::string_view lf_liveryWord(std::size_t count) { return count == 1 ? "livery" : "liveries"; }

std::list<std::string> lf_splitRegcodes(std::string_view text) {
    auto pieces = gf_split(text, ',');
    return {std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end())};
}

bool lf_isRegcodeFile(const fs::directory_entry& entry) {
    return entry.is_regular_file() && gf_upperEquals(".TXT", entry.path().extension().string());
}

void lf_readRegcodeFile(const fs::path& file, std::vector<RegcodeEntry>& entries, bool& ok) {
    const Charset charset = gf_detectCharset(file);
    std::vector<std::string> lines;
    if (charset == Charset::none_found || !gf_readTextFile(charset, file, lines))
        throw std::runtime_error(fmt::format("{} could not be read", gf_pathToUtf8Lossy(file)));
    for (const auto& line : lines) {
        if (auto entry = lf_parseRegcodeLine(line, file, ok)) entries.push_back(std::move(*entry));
    }
}

void lf_writeReport(const std::vector<std::string>& lines, const fs::path& path) {
    if (!gf_writeLines(lines, path))
        gf_logHighlighted(fmt::format("Error writing file {}: {}", gf_pathToUtf8Lossy(path), "the file could not be written"));
}

} // namespace

bool gf_isSpecialTitle(std::string_view title) { return gSpecialTitleSet.contains(title); }

std::optional<RegcodeEntry> lf_parseRegcodeLine(std::string_view line, const fs::path& file, bool& ok) {
    if (line.size() < 6) return std::nullopt;
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = line.find(';', start);
        fields.push_back(gf_trimView(line.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (fields.size() > 3 || fields.front().empty()) return std::nullopt;

    RegcodeEntry entry{std::string(fields.front()), {}, false};
    if (fields.size() == 1) return entry;

    const auto pieces = gf_split(fields[1], ',');
    for (const auto& regcode : pieces) {
        if (regcode.size() < kMinRegcodeLength || regcode.size() > kMaxRegcodeLength) {
            gf_logHighlighted(fmt::format("wrong regcode length '{}' in {}", regcode, gf_pathToUtf8Lossy(file)));
            ok = false;
            continue;
        }
        entry.regcodes.push_back(regcode);
    }
    // A line meant to give registrations never turns into a title not to use, however badly its
    // registrations are written: that would hide the livery from the next scan.
    if (!pieces.empty() && entry.regcodes.empty()) return std::nullopt;
    entry.special = pieces.size() == 1 || (fields.size() == 3 && fields[2] == kSpecialLineMark);
    if (entry.regcodes.empty()) entry.special = false;
    return entry;
}

bool lf_readRegcodeFiles(const fs::path& folder, std::vector<RegcodeEntry>& entries) {
    bool ok = true;
    std::vector<fs::path> files;
    try {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (lf_isRegcodeFile(entry)) files.push_back(entry.path());
        }
    } catch (const std::exception& error) {
        gf_logHighlighted(fmt::format("Error reading regcode files in {}, what: {}", gf_pathToUtf8Lossy(folder), error.what()));
        return false;
    }
    // Later files override earlier ones: a fixed order makes the outcome repeatable.
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        try {
            lf_readRegcodeFile(file, entries, ok);
            gf_log(fmt::format("{:5} {} read from {}", entries.size(), lf_liveryWord(entries.size()), gf_pathToUtf8Lossy(file)));
        } catch (const std::exception& error) {
            gf_logHighlighted(fmt::format("Error reading regcode files in {}, what: {}", gf_pathToUtf8Lossy(folder), error.what()));
            ok = false;
        }
    }
    return ok;
}

bool lf_readAigRegcodes(std::vector<RegcodeEntry>& entries) {
    return lf_readAigRegcodes(gf_paths().aigRegcodesXmlPath, entries);
}

bool lf_readAigRegcodes(const fs::path& path, std::vector<RegcodeEntry>& entries) {
    pugi::xml_document document;
    // Read as a regular file only: a pipe in its place is named, not waited on.
    const FileBytes file = gf_readRegularFile(path, kMaxAigRegcodesBytes);
    if (!file.read() || !document.load_buffer(file.bytes.data(), file.bytes.size())) {
        const std::string name = gf_pathToUtf8Lossy(path);
        gf_logHighlighted(file.read() ? fmt::format("Failed to load {}", name)
                                      : fmt::format("Failed to load {}: {}", name, file.problem));
        if (fs::exists(path)) fs::remove(path);
        return false;
    }
    if (!gf_readMetaInfo(document, false)) {
        gf_logHighlighted(fmt::format("! {} has no valid meta block", gf_pathToUtf8Lossy(path)));
        return false;
    }
    const pugi::xml_node aig = document.child("root").child("aig");
    if (!aig) {
        gf_logHighlighted("No <aig> node found in XML.");
        return false;
    }
    bool ok = true;
    std::string previous;
    for (const pugi::xml_node l : aig.children("l")) {
        const std::string_view title = l.attribute("t").value();
        if (title.empty()) continue;
        if (title == previous) {
            gf_logHighlighted(fmt::format("Duplicate title '{}' (same as previous)", title));
            ok = false;
            continue;
        }
        entries.push_back({std::string(title), lf_splitRegcodes(l.attribute("r").value()), l.attribute("s").as_bool(false)});
        previous = title;
    }
    gf_log(fmt::format("{:5} {} read from {}", entries.size(), lf_liveryWord(entries.size()),
                       gf_pathToUtf8Lossy(path.filename())));
    return ok;
}

void lf_mergeRegcodes(const std::vector<RegcodeEntry>& entries) {
    int64_t added = 0;
    int64_t replaced = 0;
    int64_t special = 0;
    for (const auto& entry : entries) {
        const std::string_view title = lf_findTitle(entry.title);
        if (title.empty()) continue;
        for (const auto& regcode : entry.regcodes) {
            const auto it = gRegcodeMap.find(regcode);
            if (it == gRegcodeMap.end()) {
                gRegcodeMap.emplace(regcode, title);
                ++added;
            } else if (it->second != title) {
                gRegcodeReport.push_back(
                    fmt::format("   regcode {} for '{}', instead of the same for '{}'", regcode, title, it->second));
                it->second = title;
                ++replaced;
            }
            if (entry.special) {
                gSpecialRegcodes.insert(regcode);
                if (entry.regcodes.size() == 1) gUniqueRegcodes.insert(regcode);
            }
        }
        if (entry.special) {
            gSpecialTitles.push_back(title);
            gSpecialTitleSet.insert(title);
            ++special;
        }
    }
    std::string line = fmt::format("{} new regcode{} added", added, gf_plural(added));
    if (replaced > 0) line += fmt::format(", {} regcode{} replaced", replaced, gf_plural(replaced));
    if (special > 0) line += fmt::format(", {} regcode{} defined as special", special, gf_plural(special));
    gRegcodeReport.push_back(std::move(line));
}

void lf_processInlineRegcodes() {
    std::vector<std::string> clashes;
    for (const LiveryData& livery : gLiveries) {
        if (livery.regcode.empty()) continue;
        const std::string_view title = lf_findTitle(livery.title);
        if (title.empty()) {
            clashes.push_back(fmt::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                          gf_liveryKey2Text(livery.key), livery.regcode, livery.title));
            continue;
        }
        const auto [mapped, inserted] = gRegcodeMap.try_emplace(livery.regcode, title);
        if (!inserted && mapped->second != title)
            clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", livery.regcode, title, mapped->second));
        const auto [stored, added] = gTitleRegcodes.try_emplace(title, livery.regcode);
        if (!added && stored->second != livery.regcode)
            clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", title, livery.regcode, stored->second));
    }
    if (clashes.empty()) return;
    const fs::path& folder = gf_paths().errorsFolder;
    const fs::path path = folder / "InlineRegcodes.txt";
    std::error_code error;
    fs::create_directories(folder, error);
    lf_writeReport(clashes, path);
    gf_log(fmt::format("{:5} in-line regcode clashes, see '{}'", clashes.size(), gf_pathToUtf8Lossy(path)));
}

void lf_processAigRegcodes() {
    const std::string pathText = gf_pathToUtf8Lossy(gf_paths().aigRegcodesXmlPath);
    gRegcodeReport.push_back(fmt::format("Processing file {}", pathText));
    std::vector<RegcodeEntry> entries;
    entries.reserve(7000);
    if (!lf_readAigRegcodes(entries))
        gRegcodeReport.push_back(fmt::format("There were errors processing the AIG-regcode file '{}', see Log.txt", pathText));
    lf_mergeRegcodes(entries);
}

void lf_processMyRegcodes() {
    const fs::path& folder = gf_paths().myRegcodesFolder;
    std::error_code error;
    if (!fs::is_directory(folder, error) || fs::is_empty(folder, error)) return;
    const std::string folderText = gf_pathToUtf8Lossy(folder);
    gRegcodeReport.push_back(fmt::format("Processing files in {}", folderText));
    std::vector<RegcodeEntry> entries;
    entries.reserve(1000);
    if (!lf_readRegcodeFiles(folder, entries))
        gf_setStatusLine(fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt", folderText),
                         true);
    lf_mergeRegcodes(entries);
}

void lf_processOfflineRegcodes() {
    const ProgramPaths& paths = gf_paths();
    gRegcodeReport.clear();
    try {
        if (gf_streamDecrypt(paths.aigRegcodesEncPath, paths.aigRegcodesXmlPath)) {
            lf_processAigRegcodes();
            gf_removeFile(paths.aigRegcodesXmlPath);
        } else {
            // The user's own files do not depend on the AIG file: they still apply.
            gRegcodeReport.push_back(fmt::format("The AIG-regcode file '{}' could not be read, it was skipped",
                                                 gf_pathToUtf8Lossy(paths.aigRegcodesEncPath)));
        }
        lf_processMyRegcodes();

        const fs::path reportPath = paths.infoFolder / "OfflineRegcodes.txt";
        if (fs::exists(reportPath)) fs::remove(reportPath);
        if (!gRegcodeReport.empty()) {
            fs::create_directories(paths.infoFolder);
            lf_writeReport(gRegcodeReport, reportPath);
            gf_log(fmt::format("Offline regcode files processed, results can be found in '{}'", gf_pathToUtf8Lossy(reportPath)));
        }
        if (!gSpecialTitles.empty()) gf_log(fmt::format("{:5} special liveries", gSpecialTitles.size()));
        if (!gUniqueRegcodes.empty()) gf_log(fmt::format("{:5} unique liveries", gUniqueRegcodes.size()));
    } catch (const std::exception& error) {
        gf_removeFile(paths.aigRegcodesXmlPath);
        gf_logHighlighted(fmt::format("exception: {}", error.what()));
    }
}

void lf_readDontUseTitlesFromFile() {
    std::vector<RegcodeEntry> entries;
    entries.reserve(7000);
    const bool ok = lf_readAigRegcodes(entries);
    int64_t added = 0;
    for (auto& entry : entries) {
        if (!entry.regcodes.empty()) continue;
        gDontUseTitles.push_back(std::move(entry.title));
        ++added;
    }
    gf_log(fmt::format("{:5} don't use title{} read", added, gf_plural(added)));
    if (!ok)
        gRegcodeReport.push_back(fmt::format("There were errors in processing the file '{}', see the Log.txt",
                                             gf_pathToUtf8Lossy(gf_paths().aigRegcodesXmlPath)));
}

void lf_readDontUseTitlesFromFolder() {
    const fs::path& folder = gf_paths().myRegcodesFolder;
    std::vector<RegcodeEntry> entries;
    entries.reserve(1000);
    const bool ok = lf_readRegcodeFiles(folder, entries);
    int64_t added = 0;
    for (auto& entry : entries) {
        if (!entry.regcodes.empty()) continue;
        gDontUseTitles.push_back(std::move(entry.title));
        ++added;
    }
    gf_log(fmt::format("{:5} don't use title{} read from files in {}", added, gf_plural(added), gf_pathToUtf8Lossy(folder)));
    if (!ok)
        gRegcodeReport.push_back(fmt::format("There were errors in processing the regcode files in folder '{}', see the Log.txt",
                                             gf_pathToUtf8Lossy(folder)));
}

void lf_clearRegcodes() {
    gRegcodeReport.clear();
    gRegcodeMap.clear();
    gTitleRegcodes.clear();
    gSpecialRegcodes.clear();
    gUniqueRegcodes.clear();
    gSpecialTitles.clear();
    gSpecialTitleSet.clear();
}

} // namespace tamrix
