// zstd frames made at run time with libzstd's own compressor, for tests of the zstd copies.
#pragma once

#include <string>

namespace korvath::test {

struct ZstdFrameOptions {
  int Level = 3;
  int WindowLog = 0;        // 0: the level's own
  bool ContentSize = true;  // the frame header declares the content's size
};

// One zstd frame holding Data.
std::string ZstdCompress(const std::string& data, const ZstdFrameOptions& options = {});

}  // namespace korvath::test
