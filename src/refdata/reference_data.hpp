#pragma once
// The start-up's reference-data step: the dbase (once per process) and the airports file, both
// from the "input" folder of the working directory.

namespace tamrix {

// Reads "dbase.enc" unless it was read before in this process, then "airports.enc" (read once
// per process as well). Throws std::runtime_error "reading data files failed!" when the dbase
// file is not well-formed, "reading '{}' failed!" (the path of "airports.enc") when the airport
// table stays empty, and passes on the readers' own exceptions. No plain ".xml" form of either
// file is left behind, whatever the outcome.
void gf_readReferenceData();
// Forgets every reference table and code, so that the next gf_readReferenceData reads both files
// again: for a process that starts over (tests). No other thread may use the tables meanwhile.
void gf_resetReferenceData();

} // namespace tamrix
