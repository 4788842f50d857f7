#include "core/zip_archive.hpp"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>

#include "core/files.hpp"

namespace tamrix {

namespace {

std::string errorTextOfCode(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// The writer of new archives: standard zip (local headers, central directory, end record), each
// entry deflated (raw, 32 KiB window) unless that does not make it smaller, when it is stored.
// One deflate stream serves all entries: setting one up per entry costs more than packing a
// small file. Archives beyond the classic format's limits (65535 entries, 4 GiB) are refused.
class ZipEncoder {
public:
    ZipEncoder() = default;
    ZipEncoder(const ZipEncoder&) = delete;
    ZipEncoder& operator=(const ZipEncoder&) = delete;
    ~ZipEncoder() {
        if (m_ready) deflateEnd(&m_stream);
    }

    bool add(const std::string& name, const unsigned char* data, std::size_t size, int level,
             std::string& error) {
        if (name.size() > 0xFFFF || size > kLimit || m_out.size() > kLimit || m_entries.size() >= 0xFFFF) {
            error = "archive too large for the classic zip format";
            return false;
        }
        Entry entry;
        entry.name = name;
        entry.offset = static_cast<uint32_t>(m_out.size());
        entry.size = static_cast<uint32_t>(size);
        entry.crc = static_cast<uint32_t>(crc32_z(crc32_z(0, nullptr, 0), data, size));
        // Names beyond ASCII are marked as UTF-8.
        for (const char c : name)
            if (static_cast<unsigned char>(c) >= 0x80) entry.flags = 0x0800;
        const std::size_t header = m_out.size();
        m_out.resize(header + kLocalHeaderSize + name.size());
        const std::size_t start = m_out.size();
        std::size_t packed = 0;
        if (!deflateInto(data, size, level == 0 ? Z_DEFAULT_COMPRESSION : level, packed, error)) return false;
        if (packed < size) {
            entry.method = 8;
            entry.packedSize = static_cast<uint32_t>(packed);
        } else {
            m_out.resize(start);
            m_out.append(reinterpret_cast<const char*>(data), size);
            entry.packedSize = entry.size;
        }
        if (m_out.size() > kLimit) {
            error = "archive too large for the classic zip format";
            return false;
        }
        char* at = m_out.data() + header;
        put32(at, 0x04034b50);
        put16(at + 4, 20);
        put16(at + 6, entry.flags);
        put16(at + 8, entry.method);
        put16(at + 10, m_dosTime);
        put16(at + 12, m_dosDate);
        put32(at + 14, entry.crc);
        put32(at + 18, entry.packedSize);
        put32(at + 22, entry.size);
        put16(at + 26, static_cast<uint16_t>(name.size()));
        put16(at + 28, 0);
        std::memcpy(at + kLocalHeaderSize, name.data(), name.size());
        m_entries.push_back(std::move(entry));
        return true;
    }

    bool finish(std::string& bytes, std::string& error) {
        const std::size_t directory = m_out.size();
        for (const Entry& entry : m_entries) {
            const std::size_t at = m_out.size();
            m_out.resize(at + kCentralHeaderSize);
            char* h = m_out.data() + at;
            put32(h, 0x02014b50);
            put16(h + 4, (3 << 8) | 20); // made on a Unix system, format 2.0
            put16(h + 6, 20);
            put16(h + 8, entry.flags);
            put16(h + 10, entry.method);
            put16(h + 12, m_dosTime);
            put16(h + 14, m_dosDate);
            put32(h + 16, entry.crc);
            put32(h + 20, entry.packedSize);
            put32(h + 24, entry.size);
            put16(h + 28, static_cast<uint16_t>(entry.name.size()));
            put16(h + 30, 0);
            put16(h + 32, 0);
            put16(h + 34, 0);
            put16(h + 36, 0);
            put32(h + 38, 0100644u << 16); // a regular file, rw-r--r--
            put32(h + 42, entry.offset);
            m_out.append(entry.name);
        }
        if (m_out.size() > kLimit) {
            error = "archive too large for the classic zip format";
            return false;
        }
        const std::size_t end = m_out.size();
        m_out.resize(end + 22);
        char* e = m_out.data() + end;
        put32(e, 0x06054b50);
        put16(e + 4, 0);
        put16(e + 6, 0);
        put16(e + 8, static_cast<uint16_t>(m_entries.size()));
        put16(e + 10, static_cast<uint16_t>(m_entries.size()));
        put32(e + 12, static_cast<uint32_t>(end - directory));
        put32(e + 16, static_cast<uint32_t>(directory));
        put16(e + 20, 0);
        bytes = std::move(m_out);
        return true;
    }

    // Room for the whole archive up front: growing it entry by entry would copy it again and again.
    void reserve(uint64_t bytes) {
        if (bytes <= kLimit) m_out.reserve(static_cast<std::size_t>(bytes));
    }

    void stampNow() {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        if (localtime_r(&now, &local) == nullptr || local.tm_year < 80) return; // 1980-01-01 stays
        m_dosTime = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
        m_dosDate =
            static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    }

private:
    static constexpr std::size_t kLocalHeaderSize = 30;
    static constexpr std::size_t kCentralHeaderSize = 46;
    static constexpr uint64_t kLimit = 0xFFFFFFFEull;

    struct Entry {
        std::string name;
        uint32_t offset = 0;
        uint32_t size = 0;
        uint32_t packedSize = 0;
        uint32_t crc = 0;
        uint16_t flags = 0;
        uint16_t method = 0;
    };

    static void put16(char* at, uint32_t value) {
        at[0] = static_cast<char>(value & 0xFF);
        at[1] = static_cast<char>((value >> 8) & 0xFF);
    }
    static void put32(char* at, uint32_t value) {
        put16(at, value & 0xFFFF);
        put16(at + 2, value >> 16);
    }

    // Deflates the data onto the end of the output; `packed` is the number of bytes it took.
    bool deflateInto(const unsigned char* data, std::size_t size, int level, std::size_t& packed,
                     std::string& error) {
        if (!m_ready || m_level != level) {
            if (m_ready) deflateEnd(&m_stream);
            m_stream = z_stream{};
            m_ready = deflateInit2(&m_stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
            if (!m_ready) {
                error = "deflate could not start";
                return false;
            }
            m_level = level;
        } else if (deflateReset(&m_stream) != Z_OK) {
            error = "deflate could not restart";
            return false;
        }
        const std::size_t start = m_out.size();
        m_out.resize(start + deflateBound(&m_stream, static_cast<uLong>(size)));
        m_stream.next_in = const_cast<Bytef*>(data);
        m_stream.next_out = reinterpret_cast<Bytef*>(m_out.data() + start);
        std::size_t inLeft = size;
        std::size_t outLeft = m_out.size() - start;
        int result = Z_OK;
        // zlib counts in 32 bits: large inputs go in slices.
        while (result == Z_OK) {
            const auto in = static_cast<uInt>(std::min<std::size_t>(inLeft, 1u << 30));
            const auto out = static_cast<uInt>(std::min<std::size_t>(outLeft, 1u << 30));
            m_stream.avail_in = in;
            m_stream.avail_out = out;
            result = deflate(&m_stream, inLeft == in ? Z_FINISH : Z_NO_FLUSH);
            inLeft -= in - m_stream.avail_in;
            outLeft -= out - m_stream.avail_out;
            if (result == Z_BUF_ERROR ||
                (result == Z_OK && out == m_stream.avail_out && in == m_stream.avail_in))
                break;
        }
        if (result != Z_STREAM_END) {
            error = "deflate failed";
            return false;
        }
        packed = m_out.size() - start - outLeft;
        m_out.resize(start + packed);
        return true;
    }

    std::string m_out;
    std::vector<Entry> m_entries;
    z_stream m_stream{};
    bool m_ready = false; // the stream is set up, at m_level
    int m_level = 0;
    uint16_t m_dosTime = 0;
    uint16_t m_dosDate = (0 << 9) | (1 << 5) | 1;
};

bool encodeZip(const std::vector<ZipArchive::PendingEntry>& entries, std::string& bytes, std::string& error) {
    ZipEncoder encoder;
    encoder.stampNow();
    uint64_t room = 22;
    for (const auto& entry : entries)
        room += entry.size + 2 * entry.name.size() + 128;
    encoder.reserve(room);
    for (const auto& entry : entries)
        if (!encoder.add(entry.name, entry.data, entry.size, entry.level, error)) return false;
    return encoder.finish(bytes, error);
}

// Closes a libzip file handle on every way out.
struct EntryFile {
    zip_file_t* file = nullptr;
    ~EntryFile() {
        if (file != nullptr) zip_fclose(file);
    }
};

} // namespace

ZipArchive::ZipArchive(std::filesystem::path path, std::string password)
    : m_path(std::move(path)), m_password(std::move(password)) {}

ZipArchive::~ZipArchive() { discard(); }

bool ZipArchive::open(OpenMode mode, bool checkConsistency) {
    discard();
    int flags = 0;
    switch (mode) {
    case ReadOnly: flags = ZIP_RDONLY; break;
    case Write: flags = ZIP_CREATE; break;
    case New: flags = ZIP_CREATE | ZIP_TRUNCATE; break;
    case NotOpen: m_error = "no open mode"; return false;
    }
    if (checkConsistency) flags |= ZIP_CHECKCONS;
    if (mode == New) {
        // A new archive is built in memory and written in one piece when closed.
        m_pending.clear();
        m_pendingByName.clear();
        m_mode = New;
        m_error.clear();
        return true;
    }
    int code = 0;
    m_archive = zip_open(m_path.c_str(), flags, &code);
    if (m_archive == nullptr) {
        m_error = errorTextOfCode(code);
        return false;
    }
    if (!m_password.empty() && zip_set_default_password(m_archive, m_password.c_str()) != 0) {
        m_error = zip_strerror(m_archive);
        discard();
        return false;
    }
    m_mode = mode;
    m_error.clear();
    return true;
}

std::vector<ZipEntry> ZipArchive::getEntries() const {
    std::vector<ZipEntry> entries;
    if (m_mode == New) {
        for (const PendingEntry& pending : m_pending)
            entries.push_back(ZipEntry{pending.name, entries.size(), pending.size, 0});
        return entries;
    }
    if (m_archive == nullptr) return entries;
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_archive, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
        ZipEntry entry;
        entry.index = static_cast<uint64_t>(i);
        if ((st.valid & ZIP_STAT_NAME) != 0 && st.name != nullptr) entry.name = st.name;
        if ((st.valid & ZIP_STAT_SIZE) != 0) entry.size = st.size;
        if ((st.valid & ZIP_STAT_COMP_SIZE) != 0) entry.compressedSize = st.comp_size;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<ZipEntry> ZipArchive::getEntry(std::string_view name) const {
    for (ZipEntry& entry : getEntries()) {
        if (entry.name == name) return std::move(entry);
    }
    return std::nullopt;
}

int ZipArchive::readEntry(const ZipEntry& entry, const std::function<bool(std::string_view)>& sink,
                          std::size_t chunkSize) const {
    if (m_archive == nullptr) return kReadNotOpen;
    if (chunkSize == 0) chunkSize = 524288;
    EntryFile in;
    in.file = zip_fopen_index(m_archive, entry.index, 0);
    if (in.file == nullptr) {
        m_error = zip_strerror(m_archive);
        return zip_get_num_entries(m_archive, 0) <= static_cast<zip_int64_t>(entry.index)
                   ? kReadNoEntry
                   : kReadFailed;
    }
    std::string buffer(chunkSize, '\0');
    uint64_t total = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(in.file, buffer.data(), buffer.size());
        if (got < 0) {
            m_error = zip_file_strerror(in.file);
            return kReadFailed;
        }
        if (got == 0) break;
        total += static_cast<uint64_t>(got);
        if (!sink(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
            return kReadSinkFailed;
        }
    }
    // libzip checks the CRC at the end of the data; a short entry shows here as well.
    if (entry.size != 0 && total != entry.size) {
        m_error = "entry size does not match its header";
        return kReadSizeMismatch;
    }
    return kReadOk;
}

std::optional<std::string> ZipArchive::readContent(const ZipEntry& entry, uint64_t maxBytes) const {
    if (entry.size > maxBytes) {
        m_error = "entry larger than allowed";
        return std::nullopt;
    }
    std::string content;
    if (entry.size <= (1u << 26)) content.reserve(static_cast<std::size_t>(entry.size));
    const int result = readEntry(entry, [&](std::string_view chunk) {
        // The header's size may lie; the limit holds for the bytes that really come.
        if (content.size() + chunk.size() > maxBytes) {
            m_error = "entry larger than allowed";
            return false;
        }
        content.append(chunk);
        return true;
    });
    if (result != kReadOk) return std::nullopt;
    return content;
}

bool ZipArchive::addData(std::string_view name, const void* data, std::size_t size) {
    if (m_mode == New) {
        PendingEntry entry{std::string(name), static_cast<const unsigned char*>(data), size, m_level};
        // A name added again replaces the earlier entry, in its place.
        if (const auto known = m_pendingByName.find(entry.name); known != m_pendingByName.end()) {
            m_pending[known->second] = std::move(entry);
        } else {
            m_pendingByName.emplace(entry.name, m_pending.size());
            m_pending.push_back(std::move(entry));
        }
        return true;
    }
    if (m_archive == nullptr || m_mode != Write) {
        m_error = "archive not open for writing";
        return false;
    }
    zip_source_t* source = zip_source_buffer(m_archive, data, size, 0);
    if (source == nullptr) {
        m_error = zip_strerror(m_archive);
        return false;
    }
    const std::string entryName(name);
    const zip_int64_t index =
        zip_file_add(m_archive, entryName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        m_error = zip_strerror(m_archive);
        zip_source_free(source);
        return false;
    }
    if (m_level != 0 && zip_set_file_compression(m_archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                                 static_cast<zip_uint32_t>(m_level)) != 0) {
        m_error = zip_strerror(m_archive);
        return false;
    }
    return true;
}

void ZipArchive::setCompressionLevel(int level) {
    m_level = level < 0 ? 0 : (level > 9 ? 9 : level);
}

bool ZipArchive::writeNewArchive() {
    // An archive without entries leaves nothing behind, like libzip's own output.
    if (m_pending.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
        if (ec) m_error = ec.message();
        return !ec;
    }
    std::string bytes;
    if (!encodeZip(m_pending, bytes, m_error)) return false;
    // Whole or not at all: a reader never sees half an archive.
    if (!gf_writeFileAtomically(m_path, bytes)) {
        m_error = "could not write " + m_path.string();
        return false;
    }
    return true;
}

bool ZipArchive::close() {
    if (m_mode == New) {
        const bool written = writeNewArchive();
        discard();
        return written;
    }
    if (m_archive == nullptr) {
        m_error = "archive not open";
        return false;
    }
    if (zip_close(m_archive) != 0) {
        m_error = zip_strerror(m_archive);
        zip_discard(m_archive);
        m_archive = nullptr;
        m_mode = NotOpen;
        return false;
    }
    m_archive = nullptr;
    m_mode = NotOpen;
    return true;
}

void ZipArchive::discard() noexcept {
    if (m_archive != nullptr) zip_discard(m_archive);
    m_archive = nullptr;
    m_pending.clear();
    m_pendingByName.clear();
    m_mode = NotOpen;
}

} // namespace tamrix
