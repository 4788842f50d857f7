#include "core/zip_archive.hpp"

#include <zip.h>

#include <algorithm>
#include <string>
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
        // A new archive is built in memory and written in one piece when closed: libzip's own
        // file output seeks and writes several times per entry.
        zip_error_t error;
        zip_error_init(&error);
        m_memory = zip_source_buffer_create(nullptr, 0, 0, &error);
        if (m_memory != nullptr) {
            zip_source_keep(m_memory); // outlives the archive: its bytes are read after zip_close
            m_archive = zip_open_from_source(m_memory, flags, &error);
        }
        if (m_archive == nullptr) {
            m_error = zip_error_strerror(&error);
            zip_error_fini(&error);
            discard();
            return false;
        }
        zip_error_fini(&error);
    } else {
        int code = 0;
        m_archive = zip_open(m_path.c_str(), flags, &code);
        if (m_archive == nullptr) {
            m_error = errorTextOfCode(code);
            return false;
        }
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
    // No larger than the entry says it is: a small entry is not read through half a megabyte of
    // zeroed buffer (an entry larger than it says is still read whole, in more chunks).
    if (entry.size > 0 && entry.size < chunkSize) chunkSize = std::max<std::size_t>(entry.size, 4096);
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
    if (m_archive == nullptr || (m_mode != Write && m_mode != New)) {
        m_error = "archive not open for writing";
        return false;
    }
    zip_source_t* source = zip_source_buffer(m_archive, data, size, 0);
    if (source == nullptr) {
        m_error = zip_strerror(m_archive);
        return false;
    }
    const std::string entryName(name);
    const zip_int64_t index = zip_file_add(m_archive, entryName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        m_error = zip_strerror(m_archive);
        zip_source_free(source);
        return false;
    }
    if (m_level != 0 &&
        zip_set_file_compression(m_archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(m_level)) != 0) {
        m_error = zip_strerror(m_archive);
        return false;
    }
    return true;
}

void ZipArchive::setCompressionLevel(int level) { m_level = level < 0 ? 0 : (level > 9 ? 9 : level); }

bool ZipArchive::writeMemoryArchive() {
    zip_source_t* memory = m_memory;
    zip_stat_t st;
    zip_stat_init(&st);
    // An archive without entries leaves nothing behind, like libzip's own output.
    if (zip_source_stat(memory, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0 || st.size == 0) {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
        if (ec) m_error = ec.message();
        return !ec;
    }
    std::string bytes(static_cast<std::size_t>(st.size), '\0');
    if (zip_source_open(memory) != 0) {
        m_error = zip_error_strerror(zip_source_error(memory));
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const zip_int64_t got = zip_source_read(memory, bytes.data() + done, bytes.size() - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    zip_source_close(memory);
    if (done != bytes.size()) {
        m_error = "archive bytes could not be read back";
        return false;
    }
    // Whole or not at all: a reader never sees half an archive.
    if (!gf_writeFileAtomically(m_path, bytes)) {
        m_error = "could not write " + m_path.string();
        return false;
    }
    return true;
}

bool ZipArchive::close() {
    if (m_archive == nullptr) {
        m_error = "archive not open";
        return false;
    }
    if (zip_close(m_archive) != 0) {
        m_error = zip_strerror(m_archive);
        zip_discard(m_archive);
        m_archive = nullptr;
        discard();
        return false;
    }
    m_archive = nullptr;
    const bool written = m_memory == nullptr || writeMemoryArchive();
    discard();
    return written;
}

void ZipArchive::discard() noexcept {
    if (m_archive != nullptr) zip_discard(m_archive);
    m_archive = nullptr;
    if (m_memory != nullptr) zip_source_free(m_memory);
    m_memory = nullptr;
    m_mode = NotOpen;
}

} // namespace tamrix
