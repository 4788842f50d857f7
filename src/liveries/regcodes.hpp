#pragma once
// Regcodes: which installed livery shows which real aircraft. Three sources are merged into
// gRegcodeMap (registration -> installed title), in this order, later ones winning: the
// registrations written in the liveries themselves (in-line), the AIG regcode file
// "AIG-regcodes.xml" (decrypted from "AIG-regcodes.enc" for the time of reading) and the user's
// own text files in "input/my_regcodes". A source may mark a livery as special: it then serves
// its own registrations only and the other matching steps avoid it. Titles that a source lists
// without registrations must not be used as liveries at all (gDontUseTitles).
//
// Built on the start-up thread while the livery index is processed; read-only afterwards.
// Every title view points into the livery index and stays valid until gf_clearLiveryIndex.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamrix {

// Hashes owned and viewed texts alike, so maps keyed by std::string can be searched with a view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

struct RegcodeEntry {
    std::string title;
    std::list<std::string> regcodes; // may be empty: a title not to use
    bool special = false;
};

extern std::unordered_map<std::string, std::string_view, TextHash, std::equal_to<>> gRegcodeMap;
// Installed title -> its in-line registration.
extern std::unordered_map<std::string_view, std::string> gTitleRegcodes;
extern std::set<std::string, std::less<>> gSpecialRegcodes; // every registration of a special livery
extern std::set<std::string, std::less<>> gUniqueRegcodes;  // the one registration of a special livery
extern std::vector<std::string_view> gSpecialTitles;        // one per special entry, repeats possible
extern std::vector<std::string> gRegcodeReport;             // lines of "OfflineRegcodes.txt"

// A title of a special livery (compared by text).
bool gf_isSpecialTitle(std::string_view title);

// One line of a user regcode file: nothing for a line that is ignored or yields no entry. A
// registration of a wrong length (fewer than 3 or more than 12 characters) is logged and clears
// `ok`.
std::optional<RegcodeEntry> lf_parseRegcodeLine(std::string_view line, const std::filesystem::path& file, bool& ok);
// Appends the entries of every ".TXT" file (any letter case) directly in the folder, in name
// order. False when a file or the folder could not be read or a line had a bad registration;
// the other files are still read.
bool lf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries);
// Appends the entries of input/"AIG-regcodes.xml" (or of the plain AIG file at `xmlPath`), read
// only as a regular file of at most 64 MiB (a pipe in its place is not waited on). False when it
// does not load (logged, with the cause when it was not read; the file is then removed), has no
// valid meta block or no <aig> element, or repeats a title.
bool lf_readAigRegcodes(std::vector<RegcodeEntry>& entries);
bool lf_readAigRegcodes(const std::filesystem::path& xmlPath, std::vector<RegcodeEntry>& entries);
// Merges entries of installed titles into gRegcodeMap and the special sets and reports the
// counts (and each replaced registration) in gRegcodeReport.
void lf_mergeRegcodes(const std::vector<RegcodeEntry>& entries);

// The in-line registrations of gLiveries; clashes go to output/errors/"InlineRegcodes.txt".
void lf_processInlineRegcodes();
void lf_processAigRegcodes();
void lf_processMyRegcodes();
// The AIG file and the user's files, and the report output/info/"OfflineRegcodes.txt". The
// user's files apply also when the AIG file cannot be read.
void lf_processOfflineRegcodes();

// The titles without registrations of the AIG file (already decrypted) and of the user's files
// go to gDontUseTitles.
void lf_readDontUseTitlesFromFile();
void lf_readDontUseTitlesFromFolder();

// Empties the registration map, the special sets and the report lines (part of
// gf_clearLiveryIndex).
void lf_clearRegcodes();

} // namespace tamrix
