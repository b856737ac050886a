#include "tests/support/Bz2Compress.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <random>

namespace korvath::test {

std::string Bz2Compress(const std::string& data, int blockSize100k) {
  // libbz2's documented worst case: 1% larger plus 600 bytes.
  std::string out(data.size() + data.size() / 100 + 601, '\0');
  auto outLen = static_cast<unsigned int>(out.size());
  std::string in = data;  // the compressor takes a non-const source
  const int status = BZ2_bzBuffToBuffCompress(
      out.data(), &outLen, in.data(), static_cast<unsigned int>(in.size()), blockSize100k, 0, 0);
  if (status != BZ_OK) ADD_FAILURE() << "BZ2_bzBuffToBuffCompress failed with " << status;
  out.resize(status == BZ_OK ? outLen : 0);
  return out;
}

std::string NoiseBytes(size_t count, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
  return bytes;
}

}  // namespace korvath::test
