#include "airports/my_park_airports.hpp"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <list>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/text_encoding.hpp"
#include "core/text_files.hpp"
#include "refdata/airports.hpp"

namespace tamrix {
namespace {

constexpr const char* kFileName = "my_park_airports.txt";
constexpr std::size_t kManyAirports = 3000;
// A line per airport: far more lines than any user lists.
constexpr std::size_t kMaxListBytes = std::size_t{1} << 20;
constexpr double kMovedDegrees = 1e-8;

struct ParkList {
    std::mutex lock;
    std::list<MyParkAirport> airports;
    std::string reservedStandName;
    GeoPosition lastSort{};
};

ParkList& parkList() {
    static auto* list = new ParkList;
    return *list;
}

std::filesystem::path filePath() { return gf_paths().myParkAirportsPath; }

// The fields of a line split at every comma, each trimmed; empty fields kept, so that ",A1" is
// not taken for an airport "A1". A line of white space has no field.
std::vector<std::string> fieldsOf(std::string_view line) {
    std::vector<std::string> fields;
    if (gf_trimView(line).empty()) return fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.emplace_back(gf_trimView(line.substr(start, comma == std::string_view::npos ? line.npos : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return fields;
}

// The file's lines in UTF-8, in whatever charset an editor saved it (UTF-8 with or without a
// mark, Notepad's "Unicode", the ANSI code page), LF, CRLF or an old Mac's CR endings. A byte-order
// mark that starts a line (two files joined into one) is dropped like the one that starts the
// file. Nothing when the file is not there; an error when it is there but unreadable.
enum class ReadResult { Read, Missing, Failed };
ReadResult readFileLines(const std::filesystem::path& path, std::vector<std::string>& lines, std::string& problem) {
    // Only a regular file is read: a pipe in its place is not waited on.
    std::vector<std::string> read;
    FileBytes file = gf_readAnyTextFile(path, read, kMaxListBytes);
    if (file.openError == ENOENT) return ReadResult::Missing;
    if (!file.read()) {
        problem = std::move(file.problem);
        return ReadResult::Failed;
    }
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    lines.clear();
    for (const std::string& text : read) {
        // No airport code or stand name holds a CR: one inside a line ends it.
        std::string_view rest = text;
        for (;;) {
            const std::size_t cr = rest.find('\r');
            std::string_view line = rest.substr(0, cr);
            if (line.starts_with(kMark)) line.remove_prefix(kMark.size());
            lines.emplace_back(line);
            if (cr == std::string_view::npos) break;
            rest.remove_prefix(cr + 1);
            if (rest.empty()) break;
        }
    }
    return ReadResult::Read;
}

std::string lineOf(const MyParkAirport& entry) {
    return entry.reservedStand.empty() ? entry.code.text() : entry.code.text() + "," + entry.reservedStand;
}

// Writes the entry's line into the file; the list's lock is held by the caller.
bool writeEntryLocked(const MyParkAirport& front) {
    const std::filesystem::path path = filePath();
    const std::string newLine = lineOf(front);
    std::vector<std::string> lines;
    std::string problem;
    switch (readFileLines(path, lines, problem)) {
    case ReadResult::Failed:
        // The user's list is still there; writing only the new line would lose it.
        gf_logHighlighted(fmt::format("{} could not be read, {} not recorded: {}", path.string(), newLine, problem));
        return false;
    case ReadResult::Missing:
        lines.push_back(newLine);
        gf_log(fmt::format("{} created with {}", kFileName, newLine));
        break;
    case ReadResult::Read: {
        bool replaced = false;
        for (std::string& line : lines) {
            if (gf_setMyParkAirportStand(front, newLine, line)) {
                replaced = true;
                gf_log(fmt::format("{}:{} updated stand", kFileName, newLine));
                break;
            }
        }
        // Further lines of the same airport would sort before or after the new one, and the
        // first one read wins: the airport keeps one line, the new one.
        if (replaced)
            std::erase_if(lines, [&](const std::string& line) {
                const std::vector<std::string> fields = fieldsOf(line);
                return line != newLine && !fields.empty() && fields[0] == front.code.text();
            });
        if (!replaced) {
            lines.insert(lines.begin(), newLine);
            gf_log(fmt::format("{}:{} new entry", kFileName, newLine));
        }
        break;
    }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    std::string bytes;
    for (const std::string& line : lines) {
        // Blank lines of a hand-edited file are not kept, nor lines holding a zero byte: no editor
        // writes one in a text, and at the file's start it would make the list read as UTF-16.
        if (gf_trimView(line).empty() || line.find('\0') != std::string::npos) continue;
        bytes += line;
        bytes += '\n';
    }
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    return gf_writeFileAtomically(path, bytes);
}

bool sameCode(const MyParkAirport& entry, const FixedCode<4>& code) { return entry.code == code; }

// The airport record's position for a listed code, or nothing for an unknown airport.
std::optional<GeoPosition> airportPosition(const FixedCode<4>& code) {
    const AirportRecord* record = gf_findAirport(code);
    if (record == nullptr) return std::nullopt;
    return GeoPosition{record->latitude, record->longitude};
}

void addThirdpartyLocked(ParkList& list) {
    const std::filesystem::path folder = gf_paths().myThirdpartyFolder;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return;
    std::unordered_set<FixedCode<4>> listed;
    for (const MyParkAirport& entry : list.airports) listed.insert(entry.code);
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        FixedCode<4> code;
        try {
            code = FixedCode<4>(it->path().stem().string());
        } catch (const std::invalid_argument&) {
            continue;
        }
        if (listed.contains(code)) continue;
        const std::optional<GeoPosition> position = airportPosition(code);
        if (!position) continue;
        listed.insert(code);
        list.airports.push_back(MyParkAirport{{}, position->latitude, position->longitude, 0.0, code});
    }
    if (ec) gf_logHighlighted(fmt::format("{}: {}", folder.string(), ec.message()));
}

} // namespace

bool lf_readMyParkAirports() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    list.airports.clear();
    bool result = true;
    const std::filesystem::path path = filePath();
    try {
        std::vector<std::string> lines;
        std::string problem;
        switch (readFileLines(path, lines, problem)) {
        case ReadResult::Missing: gf_log(fmt::format("{} not found", path.string())); break;
        case ReadResult::Failed:
            gf_logHighlighted(fmt::format("{} could not be read: {}", path.string(), problem));
            result = false;
            break;
        case ReadResult::Read: {
            std::unordered_set<std::string> seen;
            for (const std::string& line : lines) {
                const std::vector<std::string> fields = fieldsOf(line);
                if (fields.empty()) continue;
                FixedCode<4> code;
                bool valid = fields.size() <= 2 && !fields[0].empty();
                if (valid) {
                    try {
                        code = FixedCode<4>(fields[0]);
                    } catch (const std::invalid_argument&) {
                        valid = false; // one typo costs this line only
                    }
                }
                if (!valid) {
                    gf_logHighlighted(fmt::format("{}:{} wrong syntax, skipped", kFileName, gf_visibleText(line)));
                    continue;
                }
                if (!seen.insert(fields[0]).second) {
                    gf_logHighlighted(fmt::format("{}:{} double, skipped", kFileName, gf_visibleText(fields[0])));
                    continue;
                }
                const std::optional<GeoPosition> position = airportPosition(code);
                if (!position) {
                    gf_setStatusLine(fmt::format("airport {} is unknown", fields[0]), true);
                    result = false;
                    continue;
                }
                list.airports.push_back(MyParkAirport{fields.size() == 2 ? fields[1] : std::string{},
                                                      position->latitude, position->longitude, 0.0, code});
            }
            break;
        }
        }
        if (!list.airports.empty()) {
            const auto count = static_cast<int64_t>(list.airports.size());
            gf_log(fmt::format("\n{:5} park airport{} read from '{}'", count, gf_plural(count), kFileName));
            if (list.airports.size() > kManyAirports)
                gf_setStatusLine(fmt::format("Warning: There are a lot of airports ({}), that will cost Quorvel much "
                                             "cpu time and may cause stutters",
                                             count),
                                 true);
        }
        addThirdpartyLocked(list);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
        return false;
    }
    return result;
}

void lf_addMyThirdpartyAirports() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    addThirdpartyLocked(list);
}

bool gf_writeMyParkAirports() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    if (list.airports.empty()) return false;
    return writeEntryLocked(list.airports.front());
}

bool gf_setMyParkAirportStand(const MyParkAirport& front, const std::string& newLine, std::string& line) {
    const std::vector<std::string> fields = fieldsOf(line);
    if (fields.empty() || fields[0] != front.code.text()) return false;
    line = newLine;
    return true;
}

void gf_sortMyParkAirports(GeoPosition user) {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    if (list.airports.empty()) return;
    const auto distanceOf = [&user](const MyParkAirport& entry) {
        return gf_distanceNm(user, {entry.latitude, entry.longitude});
    };
    if (std::abs(user.latitude - list.lastSort.latitude) < kMovedDegrees &&
        std::abs(user.longitude - list.lastSort.longitude) < kMovedDegrees) {
        list.airports.front().distance = distanceOf(list.airports.front());
        return;
    }
    list.lastSort = user;
    if (!DESTINATION.current.get().empty()) return; // the destination stays in front
    for (MyParkAirport& entry : list.airports) entry.distance = distanceOf(entry);
    list.airports.sort([](const MyParkAirport& a, const MyParkAirport& b) { return a.distance < b.distance; });
}

void gf_selectMyParkAirport(const FixedCode<4>& code, GeoPosition position) {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    const auto it = std::find_if(list.airports.begin(), list.airports.end(),
                                 [&code](const MyParkAirport& entry) { return sameCode(entry, code); });
    if (it != list.airports.end()) {
        list.airports.splice(list.airports.begin(), list.airports, it);
        return;
    }
    list.airports.push_front(MyParkAirport{{}, position.latitude, position.longitude, 0.0, code});
    writeEntryLocked(list.airports.front());
}

std::vector<MyParkAirport> gf_myParkAirports() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    return {list.airports.begin(), list.airports.end()};
}

std::optional<MyParkAirport> gf_frontParkAirport() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    if (list.airports.empty()) return std::nullopt;
    return list.airports.front();
}

void gf_recordParkAirportStand(const FixedCode<4>& code, GeoPosition position, const std::string& stand) {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    if (!list.airports.empty() && sameCode(list.airports.front(), code)) {
        MyParkAirport& front = list.airports.front();
        if (stand.empty() || stand == front.reservedStand) return;
        front.reservedStand = stand;
        writeEntryLocked(front);
        return;
    }
    // Listed further down (a destination was in front): the entry moves up with its reserved
    // stand, which only a stand the user stands on now replaces.
    const auto it = std::find_if(list.airports.begin(), list.airports.end(),
                                 [&code](const MyParkAirport& entry) { return sameCode(entry, code); });
    if (it != list.airports.end()) {
        list.airports.splice(list.airports.begin(), list.airports, it);
        MyParkAirport& front = list.airports.front();
        if (stand.empty() || stand == front.reservedStand) return;
        front.reservedStand = stand;
        writeEntryLocked(front);
        return;
    }
    list.airports.push_front(MyParkAirport{stand, position.latitude, position.longitude, 0.0, code});
    writeEntryLocked(list.airports.front());
}

bool gf_recordUserStandAtFront(const FixedCode<4>& parkCode, const std::string& stand) {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    if (stand.empty() || list.airports.empty() || !parkCode.isSet()) return false;
    MyParkAirport& front = list.airports.front();
    if (!sameCode(front, parkCode) || front.reservedStand == stand) return false;
    front.reservedStand = stand;
    writeEntryLocked(front);
    return true;
}

std::string gf_reservedStandName() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    return list.reservedStandName;
}

void gf_setReservedStandName(std::string name) {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    list.reservedStandName = std::move(name);
}

void gf_resetMyParkAirports() {
    ParkList& list = parkList();
    std::lock_guard guard(list.lock);
    list.airports.clear();
    list.reservedStandName.clear();
    list.lastSort = {};
}

} // namespace tamrix
