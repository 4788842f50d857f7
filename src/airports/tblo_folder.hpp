#pragma once
// The "tblo" folder: known add-on airports whose files the airport scan generated are collected
// there and packed into "tblo/tblo.zip", which the user sends to the program's maker so that
// those airports can be learned off line. The window's "tblo.zip" button opens the archive's
// folder, and a yellow notice asks for the mail while the copy counter is not 0.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tamrix {

class ZipArchive;

// Where the "! Mail" log line asks the user to send the archive.
inline constexpr std::string_view kTbloMailAddress = "the Quorvel team (see \"tblo.zip\" in docs/window.md)";

// Entries of "tblo" when it was last packed; 0 while nothing is waiting. Written by the scan's
// thread, read by the painting; the scan and the closing set it back to 0.
extern std::atomic<uint64_t> gTbloCopyCounter;

// Copy the known airports' files of "airports/my_simaddon" (or "airports/my_thirdparty") into
// "tblo". On one file system the copy is a second name of the same file (airport files are only
// ever replaced by renaming a new file over them, so it keeps its content like a copy); else the
// bytes are copied. A source with a ".txt" companion is removed once copied. In "my_thirdparty"
// the KMCI file of the publisher "TropicalSim" is removed instead (a failed removal throws the
// file-system error "remove"). Copy and removal failures are logged; the next file follows.
void lf_copySimaddonToTblo();
void lf_copyThirdpartyToTblo();

// Packs "tblo" into "tblo/tblo.zip", removes the packed ".XML" files, sets the copy counter (the
// entries packed from), enables the "tblo.zip" button and asks for the mail. An empty or missing
// folder (an earlier archive aside) sets the counter to 0 and logs that all add-on airports are
// recognised - unless copies failed since the last packing, which it counts in a highlighted
// line instead; so does a pack that fails, after "Zippen TBLO folder failed", without asking
// for the mail. An earlier archive stays until a new one replaces it.
void lf_zipTbloFolder();

// Packs the regular files directly in "tblo" (not the archive itself) into the archive at
// `target`, flat, each named by its file name. The archive is written under a temporary name
// and renamed over `target` only when it is complete, so a failed pack leaves an earlier
// archive as it was. True when an archive with at least one file stands at `target`. Errors
// of the folder's iteration and of an entry's status reach the caller.
bool lf_zipDirectory(const std::filesystem::path& target);

// The whole content of a file; nothing when it cannot be opened or read.
std::optional<std::vector<char>> lf_readFileBytes(const std::filesystem::path& path);

} // namespace tamrix
