// The MD5 message digest (RFC 1321) of memory and of whole files, and its 32-character text
// form, as the update list writes file digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvath {

// The working state between DigestInit and DigestFinal.
struct TDigestContext {
  uint32_t State[4];   // the chaining words A, B, C, D
  uint32_t Count[2];   // the message length in bits, low word first
  uint8_t Buffer[64];  // input not yet processed: Count bits / 8 mod 64 bytes of it
};

// The digest bytes in the order RFC 1321 outputs them.
using TDigestBytes = std::array<uint8_t, 16>;

void DigestInit(TDigestContext& context);
void DigestUpdate(TDigestContext& context, const void* data, uint32_t length);
// Writes the digest and wipes the context to zeros.
void DigestFinal(TDigestContext& context, TDigestBytes& digest);

// The digest of the file's content. Never fails: a file that cannot be opened or read (missing,
// a folder, access denied, empty) gives the digest of empty input.
void FileDigest(const std::string& fileName, TDigestBytes& digest);

// 32 lower-case hexadecimal characters, two per byte, leading zeros kept.
std::string DigestToHex(const TDigestBytes& digest);

namespace detail {
// FileDigest with the size of the views it maps the file through, so that the piece-wise path
// can be exercised with small files. The size is rounded up to the mapping granularity; with
// any size but FileDigest's own, even a small file is mapped rather than read.
void FileDigest(const std::string& fileName, TDigestBytes& digest, size_t viewSize);
}  // namespace detail

}  // namespace korvath
