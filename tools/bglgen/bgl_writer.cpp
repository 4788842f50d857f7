#include "bglgen/bgl_writer.hpp"

#include <bit>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace bglgen {

namespace {

class Out {
public:
    void word(uint32_t w) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    void real(float f) { word(std::bit_cast<uint32_t>(f)); }
    void zeros(uint32_t words) {
        for (uint32_t i = 0; i < words; ++i)
            word(0);
    }
    // Record header: id, byte size (straddling words 0 and 1), the u16 at bytes 6..7.
    void header(uint16_t id, uint32_t size, uint16_t extra = 0) {
        word(static_cast<uint32_t>(id) | (size & 0xFFFFu) << 16);
        word((size >> 16) | static_cast<uint32_t>(extra) << 16);
    }
    std::vector<uint8_t> bytes;
};

constexpr uint32_t kHelipadBytes = 36;
constexpr uint32_t kAirportHeaderBytes = 68;

uint32_t spotBytes(const Spot& s) { return 56 + 4 * s.airlineCodes; }

uint32_t subRecordBytes(const SubRecord& sub) {
    if (std::holds_alternative<Helipad>(sub)) return kHelipadBytes;
    if (const auto* p = std::get_if<ParkingList>(&sub)) {
        uint32_t size = 8;
        for (const Spot& s : p->spots)
            size += spotBytes(s);
        return size;
    }
    return std::get<RawRecord>(sub).words * 4;
}

void writeSub(Out& out, const SubRecord& sub) {
    if (const auto* h = std::get_if<Helipad>(&sub)) {
        out.header(0x0026, h->sizeBytes.value_or(kHelipadBytes));
        out.word(0);
        out.word(h->rawLongitude.value_or(packLongitude(h->longitude)));
        out.word(h->rawLatitude.value_or(packLatitude(h->latitude)));
        out.zeros(2);
        out.real(h->widthM);
        out.word(0);
    } else if (const auto* p = std::get_if<ParkingList>(&sub)) {
        out.header(0x00E7, p->sizeBytes.value_or(subRecordBytes(sub)),
                   static_cast<uint16_t>(p->count.value_or(static_cast<uint32_t>(p->spots.size()))));
        for (const Spot& s : p->spots) {
            out.word((s.nameCode & 0x3Fu) | (s.type & 0xFu) << 8 | (s.number & 0xFFFu) << 12 |
                     (s.airlineCodes & 0xFFu) << 24);
            out.real(s.radiusM);
            out.real(s.headingDeg);
            out.zeros(4);
            out.word(s.rawLongitude.value_or(packLongitude(s.longitude)));
            out.word(s.rawLatitude.value_or(packLatitude(s.latitude)));
            out.zeros(5);
            for (uint32_t i = 0; i < s.airlineCodes; ++i)
                out.word(0x4C484B00u + i); // any 4-byte airline code
        }
    } else {
        const auto& r = std::get<RawRecord>(sub);
        out.header(r.id, r.sizeBytes.value_or(r.words * 4));
        if (r.words > 2) out.zeros(r.words - 2);
    }
}

uint32_t airportBytes(const Airport& a) {
    uint32_t size = kAirportHeaderBytes;
    for (const SubRecord& sub : a.subRecords)
        size += subRecordBytes(sub);
    return size;
}

void writeAirport(Out& out, const Airport& a) {
    out.header(0x0056, a.sizeBytes.value_or(airportBytes(a)));
    out.zeros(3);
    out.word(static_cast<uint32_t>(a.altitudeMm));
    out.zeros(4);
    out.word(a.rawCode);
    out.zeros(6);
    for (const SubRecord& sub : a.subRecords)
        writeSub(out, sub);
}

uint32_t recordsBytes(const Section& s) {
    uint32_t size = 0;
    for (const auto& rec : s.records)
        size += std::holds_alternative<Airport>(rec) ? airportBytes(std::get<Airport>(rec))
                                                     : std::get<RawRecord>(rec).words * 4;
    return size;
}

} // namespace

uint32_t packIcao(std::string_view code) {
    uint32_t v = 0;
    for (char c : code) {
        uint32_t d = 0;
        if (c == ' ')
            d = 0;
        else if (c == '?')
            d = 1;
        else if (c >= '0' && c <= '9')
            d = static_cast<uint32_t>(c - '0') + 2;
        else if (c >= 'A' && c <= 'Z')
            d = static_cast<uint32_t>(c - 'A') + 12;
        else if (c >= 'a' && c <= 'z')
            d = static_cast<uint32_t>(c - 'a') + 12;
        else
            throw std::runtime_error("airport code character out of range: " + std::string(code));
        v = v * 38 + d;
    }
    return v << 5;
}

uint32_t packLatitude(double latitude) {
    return static_cast<uint32_t>(std::llround((90.0 - latitude) * 268435456.0 / 90.0));
}

uint32_t packLongitude(double longitude) {
    return static_cast<uint32_t>(std::llround((longitude + 180.0) * 268435456.0 / 120.0));
}

std::vector<uint8_t> writeBgl(const BglFile& file) {
    Out out;
    const auto n = static_cast<uint32_t>(file.sections.size());
    uint32_t entries = 0;
    for (const Section& s : file.sections)
        entries += s.tableEntries;
    out.word(0x19920201);
    out.word(file.headerSize);
    out.zeros(3);
    out.word(file.sectionCount.value_or(entries));
    out.zeros(8);
    // Each section's 16-byte subsection header is followed at once by its records.
    uint32_t offset = 56 + 20 * entries;
    std::vector<uint32_t> headerOffsets;
    for (const Section& s : file.sections) {
        headerOffsets.push_back(offset);
        offset += 16 + recordsBytes(s);
    }
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t copy = 0; copy < file.sections[i].tableEntries; ++copy) {
            out.word(file.sections[i].type);
            out.word(file.sections[i].flag);
            out.word(1);
            out.word(headerOffsets[i]);
            out.word(16);
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        const Section& s = file.sections[i];
        out.word(0);
        out.word(static_cast<uint32_t>(s.records.size()));
        out.word(headerOffsets[i] + 16);
        out.word(recordsBytes(s));
        for (const auto& rec : s.records) {
            if (const auto* a = std::get_if<Airport>(&rec)) {
                writeAirport(out, *a);
            } else {
                writeSub(out, std::get<RawRecord>(rec));
            }
        }
    }
    if (file.truncateTo && *file.truncateTo < out.bytes.size()) out.bytes.resize(*file.truncateTo);
    return std::move(out.bytes);
}

namespace {

struct Line {
    std::string keyword;
    std::vector<std::pair<std::string, std::string>> values;
    int number = 0;

    const std::string* find(std::string_view key) const {
        for (const auto& [k, v] : values)
            if (k == key) return &v;
        return nullptr;
    }
    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("line " + std::to_string(number) + ": " + why);
    }
    int64_t integer(std::string_view key, int64_t fallback) const {
        const std::string* v = find(key);
        if (v == nullptr) return fallback;
        try {
            return std::stoll(*v, nullptr, 0);
        } catch (const std::exception&) {
            fail("'" + std::string(key) + "' is no number: " + *v);
        }
    }
    std::optional<uint32_t> optionalU32(std::string_view key) const {
        if (find(key) == nullptr) return std::nullopt;
        return static_cast<uint32_t>(integer(key, 0));
    }
    double real(std::string_view key, double fallback) const {
        const std::string* v = find(key);
        if (v == nullptr) return fallback;
        try {
            return std::stod(*v);
        } catch (const std::exception&) {
            fail("'" + std::string(key) + "' is no number: " + *v);
        }
    }
};

Line splitLine(const std::string& text, int number) {
    Line line;
    line.number = number;
    std::istringstream in(text);
    in >> line.keyword;
    for (std::string token; in >> token;) {
        const auto eq = token.find('=');
        if (eq == std::string::npos) line.fail("expected key=value, got " + token);
        line.values.emplace_back(token.substr(0, eq), token.substr(eq + 1));
    }
    return line;
}

RawRecord rawRecord(const Line& l) {
    RawRecord r;
    r.id = static_cast<uint16_t>(l.integer("id", 0x12));
    r.words = static_cast<uint32_t>(l.integer("words", 2));
    if (r.words < 2) l.fail("a record has at least 2 words");
    r.sizeBytes = l.optionalU32("size");
    return r;
}

} // namespace

BglFile parseDescription(std::string_view text) {
    BglFile file;
    std::istringstream in{std::string(text)};
    int number = 0;
    Airport* airport = nullptr;
    ParkingList* parking = nullptr;
    for (std::string raw; std::getline(in, raw);) {
        ++number;
        const auto hash = raw.find('#');
        if (hash != std::string::npos) raw.resize(hash);
        const Line l = splitLine(raw, number);
        if (l.keyword.empty()) continue;
        if (l.keyword == "header") {
            file.headerSize = static_cast<uint32_t>(l.integer("size", 56));
            file.sectionCount = l.optionalU32("sections");
        } else if (l.keyword == "truncate") {
            file.truncateTo = static_cast<std::size_t>(l.integer("bytes", 0));
        } else if (l.keyword == "section") {
            Section& s = file.sections.emplace_back();
            s.type = static_cast<uint32_t>(l.integer("type", 3));
            s.flag = static_cast<uint32_t>(l.integer("flag", 1));
            s.tableEntries = static_cast<uint32_t>(l.integer("entries", 1));
            airport = nullptr;
            parking = nullptr;
        } else if (file.sections.empty()) {
            l.fail("'" + l.keyword + "' before the first section");
        } else if (l.keyword == "record") {
            file.sections.back().records.emplace_back(rawRecord(l));
            airport = nullptr;
            parking = nullptr;
        } else if (l.keyword == "airport") {
            Airport a;
            if (const std::string* code = l.find("code")) a.rawCode = packIcao(*code);
            if (l.find("raw") != nullptr) a.rawCode = static_cast<uint32_t>(l.integer("raw", 0));
            a.altitudeMm = static_cast<int32_t>(l.integer("alt", 0));
            a.sizeBytes = l.optionalU32("size");
            auto& records = file.sections.back().records;
            records.emplace_back(std::move(a));
            airport = &std::get<Airport>(records.back());
            parking = nullptr;
        } else if (airport == nullptr) {
            l.fail("'" + l.keyword + "' outside an airport");
        } else if (l.keyword == "helipad") {
            Helipad h;
            h.latitude = l.real("lat", 0.0);
            h.longitude = l.real("lon", 0.0);
            h.widthM = static_cast<float>(l.real("width", 20.0));
            h.rawLatitude = l.optionalU32("rawlat");
            h.rawLongitude = l.optionalU32("rawlon");
            h.sizeBytes = l.optionalU32("size");
            airport->subRecords.emplace_back(h);
            parking = nullptr;
        } else if (l.keyword == "parking") {
            ParkingList p;
            p.count = l.optionalU32("count");
            p.sizeBytes = l.optionalU32("size");
            airport->subRecords.emplace_back(std::move(p));
            parking = &std::get<ParkingList>(airport->subRecords.back());
        } else if (l.keyword == "sub") {
            airport->subRecords.emplace_back(rawRecord(l));
            parking = nullptr;
        } else if (l.keyword == "spot") {
            if (parking == nullptr) l.fail("'spot' outside a parking list");
            Spot s;
            s.nameCode = static_cast<uint32_t>(l.integer("name", 10));
            s.number = static_cast<uint32_t>(l.integer("number", 1));
            s.type = static_cast<uint32_t>(l.integer("type", 9));
            s.headingDeg = static_cast<float>(l.real("heading", 0.0));
            s.radiusM = static_cast<float>(l.real("radius", 20.0));
            s.latitude = l.real("lat", 0.0);
            s.longitude = l.real("lon", 0.0);
            s.airlineCodes = static_cast<uint32_t>(l.integer("codes", 0));
            s.rawLatitude = l.optionalU32("rawlat");
            s.rawLongitude = l.optionalU32("rawlon");
            parking->spots.push_back(s);
        } else {
            l.fail("unknown keyword '" + l.keyword + "'");
        }
    }
    return file;
}

BglFile largeFile(uint32_t airports, uint32_t spotsPerAirport) {
    BglFile file;
    Section& s = file.sections.emplace_back();
    for (uint32_t i = 0; i < airports; ++i) {
        Airport a;
        std::string code(4, 'A');
        for (uint32_t k = 0, v = i; k < 4; ++k, v /= 26)
            code[3 - k] = static_cast<char>('A' + v % 26);
        a.rawCode = packIcao(code);
        a.altitudeMm = static_cast<int32_t>(i % 3000) * 100;
        const double lat = -60.0 + (i % 1200) * 0.1;
        const double lon = -170.0 + (i / 1200) * 0.2 + 0.05;
        a.subRecords.push_back(Helipad{lat, lon, 20.0f, {}, {}, {}});
        a.subRecords.push_back(Helipad{lat + 0.001, lon, 30.0f, {}, {}, {}});
        ParkingList p;
        for (uint32_t k = 0; k < spotsPerAirport; ++k) {
            Spot spot;
            spot.nameCode = 10 + (k % 28);
            spot.number = k % 4096;
            spot.type = 1 + k % 12;
            spot.headingDeg = static_cast<float>(k % 360);
            spot.radiusM = 15.0f + static_cast<float>(k % 30);
            spot.latitude = lat + 0.00001 * k;
            spot.longitude = lon + 0.00001 * (k % 97);
            spot.airlineCodes = k % 3;
            p.spots.push_back(spot);
        }
        a.subRecords.emplace_back(std::move(p));
        s.records.emplace_back(std::move(a));
    }
    return file;
}

} // namespace bglgen
