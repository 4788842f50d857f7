// The ".enc" reference files can be damaged or replaced on disk: any bytes must decrypt to a
// clean failure (and no plain file left) or to a plain file, never to a crash.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "refdata/encrypted_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("quorvel-fuzz-enc-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    const auto enc = dir / "dbase.enc";
    const auto plain = dir / "dbase.xml";
    {
        std::ofstream out(enc, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const bool ok = tamrix::gf_streamDecrypt(enc, plain);
    if (!ok && std::filesystem::exists(plain)) std::abort();
    std::filesystem::remove(plain);
    return 0;
}
