// korvath-publish build --base: patches from the versions of a file that players have from
// earlier releases to the version being published, kept where they save most of a download.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/MappedFile.h"
#include "platform/TempFile.h"
#include "tools/publish/ListText.h"

namespace korvath::publish {

// A file being published, as its patches need it.
struct TPatchTarget {
  std::string ListPath;
  std::string SourcePath;
  std::string Digest;  // MD5 of the content
  uint64_t CompressedSize = 0;
};

struct TPatchesMade {
  std::vector<TPatchEntry> Entries;  // in the targets' order, then the bases'
  size_t Dropped = 0;                // made, but not small enough to be worth fetching
  uint64_t Bytes = 0;                // of the kept patches
};

// For every target whose path is in one of BaseDirs with other content, a patch from that
// version, made once however many bases hold it, on Workers threads with a progress line on
// Out. Stage gives the temporary file a patch is written to (put in place with the copies).
TPatchesMade MakePatches(const std::vector<std::string>& baseDirs,
                         const std::vector<TPatchTarget>& targets, const std::string& outDir,
                         const std::function<platform::TempFile&(const std::string&)>& stage,
                         unsigned workers, std::FILE* out);

// A whole file mapped for reading, as patches are made and applied from it. Raises Exception
// when it cannot be mapped; an empty file is empty.
class TWholeFile {
 public:
  explicit TWholeFile(const std::string& path);
  std::span<const char> Bytes() const;
  // False once the file is shorter than when it was mapped (see MappedFile::Intact).
  bool Intact() const { return FFile.Intact(); }

 private:
  platform::MappedFile FFile;
};

// The MD5 of bytes in memory, as the list writes it.
std::string DigestOfBytes(std::span<const char> bytes);

}  // namespace korvath::publish
