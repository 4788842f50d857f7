#include "airports/airport_file_names.hpp"

#include <algorithm>
#include <mutex>
#include <optional>
#include <set>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/string_helpers.hpp"
#include "core/text_files.hpp"
#include "refdata/airports.hpp"

namespace tamrix {

namespace {

constexpr std::string_view kArchiveStock = "archive/stock/";

std::optional<std::filesystem::path> findFile(const std::filesystem::path& folder, const std::string& name) {
    std::optional<std::filesystem::path> found = gf_findChildIgnoringCase(folder, name);
    if (!found) return std::nullopt;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(*found, ec)) return std::nullopt;
    return found;
}

bool hasStockArchive(const FixedCode<4>& code) {
    const AirportRecord* record = gf_findAirport(code);
    return record != nullptr && record->standCount >= 1;
}

bool linkNamesFile(const std::filesystem::path& folder, const FixedCode<4>& code, std::string& target) {
    target.clear();
    const std::optional<std::filesystem::path> link = findFile(folder, gf_apfLinkName(code).string());
    return link && lf_readApfLink(*link, target);
}

// Why a link file is not used, logged once per file: the file is read again on every look-up.
void reportUnusedLink(const std::filesystem::path& path, std::string_view why) {
    static std::mutex lock;
    static std::set<std::filesystem::path> reported;
    {
        std::lock_guard guard(lock);
        std::error_code ec;
        if (!reported.insert(std::filesystem::absolute(path, ec)).second) return;
    }
    gf_logHighlighted(fmt::format("link file {}: {}, not used", path.string(), why));
}

// Builds the result anew rather than replacing in place, which g++ 12 warns of falsely.
void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t begin = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, begin)) {
        out.append(text, begin, at - begin).append(to);
        begin = at + from.size();
    }
    out.append(text, begin);
    text = std::move(out);
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::filesystem::path learnedFolder() { return gf_paths().airportsFolder / gf_paths().learnedName; }

std::filesystem::path thirdpartyLearned(std::string_view publisher, const std::string& fileName) {
    const std::string folder = gf_safePublisherFolder(publisher);
    std::filesystem::path path = learnedFolder() / gf_paths().thirdpartyName;
    if (!folder.empty()) path /= folder;
    return path / fileName;
}

} // namespace

std::string gf_apfName(const FixedCode<4>& code) { return code.text() + ".xml"; }
std::filesystem::path gf_apfFileName(const FixedCode<4>& code) { return gf_apfName(code); }
std::filesystem::path gf_apfLinkName(const FixedCode<4>& code) { return code.text() + ".txt"; }

std::string gf_apfVersionedName(const FixedCode<4>& code, std::string_view version) {
    std::string name = code.text();
    for (char c : version)
        if (c != '.') name.push_back(c);
    return name;
}

bool gf_apfExists(const FixedCode<4>& code) {
    const ProgramPaths& paths = gf_paths();
    const std::string file = gf_apfName(code);
    const std::string link = gf_apfLinkName(code).string();
    return findFile(paths.myThirdpartyFolder, file) || findFile(paths.myThirdpartyFolder, link) ||
           findFile(paths.mySimaddonFolder, file) || findFile(paths.mySimaddonFolder, link) || hasStockArchive(code);
}

bool lf_readApfLink(const std::filesystem::path& path, std::string& target) {
    target.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return false;
    TextFile file{path, {}};
    const ReadLinesResult read = gf_readLines(file, 4);
    if (!read.ok || read.lines.empty()) return false;
    std::string line = read.lines.front();
    while (!line.empty() && std::string_view(" \t\r\n\v\f").find(line.back()) != std::string_view::npos) line.pop_back();
    if (line.size() < 4 || !gf_upperEquals(".XML", std::string_view(line).substr(line.size() - 4))) {
        reportUnusedLink(
            path, fmt::format("its first line '{}' names no \".xml\" file", gf_logSafeText(line, 200)));
        return false;
    }
    // A control character (a NUL above all, which would cut the name short) makes no file name.
    if (std::any_of(line.begin(), line.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        reportUnusedLink(path, "a control character in its first line");
        return false;
    }
    target = std::move(line);
    return true;
}

std::string gf_locateApf(const FixedCode<4>& code) {
    const ProgramPaths& paths = gf_paths();
    const std::string file = gf_apfName(code);
    std::string target;
    for (const std::filesystem::path* folder : {&paths.myThirdpartyFolder, &paths.mySimaddonFolder}) {
        if (linkNamesFile(*folder, code, target)) return target;
        if (const auto found = findFile(*folder, file)) return gf_windowsTextOfPath(*found);
    }
    if (hasStockArchive(code)) return std::string(kArchiveStock) + file;
    return {};
}

std::filesystem::path lf_learnedApfPath(std::string_view airportFile, std::string_view publisher) {
    std::string text(airportFile);
    std::replace(text.begin(), text.end(), '/', '\\');
    const std::size_t lastSeparator = text.rfind('\\');
    const std::string fileName = lastSeparator == std::string::npos ? text : text.substr(lastSeparator + 1);
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0 || !gf_upperEquals(".XML", std::string_view(fileName).substr(dot))) return {};
    const ProgramPaths& paths = gf_paths();
    if (startsWith(text, "archive\\stock\\")) return learnedFolder() / paths.stockName / fileName;
    if (startsWith(text, "archive\\simaddon\\")) return learnedFolder() / paths.simaddonName / fileName;
    constexpr std::string_view kThirdpartyArchive = "archive\\thirdparty\\";
    if (const std::size_t at = text.find(kThirdpartyArchive); at != std::string::npos) {
        const std::size_t begin = at + kThirdpartyArchive.size();
        const std::size_t end = text.find('\\', begin);
        if (end == std::string::npos) return {};
        std::string folder = text.substr(begin, end - begin);
        replaceAll(folder, "%20", " ");
        if (gf_safePublisherFolder(folder).empty()) return {};
        return thirdpartyLearned(folder, fileName);
    }
    if (startsWith(text, "airports\\")) {
        const std::string rest = text.substr(9);
        if (startsWith(rest, "my_thirdparty2024\\") || startsWith(rest, "my_thirdparty\\"))
            return thirdpartyLearned(publisher, fileName);
        std::filesystem::path path = learnedFolder();
        std::size_t begin = 0;
        while (begin <= rest.size()) {
            const std::size_t end = std::min(rest.find('\\', begin), rest.size());
            const std::string part = rest.substr(begin, end - begin);
            if (part == "..") return {};
            if (!part.empty() && part != ".") path /= part;
            begin = end + 1;
        }
        return path;
    }
    return {};
}

std::string gf_trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string gf_safePublisherFolder(std::string_view publisher) {
    std::string folder;
    folder.reserve(publisher.size());
    for (char c : publisher) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\')
            folder.push_back(' ');
        else if (u < 0x20 || std::string_view(":*?\"<>|").find(c) != std::string_view::npos)
            continue;
        else
            folder.push_back(c);
    }
    folder = gf_trimBlanks(folder);
    while (!folder.empty() && (folder.back() == '.' || folder.back() == ' ')) folder.pop_back();
    return folder;
}

} // namespace tamrix
