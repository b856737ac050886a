// The publisher's zstd copies: one frame per file that states the content's size and carries a
// checksum, compressed with a window no larger than clients hold.
#include <zstd.h>

#include <vector>

#include "list/CopyFormats.h"
#include "tools/publish/Codec.h"
#include "transfer/md5.h"

namespace korvath::publish {
namespace {

static_assert(kZstdWindowLog <= kZstdWindowLogMax, "clients refuse a larger window");

size_t Checked(size_t code) {
  if (ZSTD_isError(code))
    throw ECompressError(std::string("zstd compression failed (") + ZSTD_getErrorName(code) + ")");
  return code;
}

// libzstd's compression context, freed on every way out.
class TZstdEncoder {
 public:
  TZstdEncoder() : FContext(ZSTD_createCCtx()) {
    if (FContext == nullptr) throw ECompressError("The zstd compressor cannot start");
  }
  ~TZstdEncoder() { ZSTD_freeCCtx(FContext); }
  TZstdEncoder(const TZstdEncoder&) = delete;
  TZstdEncoder& operator=(const TZstdEncoder&) = delete;

  void Set(ZSTD_cParameter parameter, int value) {
    Checked(ZSTD_CCtx_setParameter(FContext, parameter, value));
  }
  // A file that turns out longer or shorter than Size fails the frame rather than mislabel it.
  void Pledge(uint64_t size) { Checked(ZSTD_CCtx_setPledgedSrcSize(FContext, size)); }

  // Feeds Count bytes (Finish: the end of the input) and hands every compressed byte to Sink.
  template <typename Sink>
  void Step(const char* data, size_t count, bool finish, Sink&& sink) {
    ZSTD_inBuffer in{data, count, 0};
    const ZSTD_EndDirective mode = finish ? ZSTD_e_end : ZSTD_e_continue;
    for (;;) {
      ZSTD_outBuffer out{FOut.data(), FOut.size(), 0};
      const size_t remaining = Checked(ZSTD_compressStream2(FContext, &out, &in, mode));
      if (out.pos > 0) sink(FOut.data(), out.pos);
      if (finish ? remaining == 0 : in.pos == in.size) return;
    }
  }

 private:
  ZSTD_CCtx* FContext;
  std::vector<char> FOut = std::vector<char>(ZSTD_CStreamOutSize());
};

}  // namespace

TZstdCompressed CompressFileZstd(const std::string& source, TStream& output) {
  TFileStream input(source, fmOpenRead | fmShareDenyWrite);
  TZstdEncoder encoder;
  encoder.Set(ZSTD_c_compressionLevel, kZstdLevel);
  encoder.Set(ZSTD_c_windowLog, kZstdWindowLog);
  encoder.Set(ZSTD_c_enableLongDistanceMatching, 1);
  encoder.Set(ZSTD_c_checksumFlag, 1);
  encoder.Set(ZSTD_c_contentSizeFlag, 1);
  encoder.Pledge(static_cast<uint64_t>(input.Size()));
  TZstdCompressed result;
  auto write = [&](const char* data, size_t count) {
    output.WriteBuffer(data, static_cast<int32_t>(count));
    result.CompressedSize += count;
  };
  TDigestContext md5;
  DigestInit(md5);
  std::vector<char> chunk(ZSTD_CStreamInSize());
  for (;;) {
    const int32_t done = input.Read(chunk.data(), static_cast<int32_t>(chunk.size()));
    DigestUpdate(md5, chunk.data(), static_cast<uint32_t>(done));
    encoder.Step(chunk.data(), static_cast<size_t>(done), done == 0, write);
    if (done == 0) break;
  }
  TDigestBytes digest;
  DigestFinal(md5, digest);
  result.Digest = DigestToHex(digest);
  return result;
}

}  // namespace korvath::publish
