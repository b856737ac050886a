// Finding, cutting out and stitching bzip2 blocks at the bit level.
#include "transfer/BZip2Blocks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvath::bzblocks {
namespace {

// For every 16-bit value: which of the 8 bit offsets within a byte a magic beginning there would
// show as that value in the two bytes after its first (bits 0-7: the block magic, 8-15: the end
// magic). Those 16 bits lie inside the magic whatever its offset, so a byte position whose entry
// is 0 cannot start either magic, and most positions are passed over at one look-up.
using TCandidates = std::array<uint16_t, 65536>;

const TCandidates& Candidates() {
  static const TCandidates table = [] {
    TCandidates result{};
    for (unsigned shift = 0; shift < 8; ++shift) {
      result[(kBlockMagic >> (24 + shift)) & 0xFFFF] |= static_cast<uint16_t>(1u << shift);
      result[(kEndMagic >> (24 + shift)) & 0xFFFF] |= static_cast<uint16_t>(0x100u << shift);
    }
    return result;
  }();
  return table;
}

}  // namespace

uint64_t ReadBits(const uint8_t* data, size_t size, uint64_t bit, unsigned count) {
  if (count == 0) return 0;
  const uint64_t first = bit / 8;
  uint64_t word = 0;
  for (uint64_t i = 0; i < 8; ++i)
    word = word << 8 | (first + i < size ? data[first + i] : uint64_t{0});
  return (word << (bit % 8)) >> (64 - count);
}

uint64_t FindMagics(const uint8_t* data, size_t size, uint64_t from, std::vector<TMagicHit>& hits) {
  const uint64_t totalBits = uint64_t{size} * 8;
  if (totalBits < from + kMagicBits) return from;
  const TCandidates& candidates = Candidates();
  for (uint64_t at = from / 8; at + 6 <= size; ++at) {
    const unsigned key = static_cast<unsigned>(data[at + 1]) << 8 | data[at + 2];
    const unsigned found = candidates[key];
    if (found == 0) continue;
    for (unsigned shift = 0; shift < 8; ++shift) {
      if ((found & (0x101u << shift)) == 0) continue;
      const uint64_t bit = at * 8 + shift;
      if (bit < from || bit + kMagicBits > totalBits) continue;
      const uint64_t bits = ReadBits(data, size, bit, kMagicBits);
      if (bits == kBlockMagic || bits == kEndMagic) hits.push_back({bit, bits == kEndMagic});
    }
  }
  return totalBits - kMagicBits + 1;
}

void TBitWriter::Put(uint64_t value, unsigned count) {
  if (count == 0) return;
  FAccumulator = FAccumulator << count | (value & ((uint64_t{1} << count) - 1));
  FPending += count;
  while (FPending >= 8) {
    FPending -= 8;
    FBytes.push_back(static_cast<char>(FAccumulator >> FPending));
  }
}

void TBitWriter::Append(const uint8_t* data, size_t size, uint64_t begin, uint64_t count) {
  // Whole bytes at once where both sides are byte-aligned (a stream's header is 4 bytes, so a
  // block that starts on a byte boundary stays on one).
  if (FPending == 0 && begin % 8 == 0 && begin / 8 + count / 8 <= size) {
    FBytes.append(reinterpret_cast<const char*>(data) + begin / 8, count / 8);
    begin += count / 8 * 8;
    count %= 8;
  }
  constexpr unsigned kPiece = 56;
  for (; count >= kPiece; begin += kPiece, count -= kPiece)
    Put(ReadBits(data, size, begin, kPiece), kPiece);
  Put(ReadBits(data, size, begin, static_cast<unsigned>(count)), static_cast<unsigned>(count));
}

void TBitWriter::Pad() {
  if (FPending > 0) Put(0, 8 - FPending);
}

std::string TBitWriter::TakeBytes() {
  std::string bytes;
  bytes.swap(FBytes);
  FTaken += bytes.size();
  return bytes;
}

std::string OneBlockStream(char level, const uint8_t* data, size_t size, uint64_t begin,
                           uint64_t end) {
  TBitWriter writer;
  writer.Put(0x425A68, 24);  // "BZh"
  writer.Put(static_cast<uint8_t>(level), 8);
  writer.Append(data, size, begin, end - begin);
  writer.Put(kEndMagic, kMagicBits);
  writer.Put(ReadBits(data, size, begin + kMagicBits, 32), 32);
  writer.Pad();
  return writer.TakeBytes();
}

bool FindOnlyBlock(const std::string& stream, TBlockSpan& span) {
  const auto* data = reinterpret_cast<const uint8_t*>(stream.data());
  const size_t size = stream.size();
  if (size < 4 || std::memcmp(stream.data(), "BZh", 3) != 0 || stream[3] < '1' || stream[3] > '9')
    return false;
  if (ReadBits(data, size, kHeaderBits, kMagicBits) != kBlockMagic) return false;
  const uint64_t totalBits = uint64_t{size} * 8;
  for (unsigned pad = 0; pad < 8; ++pad) {
    if (totalBits < kHeaderBits + 2 * kEndMarkerBits + pad) return false;
    const uint64_t end = totalBits - pad - kEndMarkerBits;
    if (ReadBits(data, size, end, kMagicBits) != kEndMagic) continue;
    if (ReadBits(data, size, end + kEndMarkerBits, pad) != 0) continue;
    span.Begin = kHeaderBits;
    span.End = end;
    span.Crc = static_cast<uint32_t>(ReadBits(data, size, kHeaderBits + kMagicBits, 32));
    return static_cast<uint32_t>(ReadBits(data, size, end + kMagicBits, 32)) == span.Crc;
  }
  return false;
}

size_t RunLengthPrefix(const uint8_t* data, size_t size, size_t limit) {
  constexpr size_t kLongestRun = 255;
  size_t cost = 0;
  size_t at = 0;
  while (at < size) {
    size_t run = 1;
    while (at + run < size && run < kLongestRun && data[at + run] == data[at]) ++run;
    const size_t runCost = run < 4 ? run : 5;
    if (cost + runCost > limit) {
      // Part of the run fits: up to 3 bytes cost one each.
      const size_t room = limit - cost;
      return at + std::min({room, run, size_t{3}});
    }
    cost += runCost;
    at += run;
  }
  return size;
}

}  // namespace korvath::bzblocks
