#pragma once
// A thin archive type over libzip with the calls the program makes: open, list the entries,
// read an entry (whole or in chunks), add data from memory and close.
//
// Added data is read by libzip only when the archive is closed, so the caller keeps the bytes
// alive until `close` returns. An archive that is destroyed without `close` discards its pending
// changes: nothing half-written is left at the path.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_source;

namespace tamrix {

struct ZipEntry {
    std::string name;          // as stored, with "/" between folder parts
    uint64_t index = 0;
    uint64_t size = 0;         // uncompressed bytes
    uint64_t compressedSize = 0;
    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    // The numbers are those the program's log texts name ("mode New (3)").
    enum OpenMode : int { NotOpen = 0, ReadOnly = 1, Write = 2, New = 3 };

    // Results of `readEntry`; 0 is success.
    static constexpr int kReadOk = 0;
    static constexpr int kReadNotOpen = -1;
    static constexpr int kReadNoEntry = -2;
    static constexpr int kReadFailed = -3;
    static constexpr int kReadSinkFailed = -4;
    static constexpr int kReadSizeMismatch = -5;

    explicit ZipArchive(std::filesystem::path path, std::string password = {});
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // ReadOnly and Write need an existing archive (Write creates one when missing); New starts
    // an empty archive in memory and, when closed, replaces whatever is at the path in one
    // atomic write (gf_writeFileAtomically; an archive without entries removes the file instead).
    // False when it cannot be opened (the cause is in `errorText`). Opening an open archive
    // first discards it.
    bool open(OpenMode mode = ReadOnly, bool checkConsistency = false);
    bool isOpen() const { return m_archive != nullptr; }
    OpenMode mode() const { return m_mode; }

    // The entries in archive order; empty when not open.
    std::vector<ZipEntry> getEntries() const;
    std::optional<ZipEntry> getEntry(std::string_view name) const;

    // The whole content of the entry; none when it cannot be read or is larger than `maxBytes`.
    std::optional<std::string> readContent(const ZipEntry& entry,
                                           uint64_t maxBytes = UINT64_MAX) const;
    // Streams the entry's content through `sink` in chunks of at most `chunkSize` bytes. A sink
    // that returns false stops the read (kReadSinkFailed). 0 when every byte arrived.
    int readEntry(const ZipEntry& entry, const std::function<bool(std::string_view)>& sink,
                  std::size_t chunkSize = 524288) const;

    // Adds (or replaces) the entry `name` with `size` bytes at `data`, which must stay valid
    // until `close` returns. Only in Write or New mode.
    bool addData(std::string_view name, const void* data, std::size_t size);
    // The deflate level (1 fastest to 9 smallest) of entries added from now on; 0, the start,
    // leaves libzip's default. The archive stays a standard zip either way.
    void setCompressionLevel(int level);

    // Writes the changes (Write or New) and closes. False when writing failed; the archive is
    // closed either way and nothing was changed at the path then.
    bool close();
    // Closes without writing.
    void discard() noexcept;

    // The last libzip error text, for log lines.
    const std::string& errorText() const { return m_error; }

private:
    std::filesystem::path m_path;
    std::string m_password;
    bool writeMemoryArchive();

    ::zip* m_archive = nullptr;
    ::zip_source* m_memory = nullptr; // the bytes of a New archive
    int m_level = 0;
    OpenMode m_mode = NotOpen;
    mutable std::string m_error;
};

} // namespace tamrix
