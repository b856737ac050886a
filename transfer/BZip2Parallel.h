// A read-only stream that decodes one bzip2 stream with its blocks spread over the cores, and
// hands out exactly what TBZDecompressionStream would: the same bytes, and the same error at the
// end of what it hands out when the data is not one complete stream.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Classes.h"
#include "transfer/BZip2.h"
#include "transfer/BZip2Cutter.h"
#include "transfer/CopyDecoder.h"

namespace korvath {

class TBZParallelDecompressionStream : public TCopyDecoder {
 public:
  // Smaller sources are decoded on the caller's thread: a stream of two blocks of noise (1 MiB)
  // decodes no faster on two cores once the threads are started, one of 2 MiB a third faster.
  static constexpr int64_t kParallelFrom = 1 << 20;

  // Each worker holds a decoder's state and a block's output, several MiB: few enough that a
  // 32-bit program on a machine of many cores stays well inside its address space.
  static constexpr unsigned kMostWorkers = 4;

  // Workers: the threads that decode blocks, 0 for one per hardware thread (at most
  // kMostWorkers either way).
  explicit TBZParallelDecompressionStream(TStream& source, int64_t parallelFrom = kParallelFrom,
                                          unsigned workers = 0);
  ~TBZParallelDecompressionStream() override;
  TBZParallelDecompressionStream(const TBZParallelDecompressionStream&) = delete;
  TBZParallelDecompressionStream& operator=(const TBZParallelDecompressionStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Only tells the position (the bytes handed out); any move raises.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;

  // OnProgress is called on the sequential road after every decoding step, on the block road as
  // decoded output is handed out. SourcePosition on the sequential road is the source's own (it
  // grows by a whole input block at a time); on the block road it grows in steps of 65,536 bytes
  // and reaches the source's end with the last byte handed out.
  int64_t SourcePosition() const override { return FGauge; }

  // What the block road has done, for tests of its bounds.
  struct TCounts {
    uint64_t BytesRead = 0;  // from the source, before any fall-back
    uint64_t Joins = 0;      // pieces joined to the one before
    uint64_t MostHeld = 0;   // the most bytes held in pieces at one time
    bool FellBack = false;
  };
  const TCounts& Counts() const { return FCounts; }

 private:
  using TPiece = bzblocks::TPiece;
  bool Advance();
  bool Fill(size_t least);
  bool Merge();
  bool EndChecks();
  bool FallBack();
  void StopWorkers();
  void Work();
  void Progress();
  void HandedProgress();
  void Queue(const std::shared_ptr<TPiece>& piece);

  TStream* FSource;
  int64_t FStart;
  int64_t FHanded = 0;
  // Where anything is not as the blocks-ahead road expects, the stream from the start again on
  // the caller's thread, past what was handed out: it finds the same failure with the same text.
  std::optional<TBZDecompressionStream> FSequential;

  bzblocks::TBlockCutter FCutter;
  uint32_t FCombined = 0;
  bool FFinished = false;
  unsigned FJoins = 0;  // joins since a piece last decoded whole

  std::deque<std::shared_ptr<TPiece>> FPieces;  // in the source's order, the first is next
  uint64_t FHeld = 0;                           // what FPieces hold, as TPiece::Held counts
  std::string FOut;
  size_t FOutAt = 0;
  uint64_t FOutBegin = 0;  // where the piece whose output FOut holds lies in the source, in bits
  uint64_t FOutBits = 0;
  class TPieceDecoder;
  std::unique_ptr<TPieceDecoder> FRest;  // a block whose output was too large to hold
  int64_t FGauge;
  TCounts FCounts;

  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::shared_ptr<TPiece>> FTodo;
  bool FStopping = false;
  std::vector<std::thread> FWorkers;
};

}  // namespace korvath
