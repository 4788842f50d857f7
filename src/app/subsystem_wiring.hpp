#pragma once
// Puts live traffic and the airports side into the run: fills the run hooks the shell calls,
// the airport services live traffic calls, and the aircraft source of "ObjectIdList.txt".

namespace tamrix {

// Idempotent; called once by the process entry before the first run starts.
void gf_installSubsystems();

} // namespace tamrix
