#include "refdata/encrypted_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "refdata/reference_key.hpp"

namespace tamrix {
namespace fs = std::filesystem;
namespace {

// What went wrong, so that the user is told what to do about it.
enum class DecryptFault { Missing, Input, Output };

struct DecryptError : std::runtime_error {
    DecryptError(DecryptFault f, const std::string& text) : std::runtime_error(text), fault(f) {}
    DecryptFault fault;
};

// The cause of a failed write of the plain file, with the file's name: a full disk is said as such.
std::string writeFailure(const fs::path& outPath, int error) {
    if (error == ENOSPC || error == EDQUOT)
        return fmt::format("the disk is full, {} could not be written", outPath.string());
    if (error != 0) return fmt::format("could not write {} ({})", outPath.string(), std::strerror(error));
    return fmt::format("could not write {}", outPath.string());
}

// Decrypts one block that holds the final chunk followed by other bytes: the chunk is the
// shortest leading part that authenticates with the FINAL tag. A state is changed only by a
// chunk that authenticates. False when no such part exists.
bool pullFinalChunk(crypto_secretstream_xchacha20poly1305_state& state, const unsigned char* block,
                    unsigned long long blockBytes, unsigned char* out, unsigned long long& outLength,
                    unsigned long long& chunkBytes) {
    for (unsigned long long length = crypto_secretstream_xchacha20poly1305_ABYTES; length < blockBytes;
         ++length) {
        crypto_secretstream_xchacha20poly1305_state attempt = state;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&attempt, out, &outLength, &tag, block, length,
                                                       nullptr, 0) == 0 &&
            tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            state = attempt;
            chunkBytes = length;
            return true;
        }
    }
    return false;
}

// Reads up to `want` bytes of the open file into `block`, fewer only at its end; the number read.
std::size_t readBlock(int fd, unsigned char* block, std::size_t want, const fs::path& inPath) {
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, block + got, want - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            throw DecryptError(DecryptFault::Input,
                               fmt::format("Could not read input file: {} ({})", inPath.string(), std::strerror(errno)));
        }
    }
    return got;
}

// Throws DecryptError on every failure; the caller removes the plain file. Bytes after the
// final chunk are ignored (logged once); a stream that ends before its final chunk is refused.
// The file is streamed through two fixed buffers, each chunk written as soon as it is decrypted.
void lf_decryptFile(const ReferenceKey& key, const fs::path& inPath, const fs::path& outPath) {
    // Opened as a regular file: a pipe in its place is refused, not waited on.
    const RegularFile input = gf_openRegularFile(inPath, kMaxEncryptedFileBytes);
    const auto refused = [&](const std::string& problem, bool missing) {
        return DecryptError(missing ? DecryptFault::Missing : DecryptFault::Input,
                            "Could not open input file: " + inPath.string() +
                                (missing ? "" : fmt::format(" ({})", problem)));
    };
    if (!input.opened()) throw refused(input.problem, input.openError == ENOENT);
    if (const std::string problem = gf_notWritableInPlace(outPath); !problem.empty())
        throw DecryptError(DecryptFault::Output, fmt::format("Could not open output file: {} ({})", outPath.string(), problem));
    errno = 0;
    std::ofstream output(outPath, std::ios::binary | std::ios::trunc);
    if (!output) {
        const int error = errno;
        throw DecryptError(DecryptFault::Output, "Could not open output file: " + outPath.string() +
                                                     (error != 0 ? fmt::format(" ({})", std::strerror(error)) : ""));
    }

    std::vector<unsigned char> inBuffer(kCipherChunkBytes);
    std::vector<unsigned char> outBuffer(kPlainChunkBytes);
    crypto_secretstream_xchacha20poly1305_state state;
    // A file shorter than the header cannot be ours: the same refusal as a bad header.
    if (readBlock(input.fd, inBuffer.data(), kStreamHeaderBytes, inPath) < kStreamHeaderBytes ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, inBuffer.data(), key.data()) != 0) {
        throw DecryptError(DecryptFault::Input, "Invalid header or key");
    }

    // Bytes of the file read so far, and those taken up by the header and the chunks decrypted.
    unsigned long long read = kStreamHeaderBytes;
    unsigned long long consumed = kStreamHeaderBytes;
    bool final = false;
    while (!final) {
        const std::size_t got = readBlock(input.fd, inBuffer.data(), kCipherChunkBytes, inPath);
        if (got == 0) break;
        read += got;
        // A file that grows while it is read keeps to the bound it was opened with.
        if (read > kMaxEncryptedFileBytes)
            throw refused(fmt::format("more than the {} bytes it may hold", kMaxEncryptedFileBytes), false);
        unsigned long long outLength = 0;
        unsigned long long chunkBytes = got;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, outBuffer.data(), &outLength, &tag, inBuffer.data(),
                                                       got, nullptr, 0) != 0) {
            // A short final chunk shares its block with the bytes that follow it.
            if (!pullFinalChunk(state, inBuffer.data(), got, outBuffer.data(), outLength, chunkBytes))
                throw DecryptError(DecryptFault::Input, "Decryption failed");
            tag = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        }
        errno = 0;
        output.write(reinterpret_cast<const char*>(outBuffer.data()), static_cast<std::streamsize>(outLength));
        if (!output) throw DecryptError(DecryptFault::Output, writeFailure(outPath, errno));
        consumed += chunkBytes;
        final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    }
    // A stream cut at a chunk boundary is damaged even though every chunk read so far
    // authenticated.
    if (!final) throw DecryptError(DecryptFault::Input, "Stream ends before its final chunk");
    struct stat st {};
    const unsigned long long size =
        ::fstat(input.fd, &st) == 0 ? std::max<unsigned long long>(static_cast<unsigned long long>(st.st_size), read) : read;
    if (size > consumed)
        gf_log(fmt::format("gf_streamDecrypt: {} bytes after the final chunk of {} ignored", size - consumed,
                           inPath.string()));
    errno = 0;
    output.close();
    if (!output) throw DecryptError(DecryptFault::Output, writeFailure(outPath, errno));
}

} // namespace

std::optional<std::string> gf_decryptReferenceFile(const fs::path& encPath, const fs::path& plainPath) {
    ReferenceKey key = gf_referenceKey();
    // Reinstalling restores the files that ship with the program, not another copy such as a
    // download waiting to be checked ("dbase.enc.download").
    const bool shipped = encPath.extension() == ".enc";
    const auto advice = [&] { return shipped ? fmt::format("; {}", kRestoreReferenceFile) : std::string(); };
    std::optional<std::string> problem;
    try {
        lf_decryptFile(key, encPath, plainPath);
    } catch (const DecryptError& e) {
        gf_log(fmt::format("gf_streamDecrypt exception: {}", e.what()));
        switch (e.fault) {
        case DecryptFault::Missing:
            problem = fmt::format("{} not available{}", encPath.string(), advice());
            break;
        case DecryptFault::Input:
            problem = fmt::format("{} stream decrypt failed: {}{}", encPath.string(), e.what(), advice());
            break;
        case DecryptFault::Output:
            // The encrypted file is sound: the plain file could not be written.
            problem = fmt::format("{} could not be decrypted: {}", encPath.string(), e.what());
            break;
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("gf_streamDecrypt exception: {}", e.what()));
        problem = fmt::format("{} stream decrypt failed: {}", encPath.string(), e.what());
    } catch (...) {
        gf_log("gf_streamDecrypt exception: unknown");
        problem = fmt::format("{} stream decrypt failed", encPath.string());
    }
    sodium_memzero(key.data(), key.size());
    if (problem) {
        gf_logHighlighted(*problem);
        gf_removeFile(plainPath);
    }
    return problem;
}

bool gf_streamDecrypt(const fs::path& encPath, const fs::path& plainPath) {
    return !gf_decryptReferenceFile(encPath, plainPath).has_value();
}

} // namespace tamrix
