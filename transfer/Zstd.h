// A read-only stream that decodes one zstd frame taken from another stream, over libzstd's
// streaming interface, with the bounds a copy from an untrusted server is held to.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/SysUtils.h"
#include "transfer/CopyDecoder.h"

struct ZSTD_DCtx_s;

namespace korvath {

// Not zstd data, damaged, cut off, followed by anything (a second frame, trailing bytes), a frame
// that declares more content than it may have, or one that needs a larger window than allowed.
class EZstdError : public Exception {
  using Exception::Exception;
};

class TZstdDecompressionStream : public TCopyDecoder {
 public:
  // WindowLogMax: the largest window (as a power of two) a frame may ask for; the decoder's
  // memory is about that window. MaxContent: the content size a frame may declare, or kNoLimit
  // (-1); what it produces is the reader's to bound.
  TZstdDecompressionStream(TStream& source, int windowLogMax, int64_t maxContent);
  ~TZstdDecompressionStream() override;
  TZstdDecompressionStream(const TZstdDecompressionStream&) = delete;
  TZstdDecompressionStream& operator=(const TZstdDecompressionStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Only tells the position (the bytes handed out); any move raises.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  int64_t SourcePosition() const override { return FConsumed; }

 private:
  bool Refill();
  void CheckHeader();
  void CheckNothingFollows();

  struct TFree {
    void operator()(ZSTD_DCtx_s* context) const noexcept;
  };
  TStream& FSource;
  int64_t FMaxContent;
  std::unique_ptr<ZSTD_DCtx_s, TFree> FContext;
  std::vector<char> FIn;
  size_t FInPos = 0, FInSize = 0;
  int64_t FConsumed = 0;  // source bytes the decoder has taken
  int64_t FHanded = 0;
  bool FHeaderChecked = false;
  bool FFrameEnded = false;
};

}  // namespace korvath
