// Decoding of one bzip2 stream block by block on several cores, still through libbz2: the caller's
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

// Output of a block held until the block is known to be whole. A block holds at most 900 000
// bytes of run-shortened data, which long runs of one byte can make ~46 MB of output: such a
// block is checked whole by its worker and decoded once more while it is handed out.
constexpr size_t kHeldOutput = 4 << 20;
// What the pieces read ahead may hold, each block counted at the most output it may keep: the
// source is read no further ahead than this, however small its pieces are.
constexpr uint64_t kMostHeld = 32 << 20;
// A piece that does not decode whole is joined to the next, in case it ended at a magic found by
// chance inside a block; after this many joins in a row the stream is no longer taken for one
// whose blocks the road can find, and the sequential decoder goes on.
constexpr unsigned kMostJoins = 3;
// The gauge moves in steps of the sequential decoder's input block.
constexpr int64_t kGaugeStep = 65536;
constexpr int32_t kDecodeStep = 1 << 16;

[[noreturn]] void InvalidOperation() {
  throw EBZDecompressionError("Invalid stream operation");
}

}  // namespace

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

  // How far into the piece the input taken so far reaches, in bits after the stream's header.
  uint64_t InputBits() const {
    const uint64_t taken = uint64_t{FCodec.total_in_hi32} << 32 | FCodec.total_in_lo32;
    return taken * 8 > bzblocks::kHeaderBits ? taken * 8 - bzblocks::kHeaderBits : 0;
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
    : FSource(&source), FStart(source.Position()), FCutter(source), FGauge(FStart) {
  if (source.Size() - FStart >= parallelFrom) {
    if (workers == 0) workers = std::thread::hardware_concurrency();
    workers = std::clamp(workers, 1u, kMostWorkers);
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
  // After a fall-back the sequential road reads the start again: the gauge does not go back.
  FGauge = std::max(FGauge, FSource->Position());
  if (OnProgress) OnProgress(this);
}

void TBZParallelDecompressionStream::HandedProgress() {
  int64_t position;
  if (FFinished && FOutAt == FOut.size() && !FRest) {
    position = FStart + static_cast<int64_t>(FCutter.BytesRead());  // the end marker's too
  } else {
    uint64_t bits = FOutBits;
    if (FRest)
      bits = std::min(bits, FRest->InputBits());
    else if (!FOut.empty())
      bits = bits * FOutAt / FOut.size();
    const auto bytes = static_cast<int64_t>((FOutBegin + bits) / 8);
    position = FStart + bytes / kGaugeStep * kGaugeStep;
  }
  if (position <= FGauge) return;
  FGauge = position;
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
      HandedProgress();
      continue;
    }
    if (FRest) {
      const int32_t got = FRest->Next(out + done, count - done);
      if (got > 0) {
        done += got;
        FHanded += got;
        HandedProgress();
      } else {
        FRest.reset();
        if (got < 0 && !FallBack() && done > 0) return done;
        if (got == 0) HandedProgress();
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
  for (;;) {
    if (!Fill(1) || FPieces.empty()) return FallBack();
    const std::shared_ptr<TPiece> head = FPieces.front();
    if (!head->Block) return FallBack();
    {
      std::unique_lock<std::mutex> lock(FLock);
      FChanged.wait(lock, [&head] { return head->Done; });
    }
    // A stretch that does not decode whole may end at a magic found by chance inside the
    // block's data; joined to the next stretch it is the real block. Joined again and again it
    // is not: every join decodes the whole join once more.
    if (!head->Ok) {
      if (FJoins == kMostJoins || !Merge()) return FallBack();
      ++FJoins;
      continue;
    }
    FJoins = 0;
    FPieces.pop_front();
    FHeld -= head->Held;
    FCombined = CombineCrc(FCombined, head->Crc);
    if (head->EndsAtEnd && !EndChecks()) return FallBack();
    FOut = std::move(head->Output);
    FOutAt = 0;
    FOutBegin = head->Begin;
    FOutBits = head->Bits;
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

bool TBZParallelDecompressionStream::Fill(size_t least) {
  // Pieces read ahead: enough to keep every worker busy while the first is handed out, within
  // what the road may hold; and always the few the caller needs.
  const size_t ahead = FWorkers.size() + 2;
  while (FPieces.size() < least || (FPieces.size() < ahead && FHeld < kMostHeld)) {
    const std::shared_ptr<TPiece> piece = FCutter.Next();
    if (!piece) break;
    piece->Held = sizeof(TPiece) + piece->Stream.size() + (piece->Block ? kHeldOutput : 0);
    FHeld += piece->Held;
    FCounts.MostHeld = std::max(FCounts.MostHeld, FHeld);
    FPieces.push_back(piece);
    if (piece->Block)
      Queue(piece);
    else
      piece->Done = true;
  }
  FCounts.BytesRead = FCutter.BytesRead();
  return !FCutter.Broken();
}

void TBZParallelDecompressionStream::Queue(const std::shared_ptr<TPiece>& piece) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FTodo.push_back(piece);
  }
  FChanged.notify_one();
}

bool TBZParallelDecompressionStream::Merge() {
  if (!Fill(2) || FPieces.size() < 2) return false;
  const TPiece& first = *FPieces[0];
  const TPiece& second = *FPieces[1];
  if (first.Bits + second.Bits > bzblocks::kLongestPiece) return false;
  auto joined = std::make_shared<TPiece>();
  joined->Begin = first.Begin;
  joined->Bits = first.Bits + second.Bits;
  joined->Block = true;
  joined->EndsAtEnd = second.EndsAtEnd;
  joined->Last = second.Last;
  joined->Crc = first.Crc;
  // A worker may still be decoding the second: it only reads the stream, as this does.
  TBitWriter writer;
  writer.Append(reinterpret_cast<const uint8_t*>(first.Stream.data()), first.Stream.size(), 0,
                bzblocks::kHeaderBits);
  for (const TPiece* part : {&first, &second}) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(part->Stream.data());
    writer.Append(bytes, part->Stream.size(), bzblocks::kHeaderBits, part->Bits);
  }
  writer.Put(bzblocks::kEndMagic, bzblocks::kMagicBits);
  writer.Put(joined->Crc, 32);
  writer.Pad();
  joined->Stream = writer.TakeBytes();
  joined->Held = sizeof(TPiece) + joined->Stream.size() + kHeldOutput;
  TPieceDecoder::Decode(*joined);
  joined->Done = true;
  FHeld = FHeld - first.Held - second.Held + joined->Held;
  FPieces.pop_front();
  FPieces.pop_front();
  FPieces.push_front(joined);
  ++FCounts.Joins;
  return true;
}

bool TBZParallelDecompressionStream::EndChecks() {
  // What follows the last block is the end marker and its padding, and then nothing; the cutter
  // reads no further than that tells.
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
  FHeld = 0;
  return true;
}

bool TBZParallelDecompressionStream::FallBack() {
  StopWorkers();
  FCounts.FellBack = true;
  FPieces.clear();
  FHeld = 0;
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
