#include "app/updater.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "airports/downloader.hpp"
#include "app/app_state.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/text_files.hpp"
#include "core/user_error.hpp"
#include "core/zip_archive.hpp"
#include "liveries/regcodes.hpp"
#include "platform/win32/known_folders.hpp"
#include "platform/win32/shell.hpp"
#include "refdata/encrypted_file.hpp"
#include "refdata/reference_data.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kVersionsFile = "versions.json";
constexpr std::string_view kLatestVersionZip = "latest_version.zip";
constexpr std::string_view kReadmeName = "README.txt";
constexpr std::size_t kUnzipChunkBytes = 524288;

enum class Action { ProgramUpdate, DataFile, LiveryScan, AddonScan };

// Reads a data file (the encrypted file at the path) with the reader the program reads it with;
// the cause when it cannot be read.
using DataFileReader = std::optional<std::string> (*)(const fs::path& encFile);

std::optional<std::string> readAirportsFile(const fs::path& encFile) {
    return gf_readReferenceFile(ReferenceFile::Airports, encFile);
}

std::optional<std::string> readDbaseFile(const fs::path& encFile) {
    return gf_readReferenceFile(ReferenceFile::Dbase, encFile);
}

// The livery scan reads the AIG file; a file whose entries it takes (if with repeated titles)
// is usable.
std::optional<std::string> readAigFile(const fs::path& encFile) {
    fs::path plain = encFile;
    plain.replace_extension(".xml");
    if (const auto problem = gf_decryptReferenceFile(encFile, plain)) return problem;
    std::vector<RegcodeEntry> entries;
    bool usable = false;
    try {
        usable = lf_readAigRegcodes(plain, entries) || !entries.empty();
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", plain.string(), e.what()));
    }
    gf_removeFile(plain);
    if (usable) return std::nullopt;
    return "it holds no AIG regcode table";
}

struct Component {
    std::string_view key;
    Action action;
    StringParameter* setting;     // null for the program
    fs::path ProgramPaths::*file; // the file whose absence also calls for the action; null: none
    DataFileReader read;          // data files: the program's reader of the file
};

// In the order they are looked at.
const std::array<Component, 6>& components() {
    static const std::array<Component, 6> table{{
        {"msfs_app", Action::ProgramUpdate, nullptr, nullptr, nullptr},
        {"airports", Action::DataFile, &AIRPORTS_VERSION, &ProgramPaths::airportsEncPath, readAirportsFile},
        {"aig", Action::DataFile, &AIG_VERSION, &ProgramPaths::aigRegcodesEncPath, readAigFile},
        {"liveries", Action::LiveryScan, &LIV_SCAN_VERSION, &ProgramPaths::liveriesScannedPath, nullptr},
        {"addons", Action::AddonScan, &ADDONS_SCAN_VERSION, nullptr, nullptr},
        {"dbase", Action::DataFile, &DBASE_VERSION, &ProgramPaths::dbaseEncPath, readDbaseFile},
    }};
    return table;
}

// The server's version of a component: an object with integer "major", "minor" and "patch".
std::optional<VersionData> serverVersionOf(const nlohmann::json& value) {
    if (!value.is_object()) return std::nullopt;
    for (const char* member : {"major", "minor", "patch"}) {
        const auto it = value.find(member);
        if (it == value.end() || !it->is_number_integer()) return std::nullopt;
        const auto number = it->get<int64_t>();
        if (number < 0 || number > INT32_MAX) return std::nullopt;
    }
    return VersionData::fromJson(value);
}

bool fileIsThere(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

void removeQuietly(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Downloads the data file beside its target and reads it with the program's reader; only a file
// that reads takes the place of the old one: a failed, cut or foreign download, or one whose
// table cannot be read, never replaces a good file.
bool updateDataFile(const fs::path& target, DataFileReader read) {
    fs::path staging = target;
    staging += ".download";
    if (!gf_downloadDataFile(target.filename().string(), staging)) return false;
    if (const auto problem = read(staging)) {
        gf_logHighlighted(fmt::format("The downloaded {} is no valid data file ({}); {} stays as it was",
                                      target.filename().string(), *problem, target.string()));
        removeQuietly(staging);
        return false;
    }
    // As every file of the program: a link at the target stays, the file it leads to is replaced.
    if (const FileReplaceResult moved = gf_moveFileInto(staging, target); !moved.written()) {
        gf_logHighlighted(
            fmt::format("could not rename {} => {}: {}", staging.string(), moved.nameOf(target), moved.failure));
        removeQuietly(staging);
        return false;
    }
    return true;
}

void requestScan(CheckBoxParameter& scan) {
    scan.current = true;
    gf_saveBoolParameter(scan);
    gf_showCheckBox(scan);
    if (HWND window = gf_controlLookupWindow(); window != nullptr) InvalidateRect(window, &kOptionsArea, TRUE);
}

// The one entry of the archive that is the installer: the only file in it, or else the first
// whose name ends in ".exe". Directory entries do not count.
std::optional<ZipEntry> installerEntry(const std::vector<ZipEntry>& entries) {
    std::vector<ZipEntry> files;
    for (const ZipEntry& entry : entries)
        if (!entry.isDirectory()) files.push_back(entry);
    if (files.size() == 1) return files.front();
    for (const ZipEntry& entry : files) {
        const std::string name = gf_toLowerAscii(entry.name);
        if (name.size() > 4 && name.ends_with(".exe")) return entry;
    }
    return std::nullopt;
}

// Unpacks the installer entry of the archive into `installer`. Whatever the entry is called, only
// that one file is written; a failure removes what was written.
bool unpackInstaller(const fs::path& zipPath, const fs::path& installer) {
    ZipArchive archive(zipPath);
    if (!archive.open(ZipArchive::ReadOnly)) {
        gf_logHighlighted(fmt::format("Could not open {}", zipPath.string()));
        return false;
    }
    const std::vector<ZipEntry> entries = archive.getEntries();
    const std::optional<ZipEntry> entry = installerEntry(entries);
    if (!entry) {
        gf_logHighlighted(fmt::format("{} holds {} entries and no single installer", zipPath.string(), entries.size()));
        return false;
    }
    if (entries.size() > 1)
        gf_log(fmt::format("{} holds {} entries, unpacking {}", zipPath.string(), entries.size(), entry->name));
    std::error_code ec;
    if (fs::exists(installer, ec) && !fs::remove(installer, ec) && ec)
        gf_logHighlighted(fmt::format("Warning: could not remove old installer: {}", ec.message()));
    const fs::space_info space = fs::space(fs::absolute(installer).parent_path(), ec);
    if (!ec && entry->size > space.available) {
        gf_logHighlighted(fmt::format("Not enough space for {}: {} bytes, {} available", installer.string(), entry->size,
                                      space.available));
        return false;
    }
    // The installer may take no more than the archive itself may: a few megabytes of zeros
    // unpack to gigabytes. The header's size may lie, so the bytes written are what counts.
    const uint64_t cap = gf_downloadLimits(DownloadKind::ProgramArchive).maxBytes;
    const auto refuseTooLarge = [&] {
        gf_logHighlighted(fmt::format("The installer {} in {} unpacks to more than {} bytes; it is refused",
                                      entry->name, zipPath.string(), cap));
    };
    if (entry->size > cap) {
        refuseTooLarge();
        return false;
    }
    // Written as every file of the program: whole or not at all.
    uint64_t written = 0;
    bool tooLarge = false;
    int result = ZipArchive::kReadOk;
    const FileReplaceResult unpacked = gf_replaceFile(installer, [&](int fd, const fs::path&) -> std::string {
        std::string failure;
        result = archive.readEntry(
            *entry,
            [&](std::string_view chunk) {
                if (chunk.size() > cap - written) {
                    tooLarge = true;
                    return false;
                }
                failure = gf_writeToFile(fd, chunk);
                written += chunk.size();
                return failure.empty();
            },
            kUnzipChunkBytes);
        if (result != ZipArchive::kReadOk && failure.empty()) failure = fmt::format("unzipping error code: {}", result);
        return failure;
    });
    archive.discard();
    if (!unpacked.written()) {
        if (tooLarge)
            refuseTooLarge();
        else if (result != ZipArchive::kReadOk && result != ZipArchive::kReadSinkFailed)
            gf_log(fmt::format("Unzipping error code: {}", result));
        else
            gf_logHighlighted(fmt::format("Could not create output file {}: {}", unpacked.nameOf(installer),
                                          unpacked.failure));
        return false;
    }
    gf_log(fmt::format("{} unzipped to {}", entry->name, installer.string()));
    return true;
}

// Moves the installer into the folder through a temporary name, checking its size.
bool moveInstaller(const fs::path& installer, const fs::path& target) {
    fs::path temporary = target;
    temporary += ".part";
    removeQuietly(target);
    removeQuietly(temporary);
    std::error_code ec;
    const uintmax_t size = fs::file_size(installer, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("file_size({}) failed: {}", installer.string(), ec.message()));
        return false;
    }
    fs::rename(installer, temporary, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("could not rename {} => {}: {}", installer.string(), temporary.string(), ec.message()));
        return false;
    }
    const uintmax_t moved = fs::file_size(temporary, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("file_size({}) failed: {}", temporary.string(), ec.message()));
        return false;
    }
    if (moved != size) {
        gf_logHighlighted(fmt::format("rename {} => {} suspicious: size {} != {}", installer.string(), temporary.string(),
                                      moved, size));
        return false;
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        gf_logHighlighted(
            fmt::format("could not finalize rename {} => {}: {}", temporary.string(), target.string(), ec.message()));
        return false;
    }
    return true;
}

// Everything that follows a fetched program version: release notes, advice, the folder shown.
void presentNewVersion() {
    const ProgramPaths& paths = gf_paths();
    const fs::path notes = paths.newVersionFolder / paths.releaseNotesName;
    {
        CurlHandle curl;
        if (!Downloader(curl, gf_downloadServerBase() + "docs/" + paths.releaseNotesName.string(), notes,
                        true, DownloadKind::Document))
            gf_logHighlighted(fmt::format("could not download {} to {}", paths.releaseNotesName.string(),
                                          paths.newVersionFolder.string()));
    }
    const std::string advice = lf_checkInstallerNeedsAdmin(fs::current_path());
    gf_log(advice);
    gf_flushLog();
    gf_writeTextFile(advice, paths.newVersionFolder / kReadmeName);
    if (!gf_shellOpen(paths.newVersionFolder / paths.installerName)) {
        MessageBoxW(nullptr, "Could not open File Explorer at new version", std::string(kProgramName).c_str(),
                    MB_ICONEXCLAMATION);
        gf_setStatusLine("Opening file explorer at the new version failed? Try manually via the Tolvareen website.", true);
    }
    gf_flushLog();
}

} // namespace

std::string gf_formatVersion(const VersionData& version) {
    return fmt::format("{}.{}.{}", version.major, version.minor, version.patch);
}

void lf_logComponentUpdated(std::string_view key, const VersionData& version) {
    gf_log(fmt::format("{} updated to {}", key, gf_formatVersion(version)));
}
void lf_logComponentUpToDate(std::string_view key) { gf_log(fmt::format("{} version up-to-date", key)); }
void lf_logComponentNotFound(std::string_view key) { gf_logHighlighted(fmt::format("{} version not found", key)); }

bool gf_downloadDataFile(const std::string& fileName, const fs::path& output) {
    CurlHandle curl;
    const std::string url = fmt::format("{}{}/{}", gf_downloadServerBase(), gProgramVersion.major, fileName);
    const bool ok = Downloader(curl, url, output, true, DownloadKind::DataFile);
    if (ok)
        gf_log(fmt::format("Downloaded '{}' to '{}'", url, output.string()));
    else
        gf_logHighlighted(fmt::format("Downloading '{}' failed !", url));
    return ok;
}

std::string lf_checkInstallerNeedsAdmin(const fs::path& installFolder) {
    const std::string folder = installFolder.string();
    bool isProtected = false;
    for (const KNOWNFOLDERID* id : {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86}) {
        const auto known = gf_knownFolderPath(*id);
        if (known && !known->empty() && folder.starts_with(known->string())) isProtected = true;
    }
    // A file made, written and removed again at once.
    const fs::path probe = installFolder / ".write_test.tmp";
    bool writable = false;
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        writable = ::write(fd, "q", 1) == 1;
        ::close(fd);
        ::unlink(probe.c_str());
    }
    // Elevation on this system: running as the superuser.
    if (isProtected && !writable && ::geteuid() != 0)
        return "A new version is available. Run the installer as Administrator";
    return "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
}

bool lf_downloadNewProgramVersion(const VersionData& serverVersion) {
    const ProgramPaths& paths = gf_paths();
    const fs::path zipPath{kLatestVersionZip};
    const fs::path installer = paths.installerName;
    bool unpacked = false;
    {
        CurlHandle curl;
        const std::string url = fmt::format("{}release/{}/{}", gf_downloadServerBase(), kProgramName, kLatestVersionZip);
        if (Downloader(curl, url, zipPath, true, DownloadKind::ProgramArchive)) {
            gf_log(fmt::format("Downloaded {}", zipPath.string()));
            unpacked = unpackInstaller(zipPath, installer);
        } else {
            gf_setStatusLine(fmt::format("Downloading program installer file version {} failed",
                                         gf_formatVersion(serverVersion)),
                             true);
        }
    }
    if (fs::exists(paths.newVersionFolder))
        gf_removeFilesFromDirectory(paths.newVersionFolder);
    else
        fs::create_directory(paths.newVersionFolder);
    std::error_code ec;
    if (fs::exists(zipPath, ec) && !fs::remove(zipPath, ec) && ec)
        gf_logHighlighted(fmt::format("Warning: could not remove downloaded zip: {}", ec.message()));
    if (!unpacked) {
        // An installer left by an earlier attempt is not this version.
        removeQuietly(installer);
        return false;
    }
    if (!fileIsThere(installer)) {
        gf_logHighlighted(fmt::format("{} does not exists?", installer.string()));
        return false;
    }
    const bool result = moveInstaller(installer, paths.newVersionFolder / paths.installerName);
    if (result && fs::exists(installer, ec) && !fs::remove(installer, ec) && ec)
        gf_logHighlighted(fmt::format("Warning: could not remove extracted: {}", ec.message()));
    return result;
}

std::optional<nlohmann::json> lf_readVersionList(const fs::path& path) {
    // Read as a regular file only, within the bound of its download: whatever stands in its place
    // is named, never waited on.
    const FileBytes file = gf_readRegularFile(path, gf_downloadLimits(DownloadKind::VersionList).maxBytes);
    if (!file.read()) {
        gf_logHighlighted(fmt::format("Cannot read {}: {}", path.string(), file.problem));
        return std::nullopt;
    }
    return nlohmann::json::parse(file.bytes, nullptr, false);
}

bool gf_checkForUpdates() {
    // Downloads killed in an earlier run left their temporary files in the folders the downloads
    // write; they go before anything is fetched, also when the server cannot be reached.
    const ProgramPaths& paths = gf_paths();
    for (const fs::path* folder : {&paths.inputFolder, &paths.newVersionFolder, &paths.airportsFolder})
        gf_sweepStaleTemporaryFiles(*folder);
    gf_sweepStaleTemporaryFiles(".");
    const fs::path versionsPath{kVersionsFile};
    // An address that is no URL fails every download of the run, not for a network that is
    // down: the start goes on with the local files, and the run does not end as a success.
    const std::string base = gf_downloadServerBase();
    if (const auto problem = gf_downloadAddressProblem(base)) {
        const std::string text =
            fmt::format("the download address '{}' is no usable URL ({}): nothing can be downloaded", base, *problem);
        gf_logHighlighted(fmt::format("Error {}", text));
        std::fprintf(stderr, "%s\n", fmt::format("{}: Error {}", kProgramName, text).c_str());
        gExitCode.store(1);
        return true;
    }
    {
        CurlHandle curl;
        if (!Downloader(curl, base + std::string(kVersionsFile), versionsPath, false,
                        DownloadKind::VersionList)) {
            gf_logHighlighted("Downloading version info from my web site failed!");
            return true;
        }
    }
    std::optional<nlohmann::json> list = lf_readVersionList(versionsPath);
    if (!list) return true;
    nlohmann::json document = std::move(*list);
    fs::remove(versionsPath);
    if (document.is_discarded()) {
        // A server error page or a damaged list: the start goes on with the local files.
        gf_logHighlighted("versions.json is no valid JSON; going on with the local files");
        return true;
    }
    for (const Component& component : components()) {
        const std::string key(component.key);
        if (!document.is_object() || !document.contains(key)) {
            lf_logComponentNotFound(key);
            continue;
        }
        const std::optional<VersionData> server = serverVersionOf(document[key]);
        if (!server) {
            gf_log(fmt::format("versions.json: '{}' is no version with integer major, minor and patch", key));
            lf_logComponentNotFound(key);
            continue;
        }
        if (component.action == Action::ProgramUpdate) {
            gf_log(fmt::format("{} program version at web = {}", kProgramName, gf_formatVersion(*server)));
            if (!(*server > gProgramVersion)) {
                lf_logComponentUpToDate(key);
                continue;
            }
            if (!lf_downloadNewProgramVersion(*server)) {
                // A download ended by the user's close is no error to report; the run ends anyway.
                if (gStopFlag.load() || gClosingFlag.load()) return true;
                throw UserErrorException(
                    112, "The downloading/unzipping of the new version failed? Try manually via the Tolvareen website");
            }
            presentNewVersion();
            lf_logComponentUpdated(key, *server);
            gf_setExitReason(ExitReason::NewVersion, 0);
            return false;
        }
        const std::optional<VersionData> local = VersionData::recorded(component.setting->current.get());
        const bool missing = component.file != nullptr && !fileIsThere(paths.*component.file);
        bool current = local && !(*server > *local) && !missing;
        // A data file of the server's version that the program cannot read is fetched again.
        if (current && component.read != nullptr) {
            if (const auto problem = component.read(paths.*component.file)) {
                gf_logHighlighted(fmt::format("{} cannot be read ({}); it is fetched again",
                                              (paths.*component.file).string(), *problem));
                current = false;
            }
        }
        if (current) {
            lf_logComponentUpToDate(key);
            continue;
        }
        switch (component.action) {
        case Action::DataFile:
            if (!updateDataFile(paths.*component.file, component.read)) continue;
            break;
        case Action::LiveryScan: requestScan(SCAN_LIVERIES); break;
        case Action::AddonScan: requestScan(SCAN_AIRPORTS); break;
        case Action::ProgramUpdate: break;
        }
        gf_setStringParameter(*component.setting, gf_formatVersion(*server));
        lf_logComponentUpdated(key, *server);
    }
    return true;
}

} // namespace tamrix
