// The compressed copies of a release's files, made on every core: a bzip2 copy of each file and,
// where clients would fetch it, a zstd copy beside it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/publish/Codec.h"
#include "tools/publish/ReleaseScan.h"
#include "tools/publish/Staging.h"

namespace korvath::publish {

struct TCopyJob {
  const TReleaseFile* File = nullptr;
  std::string Target;      // where the bzip2 copy goes
  std::string ZstdTarget;  // where the zstd copy goes; empty: none is made
  uint64_t SourceSize = 0;
  TCompressed Result;     // of the bzip2 copy
  uint64_t ZstdSize = 0;  // 0: no zstd copy goes out
};

// Stages every job's copies in Staging on Workers threads, the largest files first. A zstd copy
// larger than the bzip2 copy by more than clients accept is discarded again (ZstdSize stays 0).
// Raises EPublishError for a copy the list cannot name and for a file that changed between
// its two copies.
void MakeCopies(std::vector<TCopyJob>& jobs, TStaging& staging, unsigned workers, std::FILE* out);

}  // namespace korvath::publish
