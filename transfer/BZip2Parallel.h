// A read-only stream that decodes one bzip2 stream with its blocks spread over every core, and
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

namespace korvath {

class TBZParallelDecompressionStream : public TStream {
 public:
  // Smaller sources are decoded on the caller's thread: a stream of two blocks of noise (1 MiB)
  // decodes no faster on two cores once the threads are started, one of 2 MiB a third faster.
  static constexpr int64_t kParallelFrom = 1 << 20;

  // Workers: the threads that decode blocks, 0 for one per hardware thread.
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

  // Called on the reading thread whenever compressed bytes were taken from the source.
  TNotifyEvent OnProgress;

  struct TPiece;

 private:
  bool Advance();
  bool Fill(size_t pieces);
  void ReadSource();
  void ClosePiece(uint64_t end, bool endsAtEnd);
  bool Merge();
  bool EndChecks();
  bool FallBack();
  void StopWorkers();
  void Work();
  void Progress();

  TStream* FSource;
  int64_t FStart;
  int64_t FHanded = 0;
  // Where anything is not as the blocks-ahead road expects, the stream from the start again on
  // the caller's thread, past what was handed out: it finds the same failure with the same text.
  std::optional<TBZDecompressionStream> FSequential;

  // Compressed bytes from bit FBufferBit of the source on, not yet cut into pieces.
  std::vector<uint8_t> FBuffer;
  uint64_t FBufferBit = 0;
  uint64_t FScanFrom = 0;
  std::optional<uint64_t> FOpen;  // where the piece being scanned begins
  bool FOpenIsEnd = false;
  char FLevel = '9';
  bool FSourceDone = false;
  bool FBroken = false;  // not the layout of one stream as far as the scan can tell
  uint32_t FCombined = 0;
  bool FFinished = false;

  std::deque<std::shared_ptr<TPiece>> FPieces;  // in the source's order, the first is next
  std::string FOut;
  size_t FOutAt = 0;
  class TPieceDecoder;
  std::unique_ptr<TPieceDecoder> FRest;  // a block whose output was too large to hold
  uint64_t FRestSkip = 0;

  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::shared_ptr<TPiece>> FTodo;
  bool FStopping = false;
  std::vector<std::thread> FWorkers;
};

}  // namespace korvath
