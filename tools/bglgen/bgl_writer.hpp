#pragma once
// Writes BGL scenery files with airport sections: airport records holding helipads and taxiway
// parking lists, as the program's decoder reads them, plus records of other kinds. Every size and
// count can be overridden, so damaged files are as easy to make as sound ones.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bglgen {

struct Spot {
    uint32_t nameCode = 10; // 10 = "g"
    uint32_t number = 1;
    uint32_t type = 9;
    float headingDeg = 0.0f;
    float radiusM = 20.0f;
    double latitude = 0.0;
    double longitude = 0.0;
    uint32_t airlineCodes = 0; // m 4-byte codes after the entry
    std::optional<uint32_t> rawLatitude, rawLongitude;
};

struct Helipad {
    double latitude = 0.0;
    double longitude = 0.0;
    float widthM = 20.0f;
    std::optional<uint32_t> rawLatitude, rawLongitude;
    std::optional<uint32_t> sizeBytes; // default 36
};

struct ParkingList {
    std::vector<Spot> spots;
    std::optional<uint32_t> count;     // default: the number of spots
    std::optional<uint32_t> sizeBytes; // default: 8 + the entries
};

// A record of another kind: an id and zero-filled words after its 6-byte header.
struct RawRecord {
    uint16_t id = 0x0012;
    uint32_t words = 2;                // the whole record, header included
    std::optional<uint32_t> sizeBytes; // default: words * 4
};

using SubRecord = std::variant<Helipad, ParkingList, RawRecord>;

struct Airport {
    uint32_t rawCode = 0;
    int32_t altitudeMm = 0;
    std::vector<SubRecord> subRecords;
    std::optional<uint32_t> sizeBytes; // default: 68 + the sub-records
};

struct Section {
    uint32_t type = 3;
    uint32_t flag = 1;
    uint32_t tableEntries = 1; // more than 1: entries of the section table that share these records
    std::vector<std::variant<Airport, RawRecord>> records;
};

struct BglFile {
    uint32_t headerSize = 56;
    std::optional<uint32_t> sectionCount; // default: the number of sections
    std::vector<Section> sections;
    std::optional<std::size_t> truncateTo; // cut the written bytes to this length
};

// Base-38 code packing of airport records ("EHAM" -> 0x01BA5180). Characters: blank, "?",
// digits, capital letters.
uint32_t packIcao(std::string_view code);
uint32_t packLatitude(double latitude);
uint32_t packLongitude(double longitude);

std::vector<uint8_t> writeBgl(const BglFile& file);

// Reads the readable description (see main.cpp); throws std::runtime_error naming the line.
BglFile parseDescription(std::string_view text);

// A large file of one airport section: `airports` airports, each with two helipads and
// `spotsPerAirport` parking spots around it. Codes are made-up 4-letter codes ("AAAA", "AAAB", ...).
BglFile largeFile(uint32_t airports, uint32_t spotsPerAirport);

} // namespace bglgen
