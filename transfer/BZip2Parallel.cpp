// Decoding of one bzip2 stream block by block on every core, still through libbz2: the caller's
// thread reads the source, finds where blocks may begin and cuts each out as a one-block stream;
// workers decode those; the caller hands out their output in order and checks the stream's
// combined CRC. Only bytes of blocks that decoded whole, with their CRC checked, are handed out,
// so whatever the road meets that is not one well-formed stream can be left to the sequential
// decoder from the stream's start: it reaches the same point and fails there as it always does.
#include "transfer/BZip2Parallel.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "transfer/BZip2Blocks.h"

namespace korvath {

using bzblocks::CombineCrc;
using bzblocks::ReadBits;
using bzblocks::TBitWriter;

namespace {

constexpr int32_t kSourceRead = 1 << 18;
// Output of a block held until the block is known to be whole. A block holds at most 900 000
// bytes of run-shortened data, which long runs of one byte can make ~46 MB of output: such a
// block is checked whole by its worker and decoded once more while it is handed out.
constexpr size_t kHeldOutput = 4 << 20;
// A block of the largest size cannot take this much room, whatever it holds (at most one Huffman
// code of 20 bits per byte of the block, and its tables); a longer stretch without a magic is
// not the layout of a stream.
constexpr uint64_t kLongestPiece = uint64_t{8} * (3 << 20);
constexpr int32_t kDecodeStep = 1 << 16;

[[noreturn]] void InvalidOperation() {
  throw EBZDecompressionError("Invalid stream operation");
}

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

// A stretch of the source between two places where a magic was found.
struct TBZParallelDecompressionStream::TPiece {
  std::string Stream;  // its bits from bit 32 on, as a one-block stream when Block
  uint64_t Bits = 0;
  bool Block = false;      // begins with the block magic
  bool EndsAtEnd = false;  // the end-of-stream magic follows it
  bool Last = false;       // the source ends with it
  uint32_t Crc = 0;
  // The decoding's outcome, set before Done is (under the lock while workers run).
  bool Done = false;
  bool Ok = false;        // decoded to its end, CRC checked
  bool Overflow = false;  // Output holds only the first kHeldOutput bytes
  std::string Output;
};

// libbz2 over one stream in memory.
class TBZParallelDecompressionStream::TPieceDecoder {
 public:
  explicit TPieceDecoder(std::string stream) : FInput(std::move(stream)) {
    FCodec.bzalloc = BZAllocMem;
    FCodec.bzfree = BZFreeMem;
    FStarted = BZ2_bzDecompressInit(&FCodec, 0, 0) == BZ_OK;
    FCodec.next_in = FInput.data();
    FCodec.avail_in = static_cast<unsigned>(FInput.size());
  }
  ~TPieceDecoder() {
    if (FStarted) BZ2_bzDecompressEnd(&FCodec);
  }
  TPieceDecoder(const TPieceDecoder&) = delete;
  TPieceDecoder& operator=(const TPieceDecoder&) = delete;

  // Up to Count bytes of output: 0 after the end, -1 when the stream is damaged or incomplete.
  int32_t Next(char* out, int32_t count) {
    if (!FStarted) return -1;
    if (FEnded) return 0;
    FCodec.next_out = out;
    FCodec.avail_out = static_cast<unsigned>(count);
    for (;;) {
      const int status = BZ2_bzDecompress(&FCodec);
      const int32_t produced = count - static_cast<int32_t>(FCodec.avail_out);
      if (status == BZ_STREAM_END) FEnded = true;
      if (status == BZ_STREAM_END || (status == BZ_OK && produced > 0)) return produced;
      if (status != BZ_OK || FCodec.avail_in == 0) return -1;
    }
  }

  // Output up to the end or the first kHeldOutput bytes, and whether the stream decodes whole.
  static void Decode(TPiece& piece) {
    try {
      TPieceDecoder decoder(piece.Stream);
      std::string output;
      std::vector<char> overflow;
      for (;;) {
        // Straight into the output while it may grow; past that only checked.
        const size_t had = output.size();
        const bool held = had + kDecodeStep <= kHeldOutput;
        if (held)
          output.resize(had + kDecodeStep);
        else if (overflow.empty())
          overflow.resize(kDecodeStep);
        const int32_t got = decoder.Next(held ? output.data() + had : overflow.data(), kDecodeStep);
        if (held) output.resize(had + static_cast<size_t>(std::max(got, 0)));
        if (got < 0) return;
        if (got == 0) break;
        if (!held) piece.Overflow = true;
      }
      piece.Output = std::move(output);
      piece.Ok = true;
    } catch (...) {
      // Out of memory, or libbz2 found itself inconsistent: the sequential road will say which.
      piece.Ok = false;
    }
  }

 private:
  std::string FInput;
  bz_stream FCodec{};
  bool FStarted = false;
  bool FEnded = false;
};

TBZParallelDecompressionStream::TBZParallelDecompressionStream(TStream& source,
                                                               int64_t parallelFrom,
                                                               unsigned workers)
    : FSource(&source), FStart(source.Position()) {
  if (source.Size() - FStart >= parallelFrom) {
    if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
    try {
      for (unsigned i = 0; i < workers; ++i) FWorkers.emplace_back([this] { Work(); });
      return;
    } catch (const std::system_error&) {
      StopWorkers();
    }
  }
  FSequential.emplace(source);
  FSequential->OnProgress = [this](TObject*) { Progress(); };
}

TBZParallelDecompressionStream::~TBZParallelDecompressionStream() {
  StopWorkers();
}

void TBZParallelDecompressionStream::Progress() {
  if (OnProgress) OnProgress(this);
}

void TBZParallelDecompressionStream::StopWorkers() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopping = true;
    FTodo.clear();
  }
  FChanged.notify_all();
  for (std::thread& worker : FWorkers) worker.join();
  FWorkers.clear();
}

void TBZParallelDecompressionStream::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FChanged.wait(lock, [this] { return FStopping || !FTodo.empty(); });
    if (FStopping) return;
    const std::shared_ptr<TPiece> piece = FTodo.front();
    FTodo.pop_front();
    lock.unlock();
    TPieceDecoder::Decode(*piece);
    lock.lock();
    piece->Done = true;
    FChanged.notify_all();
  }
}

int32_t TBZParallelDecompressionStream::Read(void* buffer, int32_t count) {
  char* out = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    if (FSequential) {
      const int32_t got = FSequential->Read(out + done, count - done);
      FHanded += got;
      return done + got;
    }
    if (FOutAt < FOut.size()) {
      const size_t n = std::min(FOut.size() - FOutAt, static_cast<size_t>(count - done));
      std::memcpy(out + done, FOut.data() + FOutAt, n);
      FOutAt += n;
      done += static_cast<int32_t>(n);
      FHanded += static_cast<int64_t>(n);
      continue;
    }
    if (FRest) {
      const int32_t got = FRest->Next(out + done, count - done);
      if (got > 0) {
        done += got;
        FHanded += got;
      } else {
        FRest.reset();
        if (got < 0 && !FallBack() && done > 0) return done;
      }
      continue;
    }
    if (FFinished) break;
    // A fall-back hands over the bytes of this call first, as the sequential decoder would.
    if (!Advance() && done > 0) return done;
  }
  return done;
}

bool TBZParallelDecompressionStream::Advance() {
  // Pieces read ahead: enough to keep every worker busy while the first is handed out.
  const size_t ahead = FWorkers.size() + 2;
  for (;;) {
    if (!Fill(ahead) || FPieces.empty()) return FallBack();
    const std::shared_ptr<TPiece> head = FPieces.front();
    if (!head->Block) return FallBack();
    {
      std::unique_lock<std::mutex> lock(FLock);
      FChanged.wait(lock, [&head] { return head->Done; });
    }
    // A stretch that does not decode whole may end at a magic found by chance inside the
    // block's data; joined to the next stretch it is the real block.
    if (!head->Ok) {
      if (!Merge()) return FallBack();
      continue;
    }
    FPieces.pop_front();
    FCombined = CombineCrc(FCombined, head->Crc);
    if (head->EndsAtEnd && !EndChecks()) return FallBack();
    FOut = std::move(head->Output);
    FOutAt = 0;
    if (head->Overflow) {
      FRest = std::make_unique<TPieceDecoder>(std::move(head->Stream));
      std::vector<char> skip(kDecodeStep);
      for (size_t left = FOut.size(); left > 0;) {
        const auto step = static_cast<int32_t>(std::min<size_t>(left, kDecodeStep));
        if (FRest->Next(skip.data(), step) != step) return FallBack();
        left -= static_cast<size_t>(step);
      }
    }
    FFinished = head->EndsAtEnd;
    return true;
  }
}

bool TBZParallelDecompressionStream::Fill(size_t pieces) {
  while (!FSourceDone && !FBroken && FPieces.size() < pieces) ReadSource();
  return !FBroken;
}

void TBZParallelDecompressionStream::ReadSource() {
  const size_t had = FBuffer.size();
  FBuffer.resize(had + kSourceRead);
  const int32_t got = FSource->Read(FBuffer.data() + had, kSourceRead);
  FBuffer.resize(had + static_cast<size_t>(std::max(got, 0)));
  const uint64_t endBit = FBufferBit + uint64_t{FBuffer.size()} * 8;
  if (got <= 0) {
    FSourceDone = true;
    if (FOpen)
      ClosePiece(endBit, false);
    else
      FBroken = true;
    return;
  }
  Progress();
  if (!FOpen) {
    // The header and a magic right behind it, or this is not a stream the road can take.
    if (FBuffer.size() < 10) return;
    if (std::memcmp(FBuffer.data(), "BZh", 3) != 0 || FBuffer[3] < '1' || FBuffer[3] > '9') {
      FBroken = true;
      return;
    }
    FLevel = static_cast<char>(FBuffer[3]);
    const uint64_t magic =
        ReadBits(FBuffer.data(), FBuffer.size(), bzblocks::kHeaderBits, bzblocks::kMagicBits);
    if (magic != bzblocks::kBlockMagic && magic != bzblocks::kEndMagic) {
      FBroken = true;
      return;
    }
    FOpen = bzblocks::kHeaderBits;
    FOpenIsEnd = magic == bzblocks::kEndMagic;
    FScanFrom = bzblocks::kHeaderBits + 1;
  }
  std::vector<bzblocks::TMagicHit> hits;
  FScanFrom = FBufferBit +
              bzblocks::FindMagics(FBuffer.data(), FBuffer.size(), FScanFrom - FBufferBit, hits);
  for (const bzblocks::TMagicHit& hit : hits) ClosePiece(FBufferBit + hit.Bit, hit.End);
  // Bytes before the open piece are in pieces of their own now.
  const size_t drop = static_cast<size_t>((*FOpen - FBufferBit) / 8);
  FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<ptrdiff_t>(drop));
  FBufferBit += uint64_t{drop} * 8;
  if (endBit - *FOpen > kLongestPiece) FBroken = true;
}

void TBZParallelDecompressionStream::ClosePiece(uint64_t end, bool endsAtEnd) {
  auto piece = std::make_shared<TPiece>();
  const uint64_t begin = *FOpen - FBufferBit;
  piece->Bits = end - *FOpen;
  piece->Block = !FOpenIsEnd;
  piece->EndsAtEnd = endsAtEnd;
  piece->Last = FSourceDone;
  const uint8_t* data = FBuffer.data();
  const size_t size = FBuffer.size();
  if (piece->Block) {
    piece->Crc = static_cast<uint32_t>(ReadBits(data, size, begin + bzblocks::kMagicBits, 32));
    piece->Stream = bzblocks::OneBlockStream(FLevel, data, size, begin, begin + piece->Bits);
  } else {
    piece->Stream = RawStretch(FLevel, data, size, begin, begin + piece->Bits);
    piece->Done = true;
  }
  FPieces.push_back(piece);
  if (piece->Block) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FTodo.push_back(piece);
    }
    FChanged.notify_one();
  }
  if (FSourceDone)
    FOpen.reset();
  else
    FOpen = end;
  FOpenIsEnd = endsAtEnd;
}

bool TBZParallelDecompressionStream::Merge() {
  if (!Fill(2) || FPieces.size() < 2) return false;
  const TPiece& first = *FPieces[0];
  const TPiece& second = *FPieces[1];
  if (first.Bits + second.Bits > kLongestPiece) return false;
  auto joined = std::make_shared<TPiece>();
  joined->Bits = first.Bits + second.Bits;
  joined->Block = true;
  joined->EndsAtEnd = second.EndsAtEnd;
  joined->Last = second.Last;
  joined->Crc = first.Crc;
  TBitWriter writer;
  writer.Put(0x425A68, 24);
  writer.Put(static_cast<uint8_t>(FLevel), 8);
  for (const TPiece* part : {&first, &second}) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(part->Stream.data());
    writer.Append(bytes, part->Stream.size(), bzblocks::kHeaderBits, part->Bits);
  }
  writer.Put(bzblocks::kEndMagic, bzblocks::kMagicBits);
  writer.Put(joined->Crc, 32);
  writer.Pad();
  joined->Stream = writer.TakeBytes();
  TPieceDecoder::Decode(*joined);
  joined->Done = true;
  FPieces.pop_front();
  FPieces.pop_front();
  FPieces.push_front(joined);
  return true;
}

bool TBZParallelDecompressionStream::EndChecks() {
  // What follows the last block is the end marker and its padding, and then nothing.
  if (!Fill(SIZE_MAX) || FPieces.size() != 1) return false;
  const TPiece& marker = *FPieces.front();
  if (marker.Block || !marker.Last || marker.Bits < bzblocks::kEndMarkerBits ||
      marker.Bits >= bzblocks::kEndMarkerBits + 8)
    return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(marker.Stream.data());
  const uint64_t stored =
      ReadBits(bytes, marker.Stream.size(), bzblocks::kHeaderBits + bzblocks::kMagicBits, 32);
  if (stored != FCombined) return false;
  FPieces.clear();
  return true;
}

bool TBZParallelDecompressionStream::FallBack() {
  StopWorkers();
  FPieces.clear();
  FBuffer = {};
  FOut.clear();
  FOutAt = 0;
  FRest.reset();
  FSource->SetPosition(FStart);
  FSequential.emplace(*FSource);
  FSequential->OnProgress = [this](TObject*) { Progress(); };
  if (FHanded > 0) FSequential->Seek(FHanded, TSeekOrigin::soCurrent);
  return false;
}

int32_t TBZParallelDecompressionStream::Write(const void* /*buffer*/, int32_t /*count*/) {
  InvalidOperation();
}

int64_t TBZParallelDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::soCurrent) InvalidOperation();
  return FHanded;
}

}  // namespace korvath
