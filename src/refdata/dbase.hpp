#pragma once
// The dbase file: the program's reference database of aircraft models (codes, categories,
// similar types, wingspans, corrections of wrong codes), airlines and cargo operators,
// registration prefix groups, scenery publishers, the add-on airports of both simulator
// versions, and the registration records. Read once per process on the start-up thread before
// anything looks at these tables; they are read-only afterwards (the code tables keep growing).

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "refdata/livery_key.hpp"

namespace tamrix {

// One registration record: the registration text and what it is, as a LiveryKey whose
// fromRegistration is 1.
struct DbaseRecord {
    std::string registration;
    LiveryKey key;
};

// One add-on airport list of a scenery publisher.
struct ThirdpartyEntry {
    std::string publisherName;
    std::vector<std::string> airportCodes;
};

using CodeSet = std::set<std::string, std::less<>>;
using CodeGroups = std::vector<std::vector<std::string>>;

inline constexpr std::size_t kHalfSpanSlots = 2700;
// Metres to nautical miles.
inline constexpr double kNmPerMetre = 0.0005399568034557236;

extern CodeSet gAircraftCodes;          // "aircrafts": the known model codes
extern std::set<uint16_t> gHeavyModels; // model indices of each category list
extern std::set<uint16_t> gLargeModels;
extern std::set<uint16_t> gBuzjetModels;
extern std::set<uint16_t> gHighPerfModels;
extern std::set<uint16_t> gRotorcraftModels;
extern CodeGroups gSimilarTypes; // groups of similar model codes, each sorted ascending
extern CodeGroups gPrefixGroups; // groups of registration prefixes, each sorted ascending
extern CodeSet gAirlineCodes;    // "ICAO_airlines": the known airline codes
extern CodeGroups gPublishers;   // names of each scenery publisher; the first is its name
// Half wingspan in nautical miles by model index; 0.0 where the dbase gives none.
extern std::array<double, kHalfSpanSlots> gHalfSpans;
extern double gMaxHalfSpan;  // the largest half wingspan of the file, nautical miles
extern CodeSet gSimaddons20; // airport codes of the simulators' own add-ons
extern CodeSet gSimaddons24;
extern std::vector<ThirdpartyEntry> gThirdparties20;
extern std::vector<ThirdpartyEntry> gThirdparties24;
// Sorted by registration (byte order), one record per registration, none with an empty one.
extern std::vector<DbaseRecord> gDbaseRecords;

// Reads "dbase.enc" of the "input" folder: decrypts it into "dbase.xml", reads every section and
// removes the plain file again, on every way out. False when "dbase.xml" is not well-formed
// (logged). Throws std::runtime_error with the text of gf_decryptReferenceFile ("{} not
// available; ...", "{} stream decrypt failed: ..." or "{} could not be decrypted: ..."), and
// UserErrorException 61 for a missing root, a missing required section
// or a required section without a single code. Each call starts from empty tables.
bool gf_readDbase();
// The same read of the encrypted file at `encPath`, decrypted into `plainPath`.
bool gf_readDbase(const std::filesystem::path& encPath, const std::filesystem::path& plainPath);
// Empties every table of the dbase reader (not the code tables), as at process start.
void gf_clearDbase();

} // namespace tamrix
