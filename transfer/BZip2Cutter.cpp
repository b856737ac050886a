// Reading a bzip2 source and cutting it into pieces at its magics, with bounded look-ahead.
#include "transfer/BZip2Cutter.h"

#include <algorithm>
#include <cstring>

namespace korvath::bzblocks {
namespace {

constexpr int32_t kSourceRead = 1 << 18;
// Magics are looked for this many bytes at a time, so that a stretch dense with them (by chance
// or by design) waits as a short list of places rather than as pieces made ahead of need.
constexpr size_t kScanWindow = 1 << 14;
// What may follow the end magic: the combined CRC and fewer than 8 bits of padding. Reads past
// the magic ask for no more than that and a byte, which is enough to see the source end.
constexpr uint64_t kMostAfterEnd = kEndMarkerBits + 7;
constexpr int32_t kEndRead = static_cast<int32_t>(kMostAfterEnd / 8 + 1);

// Bits [Begin, End) of Data behind a stream header: how a stretch that is not a block is kept,
// so that it can still be joined to the block before it.
std::string RawStretch(char level, const uint8_t* data, size_t size, uint64_t begin, uint64_t end) {
  TBitWriter writer;
  writer.Put(0x425A68, 24);
  writer.Put(static_cast<uint8_t>(level), 8);
  writer.Append(data, size, begin, end - begin);
  writer.Pad();
  return writer.TakeBytes();
}

}  // namespace

std::shared_ptr<TPiece> TBlockCutter::Next() {
  while (!FBroken) {
    if (!FHits.empty()) {
      const TMagicHit hit = FHits.front();
      FHits.pop_front();
      return Close(hit.Bit, hit.End);
    }
    if (FSourceDone) return nullptr;
    if (FOpen && FOpenIsEnd) {
      // Anything longer is bytes after the end, or an end magic that a block holds by chance;
      // either way the sequential decoder is the one to go on.
      if (BufferEnd() - *FOpen > kMostAfterEnd) FBroken = true;
    } else if (FOpen && FScanFrom + kMagicBits <= BufferEnd()) {
      Scan();
      continue;
    }
    if (FBroken) break;
    const uint64_t end = BufferEnd();
    if (!Read()) {
      FSourceDone = true;
      if (FOpen) return Close(end, false);
      FBroken = true;
    }
  }
  return nullptr;
}

bool TBlockCutter::Read() {
  // Bytes before the open piece are in pieces of their own.
  if (FOpen) {
    const size_t drop = static_cast<size_t>((*FOpen - FBufferBit) / 8);
    FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<ptrdiff_t>(drop));
    FBufferBit += uint64_t{drop} * 8;
  }
  const int32_t want = FOpen && FOpenIsEnd ? kEndRead : kSourceRead;
  const size_t had = FBuffer.size();
  FBuffer.resize(had + static_cast<size_t>(want));
  const int32_t got = FSource->Read(FBuffer.data() + had, want);
  FBuffer.resize(had + static_cast<size_t>(std::max(got, 0)));
  if (got <= 0) return false;
  if (!FOpen && FBuffer.size() >= 10) {
    // The header and a magic right behind it, or this is not a stream the road can take.
    if (std::memcmp(FBuffer.data(), "BZh", 3) != 0 || FBuffer[3] < '1' || FBuffer[3] > '9') {
      FBroken = true;
      return true;
    }
    FLevel = static_cast<char>(FBuffer[3]);
    const uint64_t magic = ReadBits(FBuffer.data(), FBuffer.size(), kHeaderBits, kMagicBits);
    if (magic != kBlockMagic && magic != kEndMagic) {
      FBroken = true;
      return true;
    }
    FOpen = kHeaderBits;
    FOpenIsEnd = magic == kEndMagic;
    FScanFrom = kHeaderBits + 1;
  }
  return true;
}

void TBlockCutter::Scan() {
  const uint64_t from = FScanFrom - FBufferBit;
  const size_t window = std::min(FBuffer.size(), static_cast<size_t>(from / 8) + kScanWindow);
  std::vector<TMagicHit> hits;
  FScanFrom = FBufferBit + FindMagics(FBuffer.data(), window, from, hits);
  for (const TMagicHit& hit : hits) FHits.push_back({FBufferBit + hit.Bit, hit.End});
  if (FHits.empty() && FScanFrom - *FOpen > kLongestPiece) FBroken = true;
}

std::shared_ptr<TPiece> TBlockCutter::Close(uint64_t end, bool endsAtEnd) {
  auto piece = std::make_shared<TPiece>();
  const uint64_t begin = *FOpen - FBufferBit;
  piece->Begin = *FOpen;
  piece->Bits = end - *FOpen;
  piece->Block = !FOpenIsEnd;
  piece->EndsAtEnd = endsAtEnd;
  piece->Last = FSourceDone;
  const uint8_t* data = FBuffer.data();
  const size_t size = FBuffer.size();
  if (piece->Block) {
    piece->Crc = static_cast<uint32_t>(ReadBits(data, size, begin + kMagicBits, 32));
    piece->Stream = OneBlockStream(FLevel, data, size, begin, begin + piece->Bits);
  } else {
    piece->Stream = RawStretch(FLevel, data, size, begin, begin + piece->Bits);
  }
  if (FSourceDone)
    FOpen.reset();
  else
    FOpen = end;
  FOpenIsEnd = endsAtEnd;
  // A magic found past an end magic is inside the marker's CRC or after the stream's end; the
  // length check in Next says which without cutting there.
  if (endsAtEnd) FHits.clear();
  return piece;
}

}  // namespace korvath::bzblocks
