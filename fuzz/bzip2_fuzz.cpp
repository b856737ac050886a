// The bzip2 stream over memory against libbz2's own one-call decoder, on any bytes: the same
// content for every complete stream, an error for everything that is not one, and the same
// content again after a restart.
#include <bzlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "runtime/Classes.h"
#include "transfer/BZip2.h"

namespace {

// Output beyond this is not compared: a tiny input may stand for gigabytes of zeros.
constexpr unsigned kOutputCap = 1 << 20;

struct TDecoded {
  std::string Bytes;
  bool Raised = false;  // ended with an error rather than at the end of the data
};

// Reads in pieces of varying size until the end, an error, or more than the cap.
TDecoded ReadAll(korvath::TBZDecompressionStream& stream, uint32_t pieceSeed) {
  TDecoded result;
  static std::vector<char> piece(70000);
  try {
    korvath::fuzz::ReadInPieces(stream, pieceSeed, kOutputCap, piece, result.Bytes);
  } catch (const korvath::EBZip2Error&) {
    result.Raised = true;
  } catch (const korvath::EOutOfMemory&) {
    result.Raised = true;
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  static std::vector<char> expected(kOutputCap);
  unsigned expectedSize = kOutputCap;
  const int status =
      BZ2_bzBuffToBuffDecompress(expected.data(), &expectedSize, const_cast<char*>(input.data()),
                                 static_cast<unsigned>(input.size()), 0, 0);

  korvath::TMemoryStream source(input);
  korvath::TBZDecompressionStream stream(source);
  const TDecoded first = ReadAll(stream, static_cast<uint32_t>(size));

  if (status == BZ_OK) {
    // One complete stream: all of its content is handed over before anything that follows it
    // (another stream, any bytes) makes the stream fail.
    FUZZ_CHECK(first.Bytes == std::string(expected.data(), expectedSize));
  } else if (status == BZ_OUTBUFF_FULL) {
    FUZZ_CHECK(first.Bytes.size() >= kOutputCap || first.Raised);
    const size_t common = std::min<size_t>(first.Bytes.size(), kOutputCap);
    FUZZ_CHECK(std::memcmp(first.Bytes.data(), expected.data(), common) == 0);
  } else {
    // Not bzip2, damaged, or broken off before the stream's end: never taken for a whole file.
    FUZZ_CHECK(first.Raised);
  }

  // A seek to 0 starts again from the source's beginning and decodes the same bytes.
  try {
    FUZZ_CHECK(stream.Seek(int64_t{0}, korvath::TSeekOrigin::soBeginning) == 0);
  } catch (const korvath::EBZip2Error&) {
    return 0;
  }
  const TDecoded again = ReadAll(stream, static_cast<uint32_t>(size) * 7u);
  // What a read that fails had decoded is not handed over, so after an error the two agree only
  // as far as both got.
  const size_t common = std::min(first.Bytes.size(), again.Bytes.size());
  FUZZ_CHECK(first.Bytes.compare(0, common, again.Bytes, 0, common) == 0);
  if (first.Bytes.size() <= kOutputCap && again.Bytes.size() <= kOutputCap) {
    FUZZ_CHECK(first.Raised == again.Raised);
    if (!first.Raised) FUZZ_CHECK(first.Bytes == again.Bytes);
  }
  return 0;
}
