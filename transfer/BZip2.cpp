// Decoding of bzip2 data read from another stream, over libbz2's decompression interface.
#include "transfer/BZip2.h"

#include <bzlib.h>

#include <cstdlib>
#include <new>

namespace korvath {

struct BZCodec : bz_stream {};

namespace {

// Set by BZAllocMem when the heap cannot serve a request, for the libbz2 call that made it.
// The callback itself must not raise: the Linux libbz2 is built without exception support, so
// an exception would cross C frames that are not prepared for it, and even where it unwinds it
// skips the code that saves the decoder's state. Returning null makes libbz2 stop cleanly with
// BZ_MEM_ERROR; CallCodec then raises the out-of-memory error on this side of the library.
thread_local bool allocationFailed = false;

template <class Call>
int CallCodec(Call call) {
  allocationFailed = false;
  const int status = call();
  if (allocationFailed) {
    allocationFailed = false;
    throw EOutOfMemory();
  }
  return status;
}

constexpr int32_t kSkipPiece = 4096;

[[noreturn]] void InvalidOperation() {
  throw EBZDecompressionError("Invalid stream operation");
}

}  // namespace

void* BZAllocMem(void* /*opaque*/, int items, int size) {
  // The request is a signed 32-bit product; one outside that range is refused, not wrapped.
  const int64_t bytes = int64_t{items} * int64_t{size};
  void* block = bytes >= 0 && bytes <= INT32_MAX
                    ? std::malloc(bytes == 0 ? 1 : static_cast<size_t>(bytes))
                    : nullptr;
  if (block == nullptr) allocationFailed = true;
  return block;
}

void BZFreeMem(void* /*opaque*/, void* block) {
  std::free(block);
}

TCustomBZip2Stream::TCustomBZip2Stream(TStream& source)
    : FSource(&source), FSourcePos(source.Position()) {
  static_assert(sizeof(BZCodec) <= sizeof(FCodec) && alignof(BZCodec) <= alignof(void*));
  BZCodec* codec = ::new (static_cast<void*>(FCodec)) BZCodec{};
  codec->bzalloc = BZAllocMem;
  codec->bzfree = BZFreeMem;
  codec->opaque = nullptr;
}

BZCodec& TCustomBZip2Stream::Codec() {
  return *std::launder(reinterpret_cast<BZCodec*>(FCodec));
}

void TCustomBZip2Stream::DoProgress(TObject* sender) {
  if (OnProgress) OnProgress(sender);
}

TBZDecompressionStream::TBZDecompressionStream(TStream& source) : TCustomBZip2Stream(source) {
  bz_stream& codec = Codec();
  codec.next_in = FInBuf;
  codec.avail_in = 0;
  const int status = CallCodec([&codec] { return BZ2_bzDecompressInit(&codec, 0, 0); });
  if (status < 0) throw EBZDecompressionError(Format("error %d", status));
}

TBZDecompressionStream::~TBZDecompressionStream() {
  BZ2_bzDecompressEnd(&Codec());
}

int TBZDecompressionStream::Decompress() {
  return CallCodec([this] { return BZ2_bzDecompress(&Codec()); });
}

int64_t TBZDecompressionStream::DecodedCount() {
  const bz_stream& codec = Codec();
  return static_cast<int64_t>(uint64_t{codec.total_out_hi32} << 32 | codec.total_out_lo32);
}

int32_t TBZDecompressionStream::Read(void* buffer, int32_t count) {
  bz_stream& codec = Codec();
  const int32_t wanted = count > 0 ? count : 0;
  codec.next_out = static_cast<char*>(buffer);
  codec.avail_out = static_cast<unsigned>(wanted);
  // Someone else may have moved the source since the latest refill.
  if (FSource->Position() != FSourcePos) FSource->SetPosition(FSourcePos);
  while (codec.avail_out > 0) {
    const int32_t produced = wanted - static_cast<int32_t>(codec.avail_out);
    if (codec.avail_in == 0) {
      const int32_t got = FSource->Read(FInBuf, kInBufSize);
      if (got <= 0) {
        // An empty or broken-off download must not pass for a complete file.
        if (!FStreamEnded) throw EBZCompressionError("Unexpected end of compressed data");
        return produced;
      }
      codec.next_in = FInBuf;
      codec.avail_in = static_cast<unsigned>(got);
      FSourcePos = FSource->Position();
    }
    // Bytes follow the end of the stream. libbz2 answers any step after the end with a sequence
    // error; hand over what this call decoded first, so the next call is the one that fails.
    if (FStreamEnded && produced > 0) return produced;
    const int status = Decompress();
    if (status < 0) throw EBZCompressionError(Format("error %d", status));
    if (status == BZ_STREAM_END) FStreamEnded = true;
    DoProgress(this);
  }
  return wanted;
}

int32_t TBZDecompressionStream::Write(const void* /*buffer*/, int32_t /*count*/) {
  InvalidOperation();
}

int32_t TBZDecompressionStream::Seek(int32_t offset, uint16_t origin) {
  // The base maps the 16-bit origin and calls the 64-bit form below, so both follow its rules.
  return TCustomBZip2Stream::Seek(offset, origin);
}

int64_t TBZDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t position = DecodedCount();
  if (offset == 0 && origin == TSeekOrigin::soBeginning)
    Restart();
  else if (origin == TSeekOrigin::soCurrent && offset >= 0)
    Skip(offset);
  else if (origin == TSeekOrigin::soBeginning && offset > position)
    Skip(offset - position);
  else
    InvalidOperation();
  return DecodedCount();
}

void TBZDecompressionStream::Restart() {
  bz_stream& codec = Codec();
  int status = BZ2_bzDecompressEnd(&codec);
  if (status < 0) throw EBZDecompressionError(Format("error %d", status));
  codec.next_in = FInBuf;
  codec.avail_in = 0;
  FStreamEnded = false;
  status = CallCodec([&codec] { return BZ2_bzDecompressInit(&codec, 0, 0); });
  if (status < 0) throw EBZDecompressionError(Format("error %d", status));
  // The very start of the source, whatever its position was when this stream was created.
  FSource->SetPosition(0);
  FSourcePos = 0;
}

void TBZDecompressionStream::Skip(int64_t distance) {
  char piece[kSkipPiece];
  for (; distance >= kSkipPiece; distance -= kSkipPiece) ReadBuffer(piece, kSkipPiece);
  ReadBuffer(piece, static_cast<int32_t>(distance));
}

}  // namespace korvath

extern "C" void bz_internal_error(int errcode) {
  throw korvath::EBZip2Error(korvath::Format("Compression Error %d", errcode));
}
