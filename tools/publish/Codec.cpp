#include "tools/publish/Codec.h"

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "list/CopyFormats.h"
#include "runtime/Classes.h"
#include "transfer/BZip2.h"
#include "transfer/BZip2Blocks.h"
#include "transfer/Sha256.h"
#include "transfer/md5.h"

namespace korvath::publish {
namespace {

constexpr int kBlockSize100k = 9;  // the largest blocks compress best; clients decode any size
constexpr int kWorkFactor = 0;     // libbz2's default fallback threshold
constexpr int32_t kChunk = 1 << 20;

// Files from this size on are compressed block by block on every core.
constexpr int64_t kParallelFrom = 2 << 20;
// The run-shortened bytes one block takes: libbz2 closes a block a little short of
// 100 000 x level of them, so a chunk that shortens to this many always makes exactly one.
constexpr size_t kBlockCapacity = 100000 * kBlockSize100k - 100;
// Input of one chunk at most: long runs shorten 51 to 1, so a full block can stand for ~46 MB;
// held to this, such a file takes a few more (still tiny) blocks and far less memory.
constexpr size_t kLongestChunk = 8 << 20;

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

// One chunk as a stream of its own: the bits of its only block and that block's CRC.
struct TBlockBits {
  std::string Stream;
  bzblocks::TBlockSpan Span;
};

TBlockBits CompressBlock(const std::string& chunk) {
  TBlockBits result;
  TEncoder encoder;
  auto append = [&](const char* data, size_t count) { result.Stream.append(data, count); };
  encoder.Step(chunk.data(), static_cast<int32_t>(chunk.size()), true, append);
  if (!bzblocks::FindOnlyBlock(result.Stream, result.Span))
    throw ECompressError("bzip2 compression made more than one block of a chunk");
  return result;
}

// The MD5 and SHA-256 of a file's content, taken as it is read.
class TContentDigests {
 public:
  TContentDigests() { DigestInit(FMd5); }
  void Update(const char* data, int32_t count) {
    DigestUpdate(FMd5, data, static_cast<uint32_t>(count));
    FSha256.Update(data, static_cast<size_t>(count));
  }
  void Finish(TCompressed& result) {
    result.Digest = Hex(FMd5);
    result.Sha256 = FSha256.FinalHex();
  }

 private:
  TDigestContext FMd5;
  TSha256 FSha256;
};

// The file's chunks compressed on every core and their blocks joined behind one header and one
// end marker, so that the result is one ordinary stream.
void CompressBlocks(TStream& input, TStream& output, TContentDigests& digests,
                    TCompressed& result) {
  bzblocks::TBitWriter writer;
  writer.Put(0x425A68, 24);  // "BZh"
  writer.Put('0' + kBlockSize100k, 8);
  uint32_t combined = 0;
  auto flush = [&] {
    const std::string bytes = writer.TakeBytes();
    output.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    result.CompressedSize += bytes.size();
  };
  auto join = [&](const TBlockBits& block) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.Stream.data());
    writer.Append(bytes, block.Stream.size(), block.Span.Begin, block.Span.End - block.Span.Begin);
    combined = bzblocks::CombineCrc(combined, block.Span.Crc);
    flush();
  };

  const size_t ahead = std::max(1u, std::thread::hardware_concurrency()) + 1;
  std::deque<std::future<TBlockBits>> running;
  std::string pending;  // read, not yet handed to a chunk
  bool inputEnded = false;
  std::vector<char> piece(kChunk);
  auto readMore = [&] {
    const int32_t done = input.Read(piece.data(), kChunk);
    digests.Update(piece.data(), done);
    result.Size += static_cast<uint64_t>(done);
    pending.append(piece.data(), static_cast<size_t>(done));
    inputEnded = done == 0;
  };
  auto fitting = [&] {
    return bzblocks::RunLengthPrefix(reinterpret_cast<const uint8_t*>(pending.data()),
                                     std::min(pending.size(), kLongestChunk), kBlockCapacity);
  };
  for (;;) {
    size_t take = fitting();
    // Input is read as far as a full block needs it.
    while (take == pending.size() && !inputEnded && pending.size() < kLongestChunk) {
      readMore();
      take = fitting();
    }
    if (take == 0) break;
    running.push_back(std::async(std::launch::async, CompressBlock, pending.substr(0, take)));
    pending.erase(0, take);
    if (running.size() >= ahead) {
      join(running.front().get());
      running.pop_front();
    }
  }
  for (; !running.empty(); running.pop_front()) join(running.front().get());
  writer.Put(bzblocks::kEndMagic, bzblocks::kMagicBits);
  writer.Put(combined, 32);
  writer.Pad();
  flush();
}

}  // namespace

TCompressed CompressFile(const std::string& source, TStream& output) {
  TFileStream input(source, fmOpenRead | fmShareDenyWrite);
  TContentDigests digests;
  TCompressed result;
  if (input.Size() >= kParallelFrom) {
    CompressBlocks(input, output, digests, result);
    digests.Finish(result);
    return result;
  }
  TEncoder encoder;
  auto write = [&](const char* data, size_t count) {
    output.WriteBuffer(data, static_cast<int32_t>(count));
    result.CompressedSize += count;
  };
  std::vector<char> chunk(kChunk);
  for (;;) {
    const int32_t done = input.Read(chunk.data(), kChunk);
    digests.Update(chunk.data(), done);
    result.Size += static_cast<uint64_t>(done);
    encoder.Step(chunk.data(), done, done == 0, write);
    if (done == 0) break;
  }
  digests.Finish(result);
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

TCompressed DecodedCopyDigest(const std::string& copyFile, TCopyFormat format, int64_t maxContent) {
  TFileStream source(copyFile, fmOpenRead | fmShareDenyWrite);
  const std::unique_ptr<TCopyDecoder> decoder =
      CopyFormatTraits(format).Decoder(source, maxContent, INT64_MAX, 1);
  TContentDigests digests;
  TCompressed result;
  std::vector<char> block(kChunk);
  for (int32_t done; (done = decoder->Read(block.data(), kChunk)) > 0;) {
    digests.Update(block.data(), done);
    result.Size += static_cast<uint64_t>(done);
  }
  digests.Finish(result);
  return result;
}

TCompressed DecodedDigest(const std::string& compressedFile) {
  TContentDigests digests;
  TCompressed result;
  Decode(compressedFile, [&](const char* data, size_t count) {
    digests.Update(data, static_cast<int32_t>(count));
    result.Size += count;
  });
  digests.Finish(result);
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
