#include "refdata/code_table.hpp"

#include <fmt/format.h>

#include "core/log.hpp"

namespace tamrix {

CodeTable gOperatorCodes;
CodeTable gModelCodes;
std::map<std::string, std::string, std::less<>> gModelFixes;

CodeTable::~CodeTable() {
    for (auto& chunk : m_chunks)
        delete[] chunk.load(std::memory_order_relaxed);
}

std::optional<uint16_t> CodeTable::find(std::string_view code) const {
    std::shared_lock lock(m_mutex);
    const auto it = m_index.find(code);
    if (it == m_index.end()) return std::nullopt;
    return it->second;
}

uint16_t CodeTable::intern(std::string_view code) {
    if (const auto known = find(code)) return *known;
    return append(code, false);
}

uint16_t CodeTable::internReported(std::string_view code) {
    if (const auto known = find(code)) return *known;
    return append(code, true);
}

std::size_t CodeTable::reportedCount() const {
    std::shared_lock lock(m_mutex);
    return m_reportedCount;
}

uint16_t CodeTable::append(std::string_view code, bool reported) {
    std::unique_lock lock(m_mutex);
    // Another thread may have appended the same code between the two locks.
    if (const auto it = m_index.find(code); it != m_index.end()) return it->second;
    const std::size_t index = m_size.load(std::memory_order_relaxed);
    if (reported && m_reportedCount >= kMaxReportedCodes) {
        const bool first = !m_reportedFullLogged;
        m_reportedFullLogged = true;
        lock.unlock();
        if (first)
            gf_logHighlighted(fmt::format("{} unknown codes taken from traffic data, '{}' and later ones count as "
                                          "empty",
                                          kMaxReportedCodes, code));
        return 0;
    }
    if (index >= kMaxCodes) {
        const bool first = !m_fullLogged;
        m_fullLogged = true;
        lock.unlock();
        if (first)
            gf_logHighlighted(fmt::format(
                "code table full ({} codes), '{}' and later new codes count as empty", kMaxCodes, code));
        return 0;
    }
    auto& chunkSlot = m_chunks[index / kChunkSize];
    std::string* chunk = chunkSlot.load(std::memory_order_relaxed);
    if (chunk == nullptr) {
        chunk = new std::string[kChunkSize];
        chunkSlot.store(chunk, std::memory_order_release);
    }
    std::string& stored = chunk[index % kChunkSize];
    stored.assign(code);
    m_index.emplace(std::string_view(stored), static_cast<uint16_t>(index));
    if (reported) ++m_reportedCount;
    // Publishing the size last makes the text visible to lock-free readers.
    m_size.store(index + 1, std::memory_order_release);
    return static_cast<uint16_t>(index);
}

void CodeTable::clear() {
    std::unique_lock lock(m_mutex);
    m_index.clear();
    m_size.store(0, std::memory_order_release);
    m_loaded.store(false, std::memory_order_release);
    m_fullLogged = false;
}

const std::string& CodeTable::text(std::size_t index) const noexcept {
    static const std::string empty;
    if (index >= m_size.load(std::memory_order_acquire)) return empty;
    const std::string* chunk = m_chunks[index / kChunkSize].load(std::memory_order_acquire);
    return chunk[index % kChunkSize];
}

uint16_t gf_airlineIndex(std::string_view code) {
    return gOperatorCodes.intern(code);
}

namespace {
const std::string* lf_findFix(std::string_view code) {
    const auto it = gModelFixes.find(code);
    return it == gModelFixes.end() ? nullptr : &it->second;
}
} // namespace

uint16_t gf_modelIndex(std::string_view code) {
    if (const auto known = gModelCodes.find(code)) return *known;
    if (gModelCodes.loaded()) {
        if (const std::string* correct = lf_findFix(code)) {
            if (const auto fixed = gModelCodes.find(*correct)) return *fixed;
        }
    }
    return gModelCodes.intern(code);
}

uint16_t gf_reportedModelIndex(std::string_view code) {
    if (const auto known = gModelCodes.find(code)) return *known;
    if (gModelCodes.loaded()) {
        if (const std::string* correct = lf_findFix(code)) {
            if (const auto fixed = gModelCodes.find(*correct)) return *fixed;
        }
    }
    return gModelCodes.internReported(code);
}

} // namespace tamrix
