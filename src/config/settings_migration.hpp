#pragma once
// What happens right after "parameters.xml" is loaded at start-up (a new file, a file of an
// older program version, one too old to convert), the reference files it sets aside, and the
// values derived from two settings:
// the hours of MAX_FIT_FL from MAX_FIT, and the working radius from RANGE.

#include <cstdint>

namespace tamrix {

// The working radius never leaves these bounds, whatever a per-airport or learned file holds.
inline constexpr int32_t kMinWorkingRadiusNm = 2;
inline constexpr int32_t kMaxWorkingRadiusNm = 1000;

// Loads "parameters.xml" and reacts to what was found. A new file switches the livery and
// airport scans on. A file of an older version records the program version; before 12.0.0 the
// encrypted reference files in "input" are set aside (renamed with kKeptSuffix appended), so
// that the updater fetches new ones; before 11.0.2 the file is rewritten with
// the defaults (used from the next start), otherwise the folder "new_version" is removed. A
// stored version that is no version at all is taken as the current one. File-system errors
// of the removals reach the caller.
void gf_checkParametersVersion();

// The name ending of a reference file set aside until its replacement has arrived.
inline constexpr const char* kKeptSuffix = ".kept";
// After the updater: each reference file set aside is dropped when a replacement stands in its
// place, and put back (logged) when none could be fetched, so that a start never goes on
// without its data. Failures are logged; never throws.
void gf_restoreKeptReferenceFiles() noexcept;

// The hours shown for a stored MAX_FIT (the window stores h hours as 2h - 1).
float gf_maxFit2MaxFitFl(int32_t maxFit);
// MAX_FIT_FL follows MAX_FIT and is selected in its combo box when it is one of its values.
void gf_updateMaxFitFl();

// RANGE becomes nm clamped to its limits (selected in its combo box when listed); the working
// radius becomes nm bounded by kMin/kMaxWorkingRadiusNm (it may exceed RANGE's largest value).
// Returns the working radius in metres.
uint32_t gf_setRange(int32_t nm);

} // namespace tamrix
