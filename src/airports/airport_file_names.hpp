#pragma once
// Where an airport's file lies: the names of its airport and link files, whether the airport has
// a file the program can use, which file the park airport uses (the user's folders before the
// archive on the download server), the link files that point into the archive, and the learned
// file that belongs to an airport file.
//
// Located names are texts in the Windows form the program writes ('\' between folders; archived
// names keep their '/'), relative to the working folder. Files are found regardless of the
// letter case of their names, as Windows finds them.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/fixed_code.hpp"

namespace tamrix {

std::string gf_apfName(const FixedCode<4>& code);             // "XQAA.xml"
std::filesystem::path gf_apfFileName(const FixedCode<4>& code); // the same as a path
std::filesystem::path gf_apfLinkName(const FixedCode<4>& code); // "XQAA.txt"
// The code (four blanks when not set) and the version without its dots: "XQAF123".
std::string gf_apfVersionedName(const FixedCode<4>& code, std::string_view version);

// The airport has a generated or linked file in the user's folders, or an archived stock file
// (the airport table lists 1 or more stands for it). Throws the file-system error "exists" when
// a folder's status cannot be read.
bool gf_apfExists(const FixedCode<4>& code);
// A link file's first line, without trailing white space, when it ends in ".xml" (any case) and
// holds no control character; false (and an empty text) for a missing or empty file or any other
// first line, which is logged once per file.
bool lf_readApfLink(const std::filesystem::path& path, std::string& target);
// The park airport's file, first match wins: the thirdparty link, the thirdparty file, the
// simaddon link, the simaddon file, "archive/stock/" + name when the airport table lists stands.
// Empty when there is none. A result beginning with "airports" is a local file, any other an
// archived file to download.
std::string gf_locateApf(const FixedCode<4>& code);

// The learned file of an airport file (as gf_locateApf names it) and its publisher; saving and
// merging both use it, so what is learned is always read back from where it was saved. Empty
// for a name without the ".xml" extension or outside the known folders. Publisher folder names
// are made safe for every file system: no folder separators, no characters Windows refuses in
// names, no "." or ".."; a publisher that leaves nothing has its learned files directly in the
// thirdparty folder.
std::filesystem::path lf_learnedApfPath(std::string_view airportFile, std::string_view publisher);

// The text without leading and trailing blanks (' ' only).
std::string gf_trimBlanks(std::string_view text);

// A publisher text as a folder name (see lf_learnedApfPath); empty when nothing usable is left.
std::string gf_safePublisherFolder(std::string_view publisher);

} // namespace tamrix
