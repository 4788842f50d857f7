#pragma once
// Airline (operator) codes and aircraft model codes travel through the program as 16-bit
// indices. A CodeTable interns code texts: each new text gets the next index and keeps it, and
// its text, for the life of the process; nothing is ever removed. Index 0 is the empty code
// (the dbase reader interns "" first), so 0 means "no operator" or "no model" everywhere.
//
// Any thread may intern and read at once (the livery scan's tasks, the traffic reader, the
// start-up thread): interning is serialised, and a text once stored never moves, so reading the
// text of an index takes no lock.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tamrix {

class CodeTable {
public:
    static constexpr std::size_t kMaxCodes = 65536;
    // How many new codes outside data (traffic lines, the simulator's user aircraft) may add in
    // the life of the process. The reference data and the livery catalogue keep the rest of the
    // table, so a feed of ever new type texts cannot fill it.
    static constexpr std::size_t kMaxReportedCodes = 4096;

    CodeTable() = default;
    ~CodeTable();
    CodeTable(const CodeTable&) = delete;
    CodeTable& operator=(const CodeTable&) = delete;

    // The index of the code; an unknown code is appended first. Texts are taken as given (no
    // case folding or trimming). A full table appends nothing: it logs once and returns 0.
    uint16_t intern(std::string_view code);
    // The same for a code reported by outside data: a known code gives its index; a new one is
    // appended only while fewer than kMaxReportedCodes codes came this way, else it gives 0
    // (logged once).
    uint16_t internReported(std::string_view code);
    // New codes appended through internReported so far.
    std::size_t reportedCount() const;
    // The index of a code already in the table.
    std::optional<uint16_t> find(std::string_view code) const;
    // The text of an index; the empty text for an index outside the table. The reference stays
    // valid for the life of the process.
    const std::string& text(std::size_t index) const noexcept;
    std::size_t size() const noexcept { return m_size.load(std::memory_order_acquire); }

    // Set once the dbase reader has interned this table's reference codes.
    bool loaded() const noexcept { return m_loaded.load(std::memory_order_acquire); }
    void setLoaded() noexcept { m_loaded.store(true, std::memory_order_release); }
    // Empties the table and clears `loaded`, for a process that starts over (tests): no other
    // thread may use the table meanwhile, and a text reference handed out earlier shows whatever
    // code later takes its index.
    void clear();

private:
    uint16_t append(std::string_view code, bool reported);

    static constexpr std::size_t kChunkSize = 256;
    static constexpr std::size_t kChunkCount = kMaxCodes / kChunkSize;

    mutable std::shared_mutex m_mutex;
    // Fixed chunks of texts: appending never moves a stored text, so `text` reads without a lock
    // and the map's keys can view the stored texts.
    std::array<std::atomic<std::string*>, kChunkCount> m_chunks{};
    std::atomic<std::size_t> m_size{0};
    std::unordered_map<std::string_view, uint16_t> m_index;
    std::atomic<bool> m_loaded{false};
    bool m_fullLogged = false;
    std::size_t m_reportedCount = 0;
    bool m_reportedFullLogged = false;
};

// The two process-wide tables: ICAO airline codes and ICAO aircraft type codes.
extern CodeTable gOperatorCodes;
extern CodeTable gModelCodes;

// The dbase file's corrections of wrong model codes: wrong code -> correct code (a code of the
// dbase's aircraft list). Filled once by the dbase reader, read-only afterwards.
extern std::map<std::string, std::string, std::less<>> gModelFixes;

// Index of an airline code in gOperatorCodes; an unknown code is appended first.
uint16_t gf_airlineIndex(std::string_view code);
// Index of a model code in gModelCodes. Once the dbase's model codes are loaded, a code that is
// not in the table but has a fix to a known code yields that code's index (the wrong code is not
// stored); otherwise an unknown code is appended as given.
uint16_t gf_modelIndex(std::string_view code);
// gf_modelIndex for a model code that outside data reports (a traffic line's type, the user
// aircraft's model): a code not yet known is appended only within the table's share for such
// codes, else it counts as no model (index 0).
uint16_t gf_reportedModelIndex(std::string_view code);

} // namespace tamrix
