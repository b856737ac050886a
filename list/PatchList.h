// The list's [patches] section: for a file whose old content players may still have, a patch
// that rebuilds the new content from it, far smaller than the whole compressed copy. One line
// per (file, old content): "path|base md5|patch md5|patch size", fields counted from the end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "transfer/Misc.h"

namespace korvath {

inline constexpr const char* kPatchesSection = "patches";

struct TPatchEntry {
  std::string BaseMd5;   // of the file as the player has it, 32 lower-case hex digits
  std::string PatchMd5;  // of the patch's bytes, likewise
  int64_t PatchSize = 0;
};

class TPatchList {
 public:
  TPatchList() = default;
  // Reads the section's lines as TListFile::GetSection gives them. A line that does not parse
  // (too few fields, digests that are not 32 hex digits, a size that is no positive number
  // within the body limit) is ignored like any other data this client does not know, and so is
  // the "FAIL" of a missing section; of two lines for the same file and base the first counts.
  explicit TPatchList(const TStringList& lines);

  // The patch from the file's current content to the listed one; null when there is none.
  // Path is spelled as in the file entries (letter case and separators as ListKey folds them).
  const TPatchEntry* Find(const std::string& path, const std::string& currentMd5) const;
  bool Empty() const { return FPatches.empty(); }

 private:
  std::map<std::pair<std::string, std::string>, TPatchEntry> FPatches;  // (ListKey, base md5)
};

// Where the patch is published: beside the file's own address, "<path>.<base md5>.patch", with
// "/" between folders, stored as it is (not compressed). Base ends with "/".
std::string PatchAddress(const std::string& base, const std::string& path,
                         const std::string& baseMd5);

}  // namespace korvath
