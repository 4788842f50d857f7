#pragma once
// The files a livery scan leaves besides "LiveriesScanned.xml": once a scan has written its new
// catalogue the previous scan's reports are removed and each non-empty report collection is
// written to its file in output/errors (output/info for the files without fltsim sections) and
// counted in Log.txt. A scan that finds nothing (or cannot write its catalogue) leaves the files
// as they are and logs what it met.
// Scan thread only, when no task adds lines any more.

namespace tamrix {

// Removes the previous reports and then the errors folder ("LiveriesScanned.xml" is replaced, not
// removed); stops at the first failure (logged "problems with removing previous files: {}").
void lf_removePreviousResults();
// Logs the collected problem lines under their summary, writing no file.
void lf_logScanProblems();
// Writes the report files and the summary lines.
void lf_writeScanReport();
// Writes gFixLines to output/errors/"Fixes.txt", creating the folders; a failure is logged.
void lf_writeFixesFile();

} // namespace tamrix
