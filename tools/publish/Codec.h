// The publisher's side of the transfer format: files compressed as one bzip2 stream each (the
// largest block size) and as one zstd frame each, with the MD5 digest of their content taken on
// the way, and the decoding that checks a published copy.
#pragma once

#include <cstdint>
#include <string>

#include "list/CopyFormats.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"

namespace korvath::publish {

class ECompressError : public Exception {
  using Exception::Exception;
};

struct TCompressed {
  std::string Digest;  // MD5 of the content, 32 lower-case hex digits
  std::string Sha256;  // of the content, 64 lower-case hex digits
  uint64_t Size = 0;   // of the content
  uint64_t CompressedSize = 0;
};

// Writes Source's content into Output as one bzip2 stream. Raises the stream errors of the
// run-time, or ECompressError.
TCompressed CompressFile(const std::string& source, TStream& output);

// The zstd copies' level and window (as a power of two), chosen by measurement on a game client
// and on a mix of installed programs, libraries and documents: see the README.
inline constexpr int kZstdLevel = 12;
inline constexpr int kZstdWindowLog = 25;

struct TZstdCompressed {
  std::string Digest;  // MD5 of the content read, to match against the bzip2 copy's
  uint64_t CompressedSize = 0;
};

// Writes Source's content into Output as one zstd frame that states the content's size and
// carries its checksum (ZstdCopy.cpp). Raises the stream errors of the run-time, or
// ECompressError (also when the file's size changes while it is read).
TZstdCompressed CompressFileZstd(const std::string& source, TStream& output);

// Text as one bzip2 stream.
std::string CompressText(const std::string& text);

// The digests of what the bzip2 file decodes to. Raises EBZip2Error when the file is not exactly
// one complete bzip2 stream (damaged, cut short, or followed by other bytes), as the client
// would find it.
TCompressed DecodedDigest(const std::string& compressedFile);

// The digests of what a copy in Format decodes to, through the client's decoder of that format
// held to MaxContent bytes (kNoLimit: none). Raises the decoder's errors.
TCompressed DecodedCopyDigest(const std::string& copyFile, TCopyFormat format, int64_t maxContent);

// The decoded text of a small bzip2 file (the list); raises like DecodedDigest, and
// ECompressError when the text is over MaxSize bytes.
std::string DecodeText(const std::string& compressedFile, uint64_t maxSize);

}  // namespace korvath::publish
