#pragma once
// The encrypted container of the reference files: a libsodium secret stream
// (XChaCha20-Poly1305): a 24-byte header, then chunks of at most 4096 plain bytes, each stored
// with 17 bytes of overhead; the chunk tagged FINAL ends the stream. A reader decrypts the
// ".enc" file into the plain file beside it, reads that and removes it again, so the plain form
// exists only while it is read.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <sodium.h>

namespace tamrix {

inline constexpr std::size_t kStreamHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
inline constexpr std::size_t kPlainChunkBytes = 4096;
inline constexpr std::size_t kCipherChunkBytes =
    kPlainChunkBytes + crypto_secretstream_xchacha20poly1305_ABYTES;

// Far above any reference file the program ships: a larger one is no reference file of ours, and
// its plain form would fill the disk to no end. It is refused before it is read.
inline constexpr std::size_t kMaxEncryptedFileBytes = std::size_t{256} << 20;

// How the user gets a reference file back that is missing or damaged: the files ship with the
// program.
inline constexpr std::string_view kRestoreReferenceFile = "reinstall Quorvel to restore it";

// Decrypts `encPath` into `plainPath` (created or truncated) with the program's key. Nothing on
// success; bytes after the final chunk are ignored with one log line. On any failure - the
// input missing or unreadable, a bad header or key, a chunk that does not authenticate, a
// stream that ends before its final chunk, a write error - it logs
// "gf_streamDecrypt exception: {}" with the cause, then (highlighted) what the user is told,
// which it also returns: the encrypted file's name and the cause, and for a missing or damaged
// file that ships with the program (named "*.enc") how to restore it:
//   "{enc} not available; reinstall Quorvel to restore it"
//   "{enc} stream decrypt failed: {cause}; reinstall Quorvel to restore it"
//   "{enc} could not be decrypted: {cause}"  (the plain file could not be written, e.g.
//                                             "the disk is full, {plain} could not be written")
// The plain file is removed. Never throws; the encrypted file is never changed.
std::optional<std::string> gf_decryptReferenceFile(const std::filesystem::path& encPath,
                                                   const std::filesystem::path& plainPath);
// The same, true on success.
bool gf_streamDecrypt(const std::filesystem::path& encPath, const std::filesystem::path& plainPath);

} // namespace tamrix
