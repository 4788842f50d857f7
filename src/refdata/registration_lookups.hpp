#pragma once
// Lookups on the dbase's registration records, prefix groups, airlines, publishers and add-on
// airport lists. None of them fails: a miss gives an empty optional, false or an empty list.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "refdata/livery_key.hpp"

namespace tamrix {

// For each member of a prefix group of two or more, the other members of its group.
extern std::unordered_map<std::string, std::vector<std::string>> gPrefixAlternatives;

// The spellings of a registration to try, in order: for 5 or more characters, not starting with
// "N" and without "-", first "XX-rest", then "X-rest"; always last the text itself.
std::vector<std::string> gf_registrationVariants(std::string_view registration);
// The key of the first spelling that a registration record has exactly (case-sensitive);
// nothing for an empty text or no hit. At most three binary searches.
std::optional<LiveryKey> gf_lookupRegistration(std::string_view registration);
// The first registration (ascending) of fewer than 6 characters that occurs in the text.
std::optional<std::string> gf_findShortRegIn(std::string_view text);
// The prefixes that can stand in for this one (a registration's text up to and including its
// first "-", or its first character). With RANDOM on, the stored list is shuffled in place on
// each call. A shared empty list when there are none. Start-up thread only.
const std::vector<std::string>& gf_prefixAlternatives(std::string_view prefix);
// A known airline code ("ICAO_airlines"); false for the empty text.
bool gf_isKnownAirlineCode(std::string_view code);
// The text occurs in the path's UTF-8 form, ASCII letters compared without regard to case;
// an empty text always occurs.
bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view text);
// The name of the first publisher group one of whose names occurs in the path text (exactly, or
// without regard to case); nothing for an empty text or no match.
std::optional<std::string> gf_publisherOf(const std::string& pathText);
// The publisher's add-on airport list of the simulator version (2020 when the flag is set)
// holds the airport code exactly. False for an empty publisher or code.
bool gf_isThirdpartyAirport(bool isMsfs2020, std::string_view publisher, std::string_view airportCode);

// Called by the dbase reader: the prefix alternatives from gPrefixGroups, and the list of short
// registrations from gDbaseRecords.
void lf_buildPrefixMap();
void lf_buildShortRegistrations();

} // namespace tamrix
