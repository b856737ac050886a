// bzip2 data made at run time with libbz2's own compressor, for tests that need compressed input.
#pragma once

#include <cstdint>
#include <string>

namespace korvath::test {

// One complete bzip2 stream holding data; blockSize100k 1..9 as libbz2 takes it.
std::string Bz2Compress(const std::string& data, int blockSize100k = 9);

// Bytes that do not compress, the same for every seed: enough of them make a compressed stream
// larger than the decoder's 65,536-byte input block.
std::string NoiseBytes(size_t count, uint32_t seed = 1);

}  // namespace korvath::test
