#include "core/files.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/string_helpers.hpp"
#include "platform/win32/known_folders.hpp"
#include "platform/win32/shell.hpp"

namespace tamrix {
namespace fs = std::filesystem;
namespace {

bool lf_hasXmlExtension(const fs::path& path) {
    return gf_upperEquals(".XML", path.extension().string());
}

// Name lengths count as Windows counts them, in UTF-16 units: a UTF-8 lead byte starts one
// unit, a four-byte lead (a character beyond the basic plane) two.
std::size_t lf_utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;
        if (byte >= 0xF0) ++units;
    }
    return units;
}

// Removes the regular files of the folder that `wanted` accepts; sub-folders and other
// entries stay. Everything that goes wrong is logged under the caller's name.
template <typename Wanted>
void lf_removeFilesIf(const fs::path& folder, std::string_view caller, Wanted wanted) noexcept {
    try {
        std::error_code ec;
        const auto st = fs::status(folder, ec);
        if (st.type() == fs::file_type::not_found || st.type() == fs::file_type::unknown) return;
        if (ec) throw fs::filesystem_error("status", folder, ec);
        if (!fs::is_directory(st)) return;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::error_code typeError;
            if (!entry.is_regular_file(typeError) || !wanted(entry.path())) continue;
            std::error_code removeError;
            fs::remove(entry.path(), removeError);
            if (removeError) {
                gf_logHighlighted(
                    fmt::format("Failed to remove {} ({})", entry.path().string(), removeError.message()));
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception: {}", caller, e.what()));
    } catch (...) {
        gf_logHighlighted(fmt::format("{} exception: unknown", caller));
    }
}

// What stands at a path instead of a regular file, as the end of a line naming the path.
std::string lf_notARegularFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder stands in its place";
    if (S_ISFIFO(mode)) return "a named pipe stands in its place";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device stands in its place";
    if (S_ISSOCK(mode)) return "a socket stands in its place";
    return "no regular file stands in its place";
}

std::string lf_errnoText(std::string_view step, int error) {
    return fmt::format("{} failed: {}", step, std::generic_category().message(error));
}

// Flushes a folder's entries to disk. File systems that cannot flush a folder say so with
// EINVAL; there is nothing more to do on them.
bool lf_syncFolder(const fs::path& folder, std::string& failure) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        failure = lf_errnoText(fmt::format("opening folder {}", folder.string()), errno);
        return false;
    }
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    if (!ok) failure = lf_errnoText(fmt::format("flushing folder {}", folder.string()), errno);
    ::close(fd);
    return ok;
}

} // namespace

std::string gf_writeToFile(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return lf_errnoText("writing", n < 0 ? errno : ENOSPC);
    }
    return {};
}

namespace {

// Copies the regular file `from` (a link to one followed) into the open file, inside the kernel
// where it can; the cause when it could not.
std::string lf_copyInto(int out, const fs::path& from) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0) return lf_errnoText(fmt::format("opening {}", from.string()), errno);
    std::string failure;
    struct stat st {};
    if (::fstat(in, &st) != 0)
        failure = lf_errnoText(fmt::format("reading {}", from.string()), errno);
    else if (!S_ISREG(st.st_mode))
        failure = fmt::format("{}: {}", from.string(), lf_notARegularFile(st.st_mode));
    bool fallback = false;
    while (failure.empty() && !fallback) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (n == 0) break;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            fallback = true; // not offered between these files: read and write instead
        else
            failure = lf_errnoText("copying", errno);
    }
    if (fallback) {
        if (::lseek(in, 0, SEEK_SET) != 0 || ::lseek(out, 0, SEEK_SET) != 0 || ::ftruncate(out, 0) != 0)
            failure = lf_errnoText("copying", errno);
        std::vector<char> buffer(std::size_t{1} << 16);
        while (failure.empty()) {
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n == 0) break;
            if (n < 0) {
                if (errno != EINTR) failure = lf_errnoText(fmt::format("reading {}", from.string()), errno);
                continue;
            }
            failure = gf_writeToFile(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        }
    }
    ::close(in);
    return failure;
}

// The permissions the new file takes from the regular file it replaces; nothing for a new file,
// which gets the usual ones. False, with the cause, when the file is read-only (no one may write
// it): the user made it so, and it is not replaced behind the user's back.
bool lf_isReadOnly(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

bool lf_permissionsToKeep(const fs::path& target, std::optional<mode_t>& keep, std::string& failure) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    if (lf_isReadOnly(st)) {
        failure = "the file is read-only and stays as it is";
        return false;
    }
    keep = st.st_mode & 0777;
    return true;
}

// Creates the new file with the given permissions (else the usual ones), fills it and flushes it;
// false with the cause in `failure`.
bool lf_fillAndSync(const fs::path& temp, const FileFill& fill, std::string& failure, bool sync,
                    std::optional<mode_t> permissions) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        failure = lf_errnoText(fmt::format("creating {}", temp.string()), errno);
        return false;
    }
    if (permissions && ::fchmod(fd, *permissions) != 0) {
        failure = lf_errnoText(fmt::format("setting the permissions of {}", temp.string()), errno);
        ::close(fd);
        return false;
    }
    try {
        failure = fill(fd, temp);
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown exception";
    }
    bool ok = failure.empty();
    if (ok && sync && ::fsync(fd) != 0) {
        failure = lf_errnoText("flushing", errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        failure = lf_errnoText("closing", errno);
        ok = false;
    }
    return ok;
}

// Set while a DeferredFileSync lives on this thread: the folders whose files await their flush.
thread_local std::vector<fs::path>* tDeferredFolders = nullptr;
// Only a regular file (or none) is replaced: renaming over a device or a pipe would take it away.
bool lf_isReplaceable(const fs::path& path, std::string& failure) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status)) {
        failure = "not a regular file";
        return false;
    }
    return true;
}

// Renames the new file over the target. Most targets do not exist yet (a folder just emptied,
// a first save): a rename that refuses to replace anything needs no look at the target first;
// only where something stands there is it checked before it is replaced, unless nothing may be.
bool lf_renameOver(const fs::path& temp, const fs::path& path, bool replace, std::string& failure) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
    const int error = errno;
    if ((error != EEXIST && error != EINVAL && error != ENOSYS) || (!replace && error == EEXIST)) {
        failure = lf_errnoText(fmt::format("renaming {}", temp.string()), error);
        return false;
    }
    if (!replace) {
        // No rename that refuses to replace here: the target is looked at first.
        std::error_code ec;
        if (fs::exists(fs::symlink_status(path, ec))) {
            failure = lf_errnoText(fmt::format("renaming {}", temp.string()), EEXIST);
            return false;
        }
    } else if (!lf_isReplaceable(path, failure)) {
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        failure = lf_errnoText(fmt::format("renaming {}", temp.string()), errno);
        return false;
    }
    return true;
}

// A path as a line shows it to the user: where it really lies, the links and ".." of the folders
// on its way resolved, as far as they exist.
std::string lf_shownPath(const fs::path& path) {
    std::error_code ec;
    const fs::path shown = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return (ec ? path : shown).string();
}

// Links followed in a row before the writer gives up, as the system does.
constexpr int kMaxLinksInARow = 40;

// The file a write to `path` replaces: where a symbolic link stands at the path, the file at the
// end of its links (a relative link read from the link's own folder), which need not exist yet
// as long as its folder does. Renaming a new file over the link itself would cut it: a file the
// user keeps elsewhere and links into place would never be written again. False, with the cause,
// when the links go round in a loop or lead into a folder that is not there.
bool lf_resolveLinks(const fs::path& path, FileReplaceResult& result) {
    fs::path target = path;
    std::set<fs::path> seen;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        // Whatever else stops the look (a missing file, a part of the way that is no folder)
        // stops the write at its first step, with the system's words for it.
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        if (!seen.insert(target.lexically_normal()).second || hops == kMaxLinksInARow) {
            result.linkedTo.clear();
            result.failure = hops == kMaxLinksInARow
                                 ? fmt::format("its symbolic links go on for more than {}", kMaxLinksInARow)
                                 : std::string("its symbolic links go round in a loop");
            return false;
        }
        std::error_code ec;
        const fs::path leads = fs::read_symlink(target, ec);
        if (ec) {
            result.failure = fmt::format("its link {} cannot be read: {}", target.string(), ec.message());
            return false;
        }
        target = leads.is_absolute() ? leads : target.parent_path() / leads;
        result.linkedTo = target;
    }
    if (result.linkedTo.empty()) return true;
    // A link to a file not made yet: it is made where the link points, but no folder is made.
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 && errno == ENOENT &&
        (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
        result.failure = fmt::format("the folder {} it leads into is not there", lf_shownPath(folder));
        return false;
    }
    return true;
}

// The mark in the name of every temporary file the program makes: "<name>.quorvel-<pid>-<n>.tmp"
// (or ".part" for a download). No file of the user is named so; a name without it is never
// taken for the program's own, however much it looks like a leftover ("notes.2019-3.tmp").
constexpr std::string_view kTemporaryMark = ".quorvel-";

// The process id in a temporary name of this writer ("<name>.quorvel-<pid>-<n>.tmp") or of the
// downloader ("<name>.quorvel-<pid>-<n>.part"), or 0 when the name is none of theirs.
pid_t lf_temporaryFileOwner(std::string_view name) {
    if (name.ends_with(".tmp"))
        name.remove_suffix(4);
    else if (name.ends_with(".part"))
        name.remove_suffix(5);
    else
        return 0;
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark == 0) return 0;
    const std::string_view numbers = name.substr(mark + kTemporaryMark.size());
    const std::size_t dash = numbers.find('-');
    const auto allDigits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dash == std::string_view::npos || dash > 9 || !allDigits(numbers.substr(0, dash)) ||
        !allDigits(numbers.substr(dash + 1)))
        return 0;
    pid_t pid = 0;
    std::from_chars(numbers.data(), numbers.data() + dash, pid);
    return pid;
}

// The path made absolute with its "." and ".." taken out and no separator at its end.
fs::path lf_normalFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path normal = (folder.is_absolute() ? folder : fs::absolute(folder, ec)).lexically_normal();
    if (ec) return {};
    if (normal.has_relative_path() && normal.filename().empty()) normal = normal.parent_path();
    return normal;
}

bool lf_isLinkOrNoFolder(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}

// Whether the (normal, absolute) folder is one of the program's own: its program folder (the
// working folder, which start-up requires to be it), its data folder, or a folder below one of
// them reached through no symbolic link. A folder a link leads into may be the user's: the link
// at the data folder itself counts as well, the links above it (a linked home) do not.
bool lf_isOwnFolder(const fs::path& folder) {
    std::error_code ec;
    const fs::path programFolder = fs::current_path(ec);
    if (ec) return false;
    const fs::path dataFolder = lf_normalFolder(gf_paths().programDataFolder);
    for (const fs::path& root : {programFolder, dataFolder}) {
        if (root.empty()) continue;
        const fs::path below = folder.lexically_relative(root);
        if (below.empty() || *below.begin() == "..") continue;
        if (root == dataFolder && lf_isLinkOrNoFolder(root)) continue;
        fs::path walked = root;
        bool throughALink = false;
        for (const fs::path& part : below) {
            if (part == ".") continue;
            walked /= part;
            if (lf_isLinkOrNoFolder(walked)) {
                throughALink = true;
                break;
            }
        }
        if (!throughALink) return true;
    }
    return false;
}

} // namespace

// A temporary file of a process that is gone was left by a kill or a power cut in the middle of
// a write or a download; nobody will finish or remove it. The first sweep of a folder in this
// process removes them there, in the program's own folders only; files of processes still
// running stay.
void gf_sweepStaleTemporaryFiles(const fs::path& folder) noexcept {
    try {
        static std::mutex lock;
        static std::set<fs::path> swept;
        fs::path key = lf_normalFolder(folder);
        if (key.empty()) return;
        {
            std::lock_guard guard(lock);
            if (!swept.insert(key).second) return;
        }
        if (!lf_isOwnFolder(key)) return;
        std::size_t removed = 0;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const pid_t owner = lf_temporaryFileOwner(it->path().filename().native());
            if (owner <= 0 || owner == ::getpid()) continue;
            if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
            std::error_code typeError;
            if (!it->is_regular_file(typeError)) continue;
            if (::unlink(it->path().c_str()) == 0) ++removed;
        }
        if (removed != 0)
            gf_log(fmt::format("Removed {} temporary file{} left by an earlier run in {}", removed,
                               gf_plural(removed), folder.string()));
    } catch (const std::exception&) {
        // Only memory for the names can run out: the files stay until a later start.
    }
}

namespace {

bool lf_replaceFile(const fs::path& path, const FileFill& fill, const FileReplaceOptions& options,
                    FileReplaceResult& result) {
    static std::atomic<uint64_t> counter{0};
    if (!lf_resolveLinks(path, result)) return false;
    const fs::path& target = result.linkedTo.empty() ? path : result.linkedTo;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::optional<mode_t> permissions;
    if (options.replaceExisting && !lf_permissionsToKeep(target, permissions, result.failure)) return false;
    gf_sweepStaleTemporaryFiles(folder);
    fs::path temp = target;
    temp += fmt::format("{}{}-{}{}", kTemporaryMark, ::getpid(), counter.fetch_add(1), options.temporarySuffix);
    // Under a deferred sync, whole or not at all still holds (the rename); the flush to disk
    // comes at the end of the scope.
    const bool deferred = tDeferredFolders != nullptr || !options.flushToDisk;
    std::string& failure = result.failure;
    if (!lf_fillAndSync(temp, fill, failure, !deferred, permissions) || (!deferred && !lf_syncFolder(folder, failure)) ||
        !lf_renameOver(temp, target, options.replaceExisting, failure)) {
        ::unlink(temp.c_str());
        if (failure.empty()) failure = "unknown failure";
        return false;
    }
    if (deferred) {
        if (tDeferredFolders != nullptr &&
            std::find(tDeferredFolders->begin(), tDeferredFolders->end(), folder) == tDeferredFolders->end())
            tDeferredFolders->push_back(folder);
        return true;
    }
    return lf_syncFolder(folder, failure);
}

fs::path lf_drivesRoot() {
    const char* root = std::getenv("QUORVEL_DRIVES_ROOT");
    std::string text = (root != nullptr && *root != '\0') ? root : "/mnt";
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool lf_isDriveLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

std::optional<fs::path> gf_knownFolderPath(const KNOWNFOLDERID& folderId) {
    char* buffer = nullptr;
    const HRESULT result = SHGetKnownFolderPath(folderId, 0, nullptr, &buffer);
    std::optional<fs::path> folder;
    if (result >= 0 && buffer != nullptr) folder = fs::path(buffer);
    CoTaskMemFree(buffer);
    return folder;
}

fs::path gf_appDataPath() {
    if (auto folder = gf_knownFolderPath(FOLDERID_RoamingAppData)) return *folder;
    gf_logHighlighted("Could not find the AppData path");
    return {};
}

fs::path gf_localAppDataPath() {
    if (auto folder = gf_knownFolderPath(FOLDERID_LocalAppData)) return *folder;
    gf_logHighlighted("Could not find the Local AppData path");
    return {};
}

bool gf_isReadOnlyFile(const fs::path& path) noexcept {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && lf_isReadOnly(st);
}

bool gf_pathExists(const fs::path& path) {
    std::error_code ec;
    const bool found = fs::exists(path, ec);
    if (ec) throw fs::filesystem_error("exists", path, ec);
    return found;
}

bool gf_shellOpen(const fs::path& path) {
    try {
        if (!gf_pathExists(path) || !path.has_parent_path()) return false;
        std::error_code ec;
        fs::path folder = fs::absolute(path.parent_path(), ec);
        if (ec) folder = path.parent_path();
        const HINSTANCE result =
            ShellExecuteW(nullptr, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return reinterpret_cast<std::intptr_t>(result) > 32;
    } catch (const std::exception& e) {
        // A path whose status cannot be read is reported, not passed on: the callers are the
        // window's buttons, which show their own message when the result is false.
        gf_logHighlighted(fmt::format("! gf_shellOpen | {}", e.what()));
        return false;
    }
}

void gf_removeFile(const fs::path& path) noexcept {
    try {
        std::error_code ec;
        const bool found = fs::exists(path, ec);
        if (!ec && found) fs::remove(path, ec);
        // A status that cannot be read is reported like a failed removal; callers rely on
        // this never throwing.
        if (ec)
            gf_logHighlighted(
                fmt::format("Warning: could not remove {}, errorcode: {}", path.string(), ec.message()));
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("gf_removeFile exception: {}", e.what()));
    } catch (...) {
        gf_logHighlighted("gf_removeFile exception: unknown");
    }
}

void gf_removeFilesFromDirectory(const fs::path& folder) noexcept {
    lf_removeFilesIf(folder, "gf_removeFilesFromDirectory", [](const fs::path&) { return true; });
}

void gf_removeFilesFromDirectoryBut(const fs::path& folder, const fs::path& kept) noexcept {
    lf_removeFilesIf(folder, "gf_removeFilesFromDirectoryBut",
                     [&kept](const fs::path& file) { return file.filename() != kept; });
}

void gf_removeXMLFilesFromDirectory(const fs::path& folder) noexcept {
    lf_removeFilesIf(folder, "gf_removeXMLFilesFromDirectory", lf_hasXmlExtension);
}

void gf_removeXMLFilesFromDirectory() noexcept {
    try {
        gf_removeXMLFilesFromDirectory(gf_paths().tbloFolder);
    } catch (...) {
        // gf_paths can only fail for want of memory; nothing is removed then.
    }
}

std::vector<FixedCode<4>> gf_airportCodesInFolder(const fs::path& folder) {
    std::vector<FixedCode<4>> codes;
    if (!gf_pathExists(folder)) return codes;
    codes.reserve(512);
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError) || !lf_hasXmlExtension(entry.path())) continue;
        const std::string stem = entry.path().stem().string();
        if (lf_utf16Length(stem) != 4) continue;
        try {
            codes.emplace_back(std::string_view(stem));
        } catch (const std::invalid_argument& e) {
            // One stray file must not end the listing of all the others.
            gf_log(fmt::format("! gf_airportCodesInFolder | {}: {}", entry.path().string(), e.what()));
        }
    }
    return codes;
}

DeferredFileSync::DeferredFileSync() {
    if (tDeferredFolders == nullptr) {
        tDeferredFolders = &m_folders;
        m_active = true;
    }
}

DeferredFileSync::~DeferredFileSync() {
    if (!m_active) return;
    flush();
    tDeferredFolders = nullptr;
}

bool DeferredFileSync::flush() noexcept {
    bool ok = true;
    for (const fs::path& folder : m_folders) {
        // One flush of the file system that holds the folder covers all its files and entries.
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0) {
            ok = false;
            gf_logHighlighted(fmt::format("Could not flush the files of {}: {}", folder.string(),
                                          std::generic_category().message(errno)));
        }
        if (fd >= 0) ::close(fd);
    }
    m_folders.clear();
    return ok;
}

std::string FileReplaceResult::nameOf(const fs::path& path) const {
    if (linkedTo.empty()) return path.string();
    return fmt::format("{} (a link to {})", path.string(), lf_shownPath(linkedTo));
}

FileReplaceResult gf_replaceFile(const fs::path& path, const FileFill& fill,
                                 const FileReplaceOptions& options) noexcept {
    FileReplaceResult result;
    try {
        if (!lf_replaceFile(path, fill, options, result) && result.failure.empty()) result.failure = "unknown failure";
    } catch (const std::exception& e) { // only memory for the texts can run out here
        result.failure = e.what();
    } catch (...) {
        result.failure = "unknown exception";
    }
    return result;
}

FileReplaceResult gf_copyFile(const fs::path& from, const fs::path& to, const FileReplaceOptions& options) noexcept {
    return gf_replaceFile(to, [&from](int fd, const fs::path&) { return lf_copyInto(fd, from); }, options);
}

namespace {

// Whether two paths name one folder.
bool lf_sameFolder(const fs::path& a, const fs::path& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool lf_moveFileInto(const fs::path& from, const fs::path& to, FileReplaceResult& result) {
    if (!lf_resolveLinks(to, result)) return false;
    const fs::path& target = result.linkedTo.empty() ? to : result.linkedTo;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const fs::path fromFolder = from.has_parent_path() ? from.parent_path() : fs::path(".");
    if (!lf_sameFolder(fromFolder, folder)) {
        // Elsewhere (a link into another folder): copied there as a new file, then removed here.
        result = gf_copyFile(from, to);
        if (result.written()) ::unlink(from.c_str());
        return result.written();
    }
    std::string& failure = result.failure;
    std::optional<mode_t> permissions;
    if (!lf_permissionsToKeep(target, permissions, failure)) return false;
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        failure = lf_errnoText(fmt::format("opening {}", from.string()), errno);
        return false;
    }
    bool ready = !permissions || ::fchmod(fd, *permissions) == 0;
    if (!ready) failure = lf_errnoText(fmt::format("setting the permissions of {}", from.string()), errno);
    if (ready && tDeferredFolders == nullptr && ::fsync(fd) != 0) {
        failure = lf_errnoText(fmt::format("flushing {}", from.string()), errno);
        ready = false;
    }
    ::close(fd);
    if (!ready || !lf_renameOver(from, target, true, failure)) return false;
    return lf_syncFolder(folder, failure);
}

} // namespace

FileReplaceResult gf_moveFileInto(const fs::path& from, const fs::path& to) noexcept {
    FileReplaceResult result;
    try {
        if (!lf_moveFileInto(from, to, result) && result.failure.empty()) result.failure = "unknown failure";
    } catch (const std::exception& e) {
        result.failure = e.what();
    } catch (...) {
        result.failure = "unknown exception";
    }
    return result;
}

namespace {

bool lf_writeFileReplacing(const fs::path& path, std::string_view bytes, bool flushToDisk) noexcept {
    const FileReplaceResult result = gf_replaceFile(
        path, [bytes](int fd, const fs::path&) { return gf_writeToFile(fd, bytes); }, {.flushToDisk = flushToDisk});
    if (result.written()) return true;
    try {
        gf_logHighlighted(fmt::format("Could not write {}: {}", result.nameOf(path), result.failure));
    } catch (...) {
        // No memory for the line: the result still tells it.
    }
    return false;
}

} // namespace

bool gf_writeFileAtomically(const fs::path& path, std::string_view bytes) noexcept {
    return lf_writeFileReplacing(path, bytes, true);
}

bool gf_writeFileWhole(const fs::path& path, std::string_view bytes) noexcept {
    return lf_writeFileReplacing(path, bytes, false);
}

fs::path gf_pathFromWindowsText(std::string_view windowsText) {
    std::string text(windowsText);
    std::replace(text.begin(), text.end(), '\\', '/');
    if (text.size() >= 2 && lf_isDriveLetter(text[0]) && text[1] == ':') {
        const char drive = gf_toLowerChar(text[0]);
        std::string rest = text.substr(2);
        if (!rest.empty() && rest.front() != '/') rest.insert(rest.begin(), '/');
        return fs::path(lf_drivesRoot().string() + "/" + drive + rest);
    }
    return fs::path(text);
}

std::string gf_windowsTextOfPath(const fs::path& path) {
    std::string text = path.string();
    const std::string root = lf_drivesRoot().string();
    const std::string prefix = root == "/" ? root : root + "/";
    if (text.size() >= prefix.size() + 1 && text.compare(0, prefix.size(), prefix) == 0 &&
        lf_isDriveLetter(text[prefix.size()]) &&
        (text.size() == prefix.size() + 1 || text[prefix.size() + 1] == '/')) {
        std::string rest = text.substr(prefix.size() + 1);
        text = std::string(1, gf_toUpperChar(text[prefix.size()])) + ":" + (rest.empty() ? "/" : rest);
    }
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

namespace {

// Reads the open regular file into `out.bytes` up to its end, at most `limit` bytes; with
// `refuseBeyond` a file that holds more is refused instead of cut. The size the file reports is
// only the first guess: it may grow meanwhile, and the kernel's own files report none.
void lf_readOpenFile(int fd, std::size_t reported, std::size_t limit, bool refuseBeyond, FileBytes& out) {
    const std::size_t wanted = refuseBeyond && limit < SIZE_MAX ? limit + 1 : limit;
    std::string& bytes = out.bytes;
    try {
        // One byte beyond the reported size finds the end in one read; the kernel's files start
        // with a page.
        const std::size_t first = reported == 0 ? 4096 : reported < wanted ? reported + 1 : wanted;
        bytes.resize(std::min(first, wanted));
        std::size_t got = 0;
        for (;;) {
            if (got == bytes.size()) {
                if (bytes.size() >= wanted) break;
                bytes.resize(std::min(bytes.size() * 2, wanted));
            }
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                out.problem = fmt::format("reading failed: {}", std::generic_category().message(errno));
                bytes.clear();
                return;
            }
        }
        bytes.resize(got);
    } catch (const std::bad_alloc&) {
        bytes = std::string();
        out.problem = fmt::format("not enough memory to read its {} bytes", reported);
        return;
    }
    if (refuseBeyond && bytes.size() > limit) {
        bytes = std::string();
        out.problem = fmt::format("more than the {} bytes it may hold", limit);
    }
}

// Opens the file as gf_openRegularFile does; with `refuseBeyond` a size above `limit` is refused.
RegularFile lf_openRegular(const fs::path& path, std::size_t limit, bool refuseBeyond) {
    RegularFile file;
    // Not blocking: a named pipe opens at once and is then refused as no regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        file.openError = errno;
        struct stat st {};
        // A socket does not open at all ("No such device or address"): say what stands there.
        if (file.openError == ENXIO && ::stat(path.c_str(), &st) == 0)
            file.problem = lf_notARegularFile(st.st_mode);
        else
            file.problem = std::generic_category().message(file.openError);
        return file;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        file.problem = std::generic_category().message(errno);
    } else if (!S_ISREG(st.st_mode)) {
        // A folder opens on Linux, not on Windows: to the callers it did not open.
        if (S_ISDIR(st.st_mode)) file.openError = EISDIR;
        file.problem = lf_notARegularFile(st.st_mode);
    } else if (const auto size = static_cast<uintmax_t>(std::max<off_t>(st.st_size, 0));
               refuseBeyond && size > limit) {
        file.problem = fmt::format("{} bytes, more than the {} it may hold", size, limit);
    } else {
        file.size = static_cast<std::size_t>(std::min<uintmax_t>(size, SIZE_MAX));
    }
    if (!file.problem.empty()) {
        ::close(fd);
        return file;
    }
    file.fd = fd;
    return file;
}

FileBytes lf_readRegular(const fs::path& path, std::size_t limit, bool refuseBeyond) {
    FileBytes out;
    RegularFile file = lf_openRegular(path, limit, refuseBeyond);
    if (!file.opened()) {
        out.problem = std::move(file.problem);
        out.openError = file.openError;
        return out;
    }
    lf_readOpenFile(file.fd, file.size, limit, refuseBeyond, out);
    return out;
}

} // namespace

std::string gf_notWritableInPlace(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISDIR(st.st_mode)) return lf_notARegularFile(st.st_mode);
    return {};
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)), size(other.size), problem(std::move(other.problem)),
      openError(other.openError) {}

RegularFile::~RegularFile() {
    if (fd >= 0) ::close(fd);
}

RegularFile gf_openRegularFile(const fs::path& path, std::size_t maxBytes) {
    return lf_openRegular(path, maxBytes, true);
}

FileBytes gf_readRegularFile(const fs::path& path, std::size_t maxBytes) {
    return lf_readRegular(path, maxBytes, true);
}

FileBytes gf_readRegularFileStart(const fs::path& path, std::size_t count) {
    return lf_readRegular(path, count, false);
}

std::optional<fs::path> gf_findChildIgnoringCase(const fs::path& folder, std::string_view name) {
    if (name.empty()) return std::nullopt;
    try {
        std::error_code ec;
        const fs::path exact = folder / name;
        if (fs::exists(exact, ec)) return exact;
        std::optional<std::string> best;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string candidate = it->path().filename().string();
            if (gf_equalsNoCase(candidate, name) && (!best || candidate < *best)) best = candidate;
        }
        if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
            gf_log(fmt::format("! gf_findChildIgnoringCase | {}: {}", folder.string(), ec.message()));
        }
        if (best) return folder / *best;
    } catch (const std::exception& e) {
        gf_log(fmt::format("! gf_findChildIgnoringCase | {}: {}", folder.string(), e.what()));
    }
    return std::nullopt;
}

} // namespace tamrix
