// The formats a file's copy is published in, in one table shared by the client and korvath-publish:
// per format its published suffix, the entry field that names it, its decoder, the bound on a body
// for a declared unpacked size, and whether it decodes on several cores. Every entry has a bzip2
// copy under its path + ".bz2"; an entry may name further copies in fields in front of its path
// ("zst=<bytes>"), which clients that do not know them never read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "list/FileEntry.h"
#include "transfer/CopyDecoder.h"

namespace korvath {

enum class TCopyFormat { Bzip2, Zstd };

struct TCopyFormatTraits {
  TCopyFormat Format;
  const char* Name;          // for messages
  const char* Suffix;        // published after the path; also the download's while it comes
  const char* ResumeSuffix;  // the record of a kept partial download
  // The entry field that names the copy, followed by its size in bytes; nullptr for the copy
  // every entry has.
  const char* Field;
  // The longest body that can be a copy of a file of UnpackedSize bytes.
  int64_t (*MaxBody)(int64_t unpackedSize);
  // A copy of at least this many bytes may decode on several cores; INT64_MAX: always on one.
  int64_t ParallelFrom;
  // The decoder of a copy read from Source. MaxContent: the unpacked size the entry gives, or
  // kNoLimit; ParallelFrom: this format's, or INT64_MAX to keep to the caller's thread; Decoders:
  // the threads it may keep (0: one per core).
  std::unique_ptr<TCopyDecoder> (*Decoder)(TStream& source, int64_t maxContent,
                                           int64_t parallelFrom, unsigned decoders);
};

// The zstd window a copy may ask for, as a power of two: the decoder keeps about that much, and a
// client keeps its private memory within 64 MiB and inside a 32-bit address space.
inline constexpr int kZstdWindowLogMax = 25;

// Every format, the one every entry has first.
const std::array<TCopyFormatTraits, 2>& CopyFormats();
const TCopyFormatTraits& CopyFormatTraits(TCopyFormat format);

// A copy an entry names in front of its path.
struct TListedCopy {
  TCopyFormat Format = TCopyFormat::Bzip2;
  int64_t Size = 0;
};

// The further copies Entry names, each format once (the field nearest the path wins); a field
// that does not parse names nothing, since the bzip2 copy is always there.
std::vector<TListedCopy> ListedCopies(const TFileEntry& entry);
// The field korvath-publish writes in front of the path for a copy of Size bytes.
std::string CopyField(TCopyFormat format, int64_t size);

// A further copy is passed over when it is larger than the bzip2 copy by more than this share
// of it (a quarter). zstd decodes some thirty times faster than bzip2, so on a line of 10 Mbit/s
// a quarter more bytes still costs no more time than the bzip2 copy's decoding; on faster lines
// it costs less.
inline constexpr int64_t kLargerCopyMarginDivisor = 4;

// The copy a client fetches first, of those Entry names, or nothing: one larger than the bzip2
// copy (BzipSize) by more than the margin is passed over.
const TListedCopy* PreferredCopy(const std::vector<TListedCopy>& listed, int64_t bzipSize);

// A listed path's published copy in Format: the path with "/" and the format's suffix.
std::string PublishedCopyName(const std::string& listPath, TCopyFormat format);

}  // namespace korvath
