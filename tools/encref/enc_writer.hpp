#pragma once
// Writes the encrypted container of the reference files (the form gf_streamDecrypt reads), and
// the damaged forms that the decryption must refuse.

#include <filesystem>
#include <string>
#include <vector>

#include "refdata/reference_key.hpp"

namespace tamrix::encref {

// Encrypts `plainPath` into `encPath` with `key`: the stream header, then one chunk per 4096
// plain bytes, the last tagged FINAL (or, without `withFinal`, every chunk tagged MESSAGE).
// Throws std::runtime_error on any failure.
void encryptFile(const std::filesystem::path& plainPath, const std::filesystem::path& encPath,
                 const ReferenceKey& key = gf_referenceKey(), bool withFinal = true);

// The damaged variants, each a file of `folder` named after its damage.
inline const std::vector<std::string> kBrokenVariants{
    "wrong-key.enc",    // encrypted with another key
    "no-final.enc",     // every chunk present, none tagged FINAL
    "cut-in-chunk.enc", // the last chunk cut in half
    "header-only.enc",  // the 24-byte header and nothing more
    "too-short.enc",    // fewer bytes than a header
};
// Writes every variant of kBrokenVariants for `plainPath` into `folder` (created when missing).
void writeBrokenVariants(const std::filesystem::path& plainPath, const std::filesystem::path& folder);

} // namespace tamrix::encref
