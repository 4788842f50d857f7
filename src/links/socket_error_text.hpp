#pragma once
// Readable texts for Windows Sockets error numbers, as the traffic-source links log and show
// them. The texts are the program's own short phrases, not the operating system's messages.

#include <cstdint>
#include <string>

namespace tamrix {

// "{code} {text}", e.g. "10054 Connection reset by peer"; "Unknown errror code" for a code
// outside the table. Never empty.
std::string gf_wsaErrorText(int32_t code);

} // namespace tamrix
