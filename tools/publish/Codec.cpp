#include "tools/publish/Codec.h"

#include <bzlib.h>

#include <memory>
#include <vector>

#include "runtime/Classes.h"
#include "transfer/BZip2.h"
#include "transfer/Sha256.h"
#include "transfer/md5.h"

namespace korvath::publish {
namespace {

constexpr int kBlockSize100k = 9;  // the largest blocks compress best; clients decode any size
constexpr int kWorkFactor = 0;     // libbz2's default fallback threshold
constexpr int32_t kChunk = 1 << 20;

// libbz2's compressor, ended on every way out.
class TEncoder {
 public:
  TEncoder() {
    if (const int status = BZ2_bzCompressInit(&FStream, kBlockSize100k, 0, kWorkFactor);
        status != BZ_OK)
      throw ECompressError(Format("The bzip2 compressor cannot start (error %d)", status));
  }
  ~TEncoder() { BZ2_bzCompressEnd(&FStream); }
  TEncoder(const TEncoder&) = delete;
  TEncoder& operator=(const TEncoder&) = delete;

  // Feeds Count bytes (Finish: the end of the input) and hands every compressed byte to Sink.
  template <typename Sink>
  void Step(const char* data, int32_t count, bool finish, Sink&& sink) {
    FStream.next_in = const_cast<char*>(data);  // libbz2 never writes through it
    FStream.avail_in = static_cast<unsigned int>(count);
    for (;;) {
      FStream.next_out = FOut.data();
      FStream.avail_out = static_cast<unsigned int>(FOut.size());
      const int status = BZ2_bzCompress(&FStream, finish ? BZ_FINISH : BZ_RUN);
      if (status != BZ_RUN_OK && status != BZ_FINISH_OK && status != BZ_STREAM_END)
        throw ECompressError(Format("bzip2 compression failed (error %d)", status));
      const size_t produced = FOut.size() - FStream.avail_out;
      if (produced > 0) sink(FOut.data(), produced);
      if (finish ? status == BZ_STREAM_END : FStream.avail_in == 0) return;
    }
  }

 private:
  bz_stream FStream{};
  std::vector<char> FOut = std::vector<char>(kChunk);
};

std::string Hex(TDigestContext& context) {
  TDigestBytes digest;
  DigestFinal(context, digest);
  return DigestToHex(digest);
}

// Decodes the whole file, handing each decoded block to Sink.
template <typename Sink>
void Decode(const std::string& compressedFile, Sink&& sink) {
  TFileStream source(compressedFile, fmOpenRead | fmShareDenyWrite);
  TBZDecompressionStream decoder(source);
  std::vector<char> block(kChunk);
  for (;;) {
    const int32_t done = decoder.Read(block.data(), kChunk);
    if (done == 0) return;
    sink(block.data(), static_cast<size_t>(done));
  }
}

}  // namespace

TCompressed CompressFile(const std::string& source, TStream& output) {
  TFileStream input(source, fmOpenRead | fmShareDenyWrite);
  TEncoder encoder;
  TDigestContext context;
  DigestInit(context);
  TSha256 sha256;
  TCompressed result;
  auto write = [&](const char* data, size_t count) {
    output.WriteBuffer(data, static_cast<int32_t>(count));
    result.CompressedSize += count;
  };
  std::vector<char> chunk(kChunk);
  for (;;) {
    const int32_t done = input.Read(chunk.data(), kChunk);
    DigestUpdate(context, chunk.data(), static_cast<uint32_t>(done));
    sha256.Update(chunk.data(), static_cast<size_t>(done));
    result.Size += static_cast<uint64_t>(done);
    encoder.Step(chunk.data(), done, done == 0, write);
    if (done == 0) break;
  }
  result.Digest = Hex(context);
  result.Sha256 = sha256.FinalHex();
  return result;
}

std::string CompressText(const std::string& text) {
  TEncoder encoder;
  std::string result;
  auto append = [&](const char* data, size_t count) { result.append(data, count); };
  for (size_t at = 0; at < text.size(); at += kChunk) {
    const auto count = static_cast<int32_t>(std::min<size_t>(kChunk, text.size() - at));
    encoder.Step(text.data() + at, count, false, append);
  }
  encoder.Step(nullptr, 0, true, append);
  return result;
}

TCompressed DecodedDigest(const std::string& compressedFile) {
  TDigestContext context;
  DigestInit(context);
  TSha256 sha256;
  TCompressed result;
  Decode(compressedFile, [&](const char* data, size_t count) {
    DigestUpdate(context, data, static_cast<uint32_t>(count));
    sha256.Update(data, count);
    result.Size += count;
  });
  result.Digest = Hex(context);
  result.Sha256 = sha256.FinalHex();
  return result;
}

std::string DecodeText(const std::string& compressedFile, uint64_t maxSize) {
  std::string text;
  Decode(compressedFile, [&](const char* data, size_t count) {
    if (text.size() + count > maxSize)
      throw ECompressError(Format("%s decodes to more than %llu bytes", compressedFile.c_str(),
                                  static_cast<unsigned long long>(maxSize)));
    text.append(data, count);
  });
  return text;
}

}  // namespace korvath::publish
