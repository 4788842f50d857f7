#pragma once
// The updater: on a fresh start the program asks its download server ("versions.json") which
// versions of itself and of its data files are current. Newer reference files are downloaded
// into "input"; newer livery or add-on data request a scan at this start; a newer program is
// fetched as a zip archive whose installer is unpacked into "new_version" (never run), with the
// release notes and installation advice beside it, and the run then ends with "NEW VERSION".
//
// The updater never lets the server spoil the local state: a data file is replaced only by a
// complete download that the program's own reader of that file reads (the dbase and the airports
// file are then read for this start), its version setting is saved only then, an unreadable
// "versions.json" is logged and the start goes on with the local files, and nothing from the
// archive is written anywhere but to the installer's fixed name. A local data file of the
// server's version that does not read is fetched again. A version setting that records no
// version (empty or malformed) is older than any version of the server. Every download keeps
// within the size cap and deadline of its kind, and the installer unpacked from the archive
// within the archive's cap. The check first removes from the folders the downloads write (the
// program folder, "input", "new_version", "airports") the temporary files of downloads killed in
// an earlier run.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/version_data.hpp"

namespace tamrix {

// "{}.{}.{}" of major, minor and patch.
std::string gf_formatVersion(const VersionData& version);

// The three log lines of a component: "{} updated to {}", "{} version up-to-date", and
// (highlighted) "{} version not found".
void lf_logComponentUpdated(std::string_view key, const VersionData& version);
void lf_logComponentUpToDate(std::string_view key);
void lf_logComponentNotFound(std::string_view key);

// Downloads the data file of the program's major version (base address, "12/", name) to the
// output path (binary). Logs "Downloaded '{}' to '{}'" or (highlighted) "Downloading '{}' failed !".
bool gf_downloadDataFile(const std::string& fileName, const std::filesystem::path& output);

// The advice written into "new_version/README.txt": whether the installer needs administrator
// rights for this install folder (a protected program-files folder that this process cannot
// write to, and no elevation).
std::string lf_checkInstallerNeedsAdmin(const std::filesystem::path& installFolder);

// Fetches "latest_version.zip" from the release folder and unpacks its installer into
// "new_version/install_new_version.exe". True when the installer stands there. A failed
// download, an archive without a single installer entry, an unpack error or too little space
// make it false, and nothing stale is taken for the new version.
bool lf_downloadNewProgramVersion(const VersionData& serverVersion);

// The version list downloaded to the path, read only as a regular file within the size cap of
// its download (a pipe in its place is not waited on); a text that is no JSON gives a discarded
// value. Nothing (logged, naming the file and why) when the file cannot be read.
std::optional<nlohmann::json> lf_readVersionList(const std::filesystem::path& path);

// The check of one start (see above). False when a new program version was fetched and the run
// must end (the exit reason "NEW VERSION" is set); true otherwise, also when the server cannot
// be reached or answers nonsense. Throws UserErrorException 112 when the new version cannot be
// fetched or unpacked.
bool gf_checkForUpdates();

} // namespace tamrix
