// The bit-level layout of a bzip2 stream, so that its blocks can be coded one by one: finding
// where blocks may begin, cutting a block out as a stream of its own, and stitching one-block
// streams into one.
//
// A stream is "BZh" and a level digit '1'..'9', then blocks, each beginning with a 48-bit magic
// (0x314159265359, the BCD of pi) and that block's CRC, then an end marker: a 48-bit magic
// (0x177245385090, the BCD of the square root of pi), the stream's combined CRC and zero bits up
// to a whole byte. Blocks sit at any bit offset, with no padding between them. (The layout is the
// one ForensicsWiki's "Bzip2" page gives; how the combined CRC folds the block CRCs is described
// in the "bzip2-format" paper of the dsnet/compress repository.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvath::bzblocks {

inline constexpr uint64_t kBlockMagic = 0x314159265359;
inline constexpr uint64_t kEndMagic = 0x177245385090;
inline constexpr unsigned kMagicBits = 48;
inline constexpr unsigned kHeaderBits = 32;          // "BZh" and the level digit
inline constexpr unsigned kEndMarkerBits = 48 + 32;  // magic and combined CRC, before padding

// Count bits (at most 57) from Bit on, most significant first; bits past Size bytes read as 0.
uint64_t ReadBits(const uint8_t* data, size_t size, uint64_t bit, unsigned count);

// The combined CRC after one more block: the previous value rotated left by one, xor the block's.
inline uint32_t CombineCrc(uint32_t combined, uint32_t blockCrc) {
  return (combined << 1 | combined >> 31) ^ blockCrc;
}

struct TMagicHit {
  uint64_t Bit;  // where the magic begins
  bool End;      // the end-of-stream magic rather than a block's
};

// Appends to Hits every magic that begins at bit From or later and lies wholly inside the Size
// bytes, in order. Returns the first bit not yet examined: scanning more data that continues
// these bytes starts there. A hit may be chance: compressed data can hold either pattern.
uint64_t FindMagics(const uint8_t* data, size_t size, uint64_t from, std::vector<TMagicHit>& hits);

// Bits written most significant first into whole bytes.
class TBitWriter {
 public:
  void Put(uint64_t value, unsigned count);  // count at most 57
  // Count bits of Data from bit Begin on.
  void Append(const uint8_t* data, size_t size, uint64_t begin, uint64_t count);
  // Zero bits up to a whole byte.
  void Pad();
  // The whole bytes written so far, handed over and forgotten.
  std::string TakeBytes();
  uint64_t BitCount() const { return FTaken * 8 + FBytes.size() * 8 + FPending; }

 private:
  std::string FBytes;
  uint64_t FTaken = 0;
  uint64_t FAccumulator = 0;
  unsigned FPending = 0;  // bits in the accumulator
};

// The stream of one block taken from Data: a header of Level, bits [Begin, End) of Data (the block
// from its magic on), and an end marker whose combined CRC is the block's own CRC, which is what
// the combined CRC of a one-block stream is. libbz2 decodes it as it would the block in place.
std::string OneBlockStream(char level, const uint8_t* data, size_t size, uint64_t begin,
                           uint64_t end);

// Where the block of a stream that holds exactly one (as libbz2 made it, padding zero) sits.
struct TBlockSpan {
  uint64_t Begin = 0;  // its magic
  uint64_t End = 0;    // the end marker's magic
  uint32_t Crc = 0;
};
// Fails (returns false) for anything that is not one block followed by the end marker whose
// combined CRC is that block's.
bool FindOnlyBlock(const std::string& stream, TBlockSpan& span);

// How many leading bytes of Data make at most Limit bytes once bzip2 has shortened its runs
// (4 to 255 equal bytes become the 4 bytes and a count byte; longer runs start again), which is
// what a block's capacity is counted in.
size_t RunLengthPrefix(const uint8_t* data, size_t size, size_t limit);

}  // namespace korvath::bzblocks
