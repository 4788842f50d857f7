// The ".enc" reference files can be damaged or replaced on disk: any bytes must decrypt to a
// clean failure (and no plain file left) or to a plain file, never to a crash.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "fuzz_scratch.hpp"
#include "refdata/encrypted_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchFolder scratch("enc");
    const auto enc = scratch.path() / "dbase.enc";
    const auto plain = scratch.path() / "dbase.xml";
    fuzzsupport::writeBytes(enc, std::string_view(reinterpret_cast<const char*>(data), size));
    const bool ok = tamrix::gf_streamDecrypt(enc, plain);
    if (!ok && std::filesystem::exists(plain)) std::abort();
    std::filesystem::remove(plain);
    return 0;
}
