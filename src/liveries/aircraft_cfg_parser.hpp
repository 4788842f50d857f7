#pragma once
// The line parsers of "aircraft.cfg" files: the fltsim section header and the values of the
// keys the livery scan reads. A key line is: optional blanks, the key (any letter case),
// optional blanks, "=", optional blanks, the value (ending in a non-blank, no CR or LF inside),
// optional blanks - and nothing else. Blanks are space, tab, LF, VT, FF and CR.
//
// The matching is hand-written and linear in the line's length: a file with CR-only line ends
// arrives as one huge line, which must neither take long nor exhaust the stack. All functions
// are stateless and may run on any number of threads at once.

#include <string>
#include <string_view>

namespace tamrix {

// The value of the key when the whole line is such a key line (before the quote rule); empty
// otherwise.
std::string lf_cfgValue(std::string_view line, std::string_view key);

// The quote rule every key parser applies to the value: the text between the first two double
// quotes when a quote is present (empty when there is no second quote or nothing between).
std::string lf_applyQuoteRule(std::string value);

// True with the value in `out` when the value (after the quote rule) is not empty; otherwise
// false and `out` untouched. lf_cfgAtcId also wants at least 5 characters.
bool lf_cfgTitle(std::string_view line, std::string& out);
bool lf_cfgTexture(std::string_view line, std::string& out);
bool lf_cfgAtcParkingTypes(std::string_view line, std::string& out);
bool lf_cfgAtcId(std::string_view line, std::string& out);
// True for every "icao_airline" line: the value upper-cased, or "ZZZ" for an empty value or
// "ZZZZ". False and `out` untouched when the line is no icao_airline line.
bool lf_cfgIcaoAirline(std::string_view line, std::string& out);

// The type designator of a "base_container" line naming a stock aircraft (the value without its
// first three characters, such as "..\", looked up exactly), upper-cased; empty otherwise.
std::string lf_cfgBaseContainerModel(std::string_view line);
// The "icao_type_designator" value cut to 4 characters and upper-cased; empty otherwise.
std::string lf_cfgIcaoTypeDesignator(std::string_view line);

// The number text of a [fltsim.N] header (digits as written); "10000" when the line holds
// "[fltsim." or "[FLTSIM." but is no readable header; empty for any other line and for a line
// starting with "//".
std::string lf_cfgFltsimNumber(std::string_view line);

// The registration of an atc_id value: its ','-separated pieces, trimmed, must be there, each at
// most 12 characters long and free of '*' (else false, `registration` untouched); exactly one
// piece becomes the registration, several give none.
bool lf_registrationOfAtcId(std::string_view value, std::string& registration);

// Plain case-sensitive substring tests: "atc_id=" and "atc_parking_types" anywhere in the line.
bool lf_hasAtcIdKey(std::string_view line);
bool lf_hasAtcParkingTypesKey(std::string_view line);

} // namespace tamrix
