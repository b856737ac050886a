// The decoder that cuts a stream into blocks for the cores against the sequential one, on any
// bytes: the same content for a complete stream, the same error text for anything else, and
// never content that the sequential decoder does not give.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "runtime/Classes.h"
#include "transfer/BZip2.h"
#include "transfer/BZip2Parallel.h"

namespace {

// Output beyond this is not compared: a tiny input may stand for gigabytes of zeros.
constexpr size_t kOutputCap = 4 << 20;

struct TDecoded {
  std::string Bytes;
  std::string Error;
};

TDecoded ReadAll(korvath::TStream& stream) {
  TDecoded result;
  static std::vector<char> piece(100000);
  try {
    while (result.Bytes.size() <= kOutputCap) {
      const int32_t got = stream.Read(piece.data(), static_cast<int32_t>(piece.size()));
      if (got == 0) break;
      result.Bytes.append(piece.data(), static_cast<size_t>(got));
    }
  } catch (const korvath::Exception& e) {
    result.Error = e.Message();
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  korvath::TMemoryStream sequentialSource(input);
  korvath::TBZDecompressionStream sequential(sequentialSource);
  const TDecoded expected = ReadAll(sequential);
  korvath::TMemoryStream source(input);
  korvath::TBZParallelDecompressionStream parallel(source, 0);
  const TDecoded got = ReadAll(parallel);

  const size_t common = std::min(expected.Bytes.size(), got.Bytes.size());
  FUZZ_CHECK(expected.Bytes.compare(0, common, got.Bytes, 0, common) == 0);
  if (expected.Bytes.size() <= kOutputCap && got.Bytes.size() <= kOutputCap) {
    FUZZ_CHECK(expected.Error == got.Error);
    if (expected.Error.empty()) FUZZ_CHECK(expected.Bytes == got.Bytes);
  }
  return 0;
}
