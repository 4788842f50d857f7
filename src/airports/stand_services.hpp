#pragma once
// The airport side's stand services, installed at start-up into the seams through which the
// lower floors ask for them: the stand choice and the learning of real stays for live traffic,
// and the name of the stand under the user aircraft for the SimClient thread.

namespace tamrix {

// Installs the stand choice and the learning of real stays into live traffic's airport
// services (other services already installed there stay) and the stand-name finder into the
// SimClient side. Called once by start-up before the connect phase; calling it again changes
// nothing.
void gf_installStandServices();

} // namespace tamrix
