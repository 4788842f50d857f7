#pragma once
// The files a livery scan leaves besides "LiveriesScanned.xml": the previous scan's results are
// removed before a scan; afterwards each non-empty report collection is written to its file in
// output/errors (output/info for the files without fltsim sections) and counted in Log.txt.
// Scan thread only, when no task adds lines any more.

namespace tamrix {

// Removes the previous results and then the errors folder; stops at the first failure (logged
// "problems with removing previous files: {}").
void lf_removePreviousResults();
// Writes the report files and the summary lines.
void lf_writeScanReport();
// Writes gFixLines to output/errors/"Fixes.txt", creating the folders; a failure is logged.
void lf_writeFixesFile();

} // namespace tamrix
