// A read-only stream that decodes bzip2 data taken from another stream, over libbz2's
// decompression interface, and the errors it raises.
#pragma once

#include <cstdint>

#include "runtime/Classes.h"
#include "runtime/SysUtils.h"

namespace korvath {

class EBZip2Error : public Exception {
  using Exception::Exception;
};
// A decoding step failed: not bzip2 data, damaged data, data after the end of the stream, or a
// source that ran out before the stream was complete.
class EBZCompressionError : public EBZip2Error {
  using EBZip2Error::EBZip2Error;
};
// The decoder could not be started, or the stream was asked for something it cannot do.
class EBZDecompressionError : public EBZip2Error {
  using EBZip2Error::EBZip2Error;
};

// libbz2's allocation callbacks. A failed allocation returns null to the library, which then
// reports BZ_MEM_ERROR; the stream raises EOutOfMemory for it (see BZip2.cpp for why the
// callback itself does not raise).
void* BZAllocMem(void* opaque, int items, int size);
void BZFreeMem(void* opaque, void* block);

struct BZCodec;  // libbz2's bz_stream, as BZip2.cpp sees it

class TCustomBZip2Stream : public TStream {
 public:
  TCustomBZip2Stream(const TCustomBZip2Stream&) = delete;
  TCustomBZip2Stream& operator=(const TCustomBZip2Stream&) = delete;

  // Called after every decoding step, with the stream as the sender.
  TNotifyEvent OnProgress;

 protected:
  explicit TCustomBZip2Stream(TStream& source);
  virtual void DoProgress(TObject* sender);

  static constexpr int32_t kInBufSize = 65536;

  TStream* FSource;  // not owned; freed by the creator after this stream
  // Where the source stood after the latest refill of FInBuf (at first: at creation).
  int64_t FSourcePos;
  // libbz2's bz_stream record, held in place; BZip2.cpp checks that it fits. Its header stays out
  // of this one because on Windows it pulls in <windows.h> with all its macros. libbz2 keeps a
  // pointer back to the record, so the object never moves.
  alignas(void*) unsigned char FCodec[16 * sizeof(void*)];
  char FInBuf[kInBufSize];

  BZCodec& Codec();
};

// Decodes one bzip2 stream from the source's current position. Seeking can only restart
// (offset 0 from the beginning) or skip forward by decoding.
class TBZDecompressionStream : public TCustomBZip2Stream {
 public:
  explicit TBZDecompressionStream(TStream& source);
  ~TBZDecompressionStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  int64_t DecodedCount();
  void Restart();
  void Skip(int64_t distance);
  int Decompress();

  // libbz2 has reported the end of the stream; a source that runs out before that is broken.
  bool FStreamEnded = false;
};

}  // namespace korvath

// Called by a libbz2 built without standard I/O when it finds itself inconsistent.
extern "C" void bz_internal_error(int errcode);
