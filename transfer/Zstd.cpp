#include "transfer/Zstd.h"

#define ZSTD_STATIC_LINKING_ONLY  // the frame header reader
#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <new>
#include <string>

#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// A zstd frame starts with these four bytes, least significant first.
constexpr unsigned char kMagic[4] = {0x28, 0xB5, 0x2F, 0xFD};

std::string ErrorText(size_t code) {
  return ZSTD_getErrorName(code);
}

}  // namespace

void TZstdDecompressionStream::TFree::operator()(ZSTD_DCtx_s* context) const noexcept {
  ZSTD_freeDCtx(context);
}

TZstdDecompressionStream::TZstdDecompressionStream(TStream& source, int windowLogMax,
                                                   int64_t maxContent)
    : FSource(source),
      FMaxContent(maxContent),
      FContext(ZSTD_createDCtx()),
      FIn(ZSTD_DStreamInSize()) {
  if (!FContext) throw std::bad_alloc();
  const size_t set = ZSTD_DCtx_setParameter(FContext.get(), ZSTD_d_windowLogMax, windowLogMax);
  if (ZSTD_isError(set)) throw EZstdError("cannot bound the window (" + ErrorText(set) + ")");
}

TZstdDecompressionStream::~TZstdDecompressionStream() = default;

bool TZstdDecompressionStream::Refill() {
  FInPos = 0;
  FInSize = 0;
  // Before the header is checked, reads go on until it is whole: a source may hand out less
  // than it is asked for.
  const size_t least = FHeaderChecked ? 1 : ZSTD_FRAMEHEADERSIZE_MAX;
  while (FInSize < least) {
    const int32_t got =
        FSource.Read(FIn.data() + FInSize, static_cast<int32_t>(FIn.size() - FInSize));
    if (got <= 0) break;
    FInSize += static_cast<size_t>(got);
  }
  return FInSize > 0;
}

// The frame's header, before any of its content is decoded: zstd's magic number (a skippable
// frame is not content), and a declared content size within the bound.
void TZstdDecompressionStream::CheckHeader() {
  if (FInSize < sizeof kMagic || std::memcmp(FIn.data(), kMagic, sizeof kMagic) != 0)
    throw EZstdError("not zstd data");
  ZSTD_frameHeader header{};
  const size_t needs = ZSTD_getFrameHeader(&header, FIn.data(), FInSize);
  if (ZSTD_isError(needs)) throw EZstdError("damaged frame header (" + ErrorText(needs) + ")");
  if (needs == 0 && FMaxContent >= 0 && header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN &&
      header.frameContentSize > static_cast<unsigned long long>(FMaxContent))
    throw EZstdError("the frame declares " + std::to_string(header.frameContentSize) +
                     " bytes, more than " + std::to_string(FMaxContent));
  // The first refill holds the longest header; a shorter source is cut off.
  if (needs != 0) throw EZstdError("cut off");
  FHeaderChecked = true;
}

// One frame is the whole copy: anything after it, a second frame too, is not this file's.
void TZstdDecompressionStream::CheckNothingFollows() {
  if (FInPos < FInSize || Refill()) throw EZstdError("data after the end of the frame");
}

int32_t TZstdDecompressionStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || FFrameEnded) return 0;
  ZSTD_outBuffer out{buffer, static_cast<size_t>(count), 0};
  while (out.pos == 0) {
    if (FInPos == FInSize) {
      if (!Refill()) throw EZstdError(FHanded == 0 && FConsumed == 0 ? "no data" : "cut off");
    }
    if (!FHeaderChecked) CheckHeader();
    ZSTD_inBuffer in{FIn.data(), FInSize, FInPos};
    const size_t left = ZSTD_decompressStream(FContext.get(), &out, &in);
    FConsumed += static_cast<int64_t>(in.pos - FInPos);
    FInPos = in.pos;
    if (ZSTD_isError(left)) {
      if (ZSTD_getErrorCode(left) == ZSTD_error_frameParameter_windowTooLarge)
        throw EZstdError("the frame needs a larger window than a copy may have");
      if (ZSTD_getErrorCode(left) == ZSTD_error_memory_allocation) throw std::bad_alloc();
      throw EZstdError("damaged data (" + ErrorText(left) + ")");
    }
    if (OnProgress) OnProgress(this);
    if (left == 0) {
      FFrameEnded = true;
      CheckNothingFollows();
      break;
    }
  }
  FHanded += static_cast<int64_t>(out.pos);
  return static_cast<int32_t>(out.pos);
}

int32_t TZstdDecompressionStream::Write(const void*, int32_t) {
  throw EZstdError("a decoding stream cannot be written");
}

int64_t TZstdDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soCurrent) return FHanded;
  throw EZstdError("a decoding stream cannot move");
}

}  // namespace korvath
