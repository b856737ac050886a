// A file entry of the update list, "path|digest|size": its fields, its size as the client takes
// it, and the key under which the run compares listed paths.
#pragma once

#include <cstdint>
#include <string>

namespace korvath {

// The three fields of a file entry, counted from the end of the line.
struct TFileEntry {
  std::string Path;
  std::string Digest;
  std::string Size;
};
// A listed path as the run compares paths: letter case folded, "\\" between folder names.
std::string ListKey(const std::string& listPath);
// Raises EStringListError for an entry of fewer than three fields.
TFileEntry SplitFileEntry(const std::string& entry);
// The size field as the file gauge takes it: decimal digits only, 0 to 2^31-1. Raises
// EConvertError otherwise.
int32_t EntrySize(const std::string& sizeField);

}  // namespace korvath
