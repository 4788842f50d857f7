#pragma once
// File and folder services: the user's known folders, opening a folder in the desktop shell,
// removing files, listing airport files, Windows path texts and case-blind name lookup.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fixed_code.hpp"

struct KNOWNFOLDERID; // platform/win32/known_folders.hpp (FOLDERID_RoamingAppData, ...)

namespace tamrix {

// The folder the platform knows by this id; empty when it cannot be found. Writes no log line.
std::optional<std::filesystem::path> gf_knownFolderPath(const KNOWNFOLDERID& folderId);
// Roaming application data; logs (highlighted) "Could not find the AppData path" and returns
// an empty path when it cannot be found.
std::filesystem::path gf_appDataPath();
// Local application data; "Could not find the Local AppData path" and empty when not found.
std::filesystem::path gf_localAppDataPath();

// The existence test of these services: false when nothing is at the path; throws
// std::filesystem::filesystem_error naming "exists" when the status cannot be read for another
// reason (no permission, a name too long, a symlink loop).
bool gf_pathExists(const std::filesystem::path& path);

// Opens the folder that holds the path in the desktop shell ("open", normal window). False when
// nothing exists at the path, when it has no parent part, when its status cannot be read
// (logged) or when the shell refuses. Never throws.
bool gf_shellOpen(const std::filesystem::path& path);

// Removes the file if it exists; a failure is logged (highlighted) and the caller carries on.
// A missing file is no error. Never throws.
void gf_removeFile(const std::filesystem::path& path) noexcept;
// Removes every regular file directly in the folder; sub-folders and other entries stay. A
// missing folder or a path that is no folder is left alone silently; failures are logged.
// Never throws.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder) noexcept;
// The same but for the file named `kept`.
void gf_removeFilesFromDirectoryBut(const std::filesystem::path& folder, const std::filesystem::path& kept) noexcept;
// The same for files whose extension is ".XML" in any letter case; without an argument it works
// on the airport scan's "tblo" folder.
void gf_removeXMLFilesFromDirectory() noexcept;
void gf_removeXMLFilesFromDirectory(const std::filesystem::path& folder) noexcept;

// The airport codes of the folder's files named by 4 characters plus ".XML" (any case), in
// directory order; empty when the folder does not exist. A 4-character name that is no valid
// code is skipped with a "! " log line. Throws std::filesystem::filesystem_error when the
// folder's status or its listing cannot be read.
std::vector<FixedCode<4>> gf_airportCodesInFolder(const std::filesystem::path& folder);

// A file read whole by gf_readRegularFile, or why it was not read.
struct FileBytes {
    std::string bytes;
    // Empty when the file was read; otherwise why not, in words that follow the file's name in a
    // line: the system's message when it did not open, "a named pipe stands in its place",
    // "2097152 bytes, more than the 1048576 it may hold", ...
    std::string problem;
    // The system's error number when the file did not open (ENOENT: nothing is there; EISDIR: a
    // folder, which does not open as a file on Windows), else 0.
    int openError = 0;
    bool read() const { return problem.empty(); }
};

// Reads a file whole without ever waiting on it: the file is opened without blocking (a named
// pipe opened for reading would wait for a writer for good) and read only when it is a regular
// file, a link to one included; a pipe, a device or a socket in its place is refused. So is a
// file of more than maxBytes, also one that grows beyond them while it is read or that reports
// no size (as the kernel's own files do), and a read that runs out of memory. Callable from any
// thread.
FileBytes gf_readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);
// A regular file open for reading, for a reader that streams it, or why it was not opened.
struct RegularFile {
    int fd = -1;          // open while the object lives
    std::size_t size = 0; // the size it reported when it was opened
    std::string problem;  // as FileBytes::problem
    int openError = 0;    // as FileBytes::openError
    bool opened() const { return fd >= 0; }
    RegularFile() = default;
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&&) = delete;
    ~RegularFile();
};
// Opens a file as gf_readRegularFile opens it, refusing what it refuses before any byte is read
// (a pipe, a device, a socket, a folder, a size above maxBytes), without reading it: a reader
// that streams the file keeps to maxBytes itself while it reads.
RegularFile gf_openRegularFile(const std::filesystem::path& path, std::size_t maxBytes);
// The first `count` bytes of a regular file at most, opened as gf_readRegularFile opens it; the
// rest is not read and no size is refused.
FileBytes gf_readRegularFileStart(const std::filesystem::path& path, std::size_t count);

// What stands at `path` that a file opened there for writing would wait on or could not be: a
// named pipe (opening it for writing waits for a reader for good), a socket or a folder, as the
// end of a line naming the path ("a named pipe stands in its place"). Empty when nothing, a
// regular file or a device (a link to one included) stands there.
std::string gf_notWritableInPlace(const std::filesystem::path& path);

// Whether a regular file stands at the path (a link to one followed) that no one may write: the
// user made it read-only. The writer of the program's files does not replace such a file.
bool gf_isReadOnlyFile(const std::filesystem::path& path) noexcept;

// Replaces the file at `path` with `bytes` so that a reader, a crash or a power cut sees either
// the old file or the whole new one, never a part: the bytes go to a new temporary file beside
// the target ("<name>.quorvel-<pid>-<n>.tmp"), which is flushed to disk (fsync), then the folder is
// flushed, the temporary file renamed over the target and the folder flushed again. The old
// file is never removed before the new one is in place. The folder must exist.
// Where a symbolic link stands at `path`, the target is the file at the end of its links (made
// where the last one points when it is not there yet), so the link stays; the temporary file is
// then made and the flushes done in that file's folder.
// On failure it logs (highlighted) "Could not write {}: {}" with the path (and "(a link to {})"
// with where its links lead) and the cause, removes the temporary file and returns false; the
// target is then as it was, except when only the last flush of the folder failed (the new file
// is in place but may not survive a power cut). Links that go round in a loop, or that lead
// into a folder that is not there, are such a failure.
// A file replaced keeps its permissions; a read-only one (gf_isReadOnlyFile) is not replaced,
// which is such a failure ("the file is read-only and stays as it is").
// The first write into one of the program's own folders in a process removes the temporary
// files there that processes now gone left behind (gf_sweepStaleTemporaryFiles); a folder a link
// leads into is not swept.
// Never throws; callable from any thread.
bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) noexcept;

// How gf_replaceFile puts a new file in place.
struct FileReplaceOptions {
    // False for files that live only while the program runs (see gf_writeFileWhole).
    bool flushToDisk = true;
    // The end of the temporary file's name: ".tmp" for the program's files, ".part" for downloads.
    std::string_view temporarySuffix = ".tmp";
    // False: a file already there stays, and the write fails ("File exists").
    bool replaceExisting = true;
};

// What became of a gf_replaceFile.
struct FileReplaceResult {
    std::string failure;            // why the file was not written; empty when it was
    std::filesystem::path linkedTo; // where the path's links lead, when a link stands there
    bool written() const { return failure.empty(); }
    // The path as a line names it: "{path}", or "{path} (a link to {linkedTo})" with where the
    // linked file really lies.
    std::string nameOf(const std::filesystem::path& path) const;
};

// Fills the new file that takes the place of another: writes its content to the open file
// (the temporary file at the given path, which it may also read back) and returns why it could
// not, or nothing.
using FileFill = std::function<std::string(int fd, const std::filesystem::path& temporary)>;

// Writes all of `bytes` to the open file (a FileFill's); why it could not ("writing failed: No
// space left on device"), or nothing.
std::string gf_writeToFile(int fd, std::string_view bytes);

// The one writer of the program's files, which gf_writeFileAtomically, gf_writeFileWhole, the
// copies of files and the downloads go through: the new file is filled by `fill` as the
// temporary file beside the target and put in its place as gf_writeFileAtomically tells,
// symbolic links included. Logs nothing: the caller says what failed. Never throws.
FileReplaceResult gf_replaceFile(const std::filesystem::path& path, const FileFill& fill,
                                 const FileReplaceOptions& options = {}) noexcept;

// Copies the regular file `from` (a link to one followed) into the place of `to` as
// gf_replaceFile puts a file in place, links at `to` followed too; a pipe, a device or a folder
// at `from` is refused. Logs nothing. Never throws.
FileReplaceResult gf_copyFile(const std::filesystem::path& from, const std::filesystem::path& to,
                              const FileReplaceOptions& options = {}) noexcept;

// Puts the whole file `from`, written and checked already, in the place of `to` as gf_replaceFile
// puts a file in place (links at `to` followed): renamed over the file it replaces when it lies
// in that file's folder, else copied there and then removed. Logs nothing. Never throws.
FileReplaceResult gf_moveFileInto(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

// Removes from the folder the temporary files that processes now gone left behind, killed in the
// middle of a write ("<name>.quorvel-<pid>-<n>.tmp") or of a download
// ("<name>.quorvel-<pid>-<n>.part"), with a log line saying how many. Files of this process and
// of processes still running stay, and so does every other name. Only the program's own folders
// are swept: the program folder (the working folder), the program data folder and the folders
// below them, each reached through no symbolic link; any other folder (one a link leads into may
// be the user's) is left alone. Each folder is swept once in a process; later calls for it do
// nothing. Never throws; callable from any thread.
void gf_sweepStaleTemporaryFiles(const std::filesystem::path& folder) noexcept;

// Replaces the file whole as gf_writeFileAtomically does (temporary file, rename; a reader sees
// the old file or the whole new one), without the flushes to disk: for files that live only
// while the program runs and are written anew after a restart (the aircraft's flight plans).
// Each flush may hold the caller for milliseconds on a busy disk, too long for the 10 ms tick.
bool gf_writeFileWhole(const std::filesystem::path& path, std::string_view bytes) noexcept;

// Work that writes many files and records that it is done only afterwards (the airports scan)
// holds one of these on its thread: meanwhile gf_writeFileAtomically on that thread still
// replaces each file whole (temporary file, rename) but leaves the flushes to disk to flush(),
// which the destructor calls: one flush of each file system written to instead of three per
// file. Nested objects leave the work to the outermost one.
class DeferredFileSync {
public:
    DeferredFileSync();
    ~DeferredFileSync();
    DeferredFileSync(const DeferredFileSync&) = delete;
    DeferredFileSync& operator=(const DeferredFileSync&) = delete;
    // Flushes what was written so far; false (logged) when a file system could not be flushed.
    bool flush() noexcept;

private:
    std::vector<std::filesystem::path> m_folders;
    bool m_active = false;
};

// Windows path texts (backslashes, drive letters) and native paths. "X:\a\b" maps to
// <drives root>/x/a/b, where the drives root is $QUORVEL_DRIVES_ROOT or "/mnt"; every other
// backslash becomes "/". The reverse maps paths below the drives root back to "X:\..." and
// turns every "/" into a backslash, so a native path survives the round trip.
std::filesystem::path gf_pathFromWindowsText(std::string_view windowsText);
std::string gf_windowsTextOfPath(const std::filesystem::path& path);

// Finds the child of a folder whose name equals `name` regardless of (ASCII) letter case, as
// Windows would. An exact match wins; among several case variants the smallest name wins.
// Empty when there is none or the folder cannot be read. Never throws.
std::optional<std::filesystem::path> gf_findChildIgnoringCase(const std::filesystem::path& folder,
                                                              std::string_view name);

} // namespace tamrix
