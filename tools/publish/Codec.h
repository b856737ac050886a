// The publisher's side of the transfer format: files compressed as one bzip2 stream each (the
// largest block size), with the MD5 digest of their content taken on the way, and the decoding
// that checks a published copy.
#pragma once

#include <cstdint>
#include <string>

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

// Text as one bzip2 stream.
std::string CompressText(const std::string& text);

// The digests of what the bzip2 file decodes to. Raises EBZip2Error when the file is not exactly
// one complete bzip2 stream (damaged, cut short, or followed by other bytes), as the client
// would find it.
TCompressed DecodedDigest(const std::string& compressedFile);

// The decoded text of a small bzip2 file (the list); raises like DecodedDigest, and
// ECompressError when the text is over MaxSize bytes.
std::string DecodeText(const std::string& compressedFile, uint64_t maxSize);

}  // namespace korvath::publish
