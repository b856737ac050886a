// korvath-publish build: a release folder becomes what the update server publishes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvath::publish {

struct TBuildOptions {
  std::string ReleaseDir;
  std::string OutDir;
  int32_t Rev = 0;
  std::vector<std::string> CriticalPatterns;
  std::string SelfName;                 // empty: no self entry
  std::vector<std::string> HostsPairs;  // "ADDRESS=HOSTNAME"
  unsigned Jobs = 0;                    // 0: one per core
  std::string SignKeyFile;              // empty: the list goes out unsigned
  std::vector<std::string> BaseDirs;    // earlier releases that patches are made from
  std::vector<std::string> Mirrors;     // base addresses, in the order clients try them
  bool Zstd = true;                     // a zstd copy beside each file's bzip2 copy, where it pays
};

// Writes every file's compressed copies into OutDir (with Zstd, a zstd copy beside the bzip2
// copy of every file but the self entry, where clients would prefer it) and then, last, the list,
// so that a publish that fails part-way leaves the list that was there (or none) naming only files
// in place. With BaseDirs, patches from the files' versions in them go in with the copies.
// Compressed copies and patches that only the previous list named are removed afterwards. Raises
// EPublishError for what it refuses, other errors for what failed; prints a summary and any
// warnings to Out.
void BuildRelease(const TBuildOptions& options, std::FILE* out);

}  // namespace korvath::publish
