// Cutting the bzip2 stream a source holds into pieces at every place a magic was found, one piece
// at a time and reading no further than that piece needs; past the end marker it reads only what
// tells whether the source ends with the marker's padding.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "transfer/BZip2Blocks.h"

namespace korvath::bzblocks {

// A block of the largest size cannot take this much room, whatever it holds (at most one Huffman
// code of 20 bits per byte of the block, and its tables); a longer stretch without a magic is
// not the layout of a stream.
inline constexpr uint64_t kLongestPiece = uint64_t{8} * (3 << 20);

// A stretch of the source between two places where a magic was found.
struct TPiece {
  std::string Stream;  // its bits from bit 32 on: a one-block stream when Block, else a header
  uint64_t Begin = 0;  // where it begins in the source, in bits from the cutter's start
  uint64_t Bits = 0;
  bool Block = false;      // begins with the block magic
  bool EndsAtEnd = false;  // the end-of-stream magic follows it
  bool Last = false;       // the source ends with it
  uint32_t Crc = 0;
  size_t Held = 0;  // what its holder counts it at
  // The decoding's outcome, set before Done is (under the holder's lock while workers run).
  bool Done = false;
  bool Ok = false;        // decoded to its end, CRC checked
  bool Overflow = false;  // Output holds only the first part of what the block decodes to
  std::string Output;
};

class TBlockCutter {
 public:
  // Cuts what Source holds from its current position on.
  explicit TBlockCutter(TStream& source) : FSource(&source) {}

  // The next piece in the source's order; null at the end of the source, or once the source is
  // known not to be the layout of one stream (Broken then).
  std::shared_ptr<TPiece> Next();
  bool Broken() const { return FBroken; }
  // Bytes taken from the source so far.
  uint64_t BytesRead() const { return FBufferBit / 8 + FBuffer.size(); }

 private:
  bool Read();
  void Scan();
  std::shared_ptr<TPiece> Close(uint64_t end, bool endsAtEnd);
  uint64_t BufferEnd() const { return FBufferBit + uint64_t{FBuffer.size()} * 8; }

  TStream* FSource;
  std::vector<uint8_t> FBuffer;  // source bytes from bit FBufferBit on, not yet in pieces
  uint64_t FBufferBit = 0;
  uint64_t FScanFrom = 0;         // the first bit not yet looked at for magics
  std::deque<TMagicHit> FHits;    // found, not yet cut at
  std::optional<uint64_t> FOpen;  // where the piece being scanned begins
  bool FOpenIsEnd = false;        // ... at the end magic
  char FLevel = '9';
  bool FSourceDone = false;
  bool FBroken = false;
};

}  // namespace korvath::bzblocks
