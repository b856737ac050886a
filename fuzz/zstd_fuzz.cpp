// The zstd copy decoder, as the client makes it, against libzstd's own streaming decoder on any
// bytes: the same content for one whole frame within the copy's bounds, and EZstdError, never
// anything else, for all that is not one (more frames, trailing bytes, a window or declared size
// too large, damage).
#define ZSTD_STATIC_LINKING_ONLY  // the frame header reader
#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "list/CopyFormats.h"
#include "runtime/Classes.h"
#include "transfer/Zstd.h"

namespace {

// The unpacked size the entry gives: a frame may declare no more. Frames that declare nothing
// are read to just past it, which is as far as the client reads any copy.
constexpr int64_t kMaxContent = 1 << 20;
constexpr size_t kOutputCap = kMaxContent;

struct TDecoded {
  std::string Bytes;
  bool Raised = false;  // ended with EZstdError rather than at the end of the frame
  int64_t Consumed = 0;
};

// Reads in pieces of varying size until the end, an error, or more than the cap. Any exception
// but EZstdError escapes and ends the run.
TDecoded ReadAll(korvath::TCopyDecoder& stream, uint32_t pieceSeed) {
  TDecoded result;
  static std::vector<char> piece(200000);
  try {
    korvath::fuzz::ReadInPieces(stream, pieceSeed, kOutputCap, piece, result.Bytes, [&] {
      FUZZ_CHECK(stream.Seek(int64_t{0}, korvath::TSeekOrigin::soCurrent) ==
                 static_cast<int64_t>(result.Bytes.size()));
    });
  } catch (const korvath::EZstdError&) {
    result.Raised = true;
  }
  result.Consumed = stream.SourcePosition();
  return result;
}

// The input is exactly one zstd frame (not a skippable one) and nothing else.
bool OneFrame(const std::string& input) {
  const unsigned char magic[4] = {0x28, 0xB5, 0x2F, 0xFD};
  if (input.size() < 4 || std::memcmp(input.data(), magic, 4) != 0) return false;
  const size_t frame = ZSTD_findFrameCompressedSize(input.data(), input.size());
  return ZSTD_isError(frame) == 0 && frame == input.size();
}

// What the frame's header asks for that a copy may not have: a larger window than the client
// keeps, or more content than the entry gives.
bool HeaderRefused(const std::string& input) {
  ZSTD_frameHeader header{};
  if (ZSTD_getFrameHeader(&header, input.data(), input.size()) != 0) return false;
  if (header.frameType != ZSTD_frame) return false;
  if (header.windowSize > (uint64_t{1} << korvath::kZstdWindowLogMax)) return true;
  return header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN &&
         header.frameContentSize > static_cast<unsigned long long>(kMaxContent);
}

struct TReference {
  std::string Bytes;
  bool Ended = false;  // the frame ended well, with at most the cap of content
};

// libzstd's own streaming decoder with the client's window bound, given the whole input at once
// and room for the cap and a byte more. Its one-call decoder is no yardstick: it takes blocks
// longer than a block may be, which the streaming decoder rightly refuses.
TReference Reference(const std::string& input) {
  static const std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(),
                                                                          ZSTD_freeDCtx);
  FUZZ_CHECK(context != nullptr);
  ZSTD_DCtx_reset(context.get(), ZSTD_reset_session_and_parameters);
  FUZZ_CHECK(ZSTD_isError(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax,
                                                 korvath::kZstdWindowLogMax)) == 0);
  static std::vector<char> out(kOutputCap + 1);
  ZSTD_inBuffer in{input.data(), input.size(), 0};
  ZSTD_outBuffer output{out.data(), out.size(), 0};
  size_t left = 1;
  while (left != 0 && output.pos < output.size) {
    const size_t before = in.pos + output.pos;
    left = ZSTD_decompressStream(context.get(), &output, &in);
    if (ZSTD_isError(left) != 0 || in.pos + output.pos == before) break;
  }
  TReference result;
  result.Bytes.assign(out.data(), output.pos);
  result.Ended = left == 0 && output.pos <= kOutputCap;
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  korvath::TMemoryStream source(input);
  const std::unique_ptr<korvath::TCopyDecoder> decoder =
      korvath::CopyFormatTraits(korvath::TCopyFormat::Zstd)
          .Decoder(source, kMaxContent, INT64_MAX, 1);
  const TDecoded got = ReadAll(*decoder, static_cast<uint32_t>(size));
  FUZZ_CHECK(got.Consumed >= 0 && got.Consumed <= static_cast<int64_t>(size));
  const bool capped = got.Bytes.size() > kOutputCap;

  if (HeaderRefused(input)) {
    // Refused on the header, before a byte of content or any memory for the window.
    FUZZ_CHECK(got.Raised && got.Bytes.empty());
    return 0;
  }
  if (!OneFrame(input)) {
    // Not zstd, cut off, or followed by anything: never taken for a whole copy.
    FUZZ_CHECK(got.Raised || capped);
    return 0;
  }

  const TReference expected = Reference(input);
  if (expected.Ended) {
    // The whole frame, all of its content, and the source read to its end and no further.
    FUZZ_CHECK(!got.Raised);
    FUZZ_CHECK(got.Bytes == expected.Bytes);
    FUZZ_CHECK(got.Consumed == static_cast<int64_t>(size));
  } else {
    // Damaged, or more content than the cap: never taken for a whole copy, and no content that
    // libzstd does not give.
    FUZZ_CHECK(got.Raised || capped);
    const size_t common = std::min(got.Bytes.size(), expected.Bytes.size());
    FUZZ_CHECK(got.Bytes.compare(0, common, expected.Bytes, 0, common) == 0);
  }
  return 0;
}
