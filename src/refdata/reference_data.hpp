#pragma once
// The start-up's reference-data step: the dbase (once per process) and the airports file, both
// from the "input" folder of the working directory.

#include <filesystem>
#include <optional>
#include <string>

namespace tamrix {

// Reads "dbase.enc" unless it was read before in this process, then "airports.enc" (read once
// per process as well). Throws std::runtime_error "reading data files failed!" when the dbase
// file is not well-formed, "reading '{}' failed!" (the path of "airports.enc") when the airport
// table stays empty, and passes on the readers' own exceptions. No plain ".xml" form of either
// file is left behind, whatever the outcome.
void gf_readReferenceData();
// Reads the encrypted file at `encPath` with the reader of its kind into the tables, the very
// read gf_readReferenceData does of the file in place (its plain form beside it, with ".xml" for
// the last extension, removed again). Nothing when it reads: the tables hold it and
// gf_readReferenceData does not read that kind again in this process. Otherwise the cause, and
// the tables are empty and unread again. Runs before the reference data is read.
enum class ReferenceFile { Dbase, Airports };
std::optional<std::string> gf_readReferenceFile(ReferenceFile kind, const std::filesystem::path& encPath);

// Forgets every reference table and code, so that the next gf_readReferenceData reads both files
// again: for a process that starts over (tests). No other thread may use the tables meanwhile.
void gf_resetReferenceData();

} // namespace tamrix
