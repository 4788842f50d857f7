#pragma once
// The last step of the airports scan for one airport: a link file that points to the archived
// airport file shipped with the program, or, when the archive has none, an airport file
// generated from the stands the scan read. Both land in the user's folders "airports" +
// "my_simaddon" (publisher "simaddon") or "airports" + "my_thirdparty" (every other publisher,
// also an empty one), where the park airport search finds them before the archive.
//
// Every decision is appended to the scan log. Start-up thread (the scan's thread).

#include <cstdint>
#include <optional>
#include <string>

#include "airports/scanned_airport.hpp"
#include "core/fixed_code.hpp"

namespace tamrix {

// Detects the publisher when the airport has none yet (which may read the package manifest into
// it), then writes the link file "CODE.txt" whose one line names the archived file. True when
// the link file was written; false when there is no publisher, no archived file is listed for
// the airport, or the link file could not be written (the caller then reads the stands and
// generates the airport file).
bool lf_linkArchivedApf(ScannedAirport& airport);

// "archive/simaddon/CODE.xml" when the running simulator's simaddon list holds the code; none
// otherwise (with a scan-log line).
std::optional<std::string> lf_simaddonLinkTarget(const std::optional<FixedCode<4>>& code);

// "archive/thirdparty/" + publisher (blanks as "%20") + "/" + the versioned name when the
// package's version is known and listed for the publisher, else the bare airport-file name when
// that is listed; none otherwise (with a scan-log line).
std::optional<std::string> lf_thirdpartyLinkTarget(const ScannedAirport& airport);

// Writes the airport file "CODE.xml" from the airport's stands (sorted by id, byte by byte) in
// airport-file mode for the running simulator, in the simaddon or thirdparty user folder; the
// folder is created when missing (a failure throws std::filesystem::filesystem_error). An
// airport without stands gets no file. helipads: how many of the stands are helipads, for the
// scan log. A failed write is logged; the scan goes on.
void lf_generateApf(ScannedAirport& airport, int32_t helipads);

} // namespace tamrix
