// A file entry of the update list, "path|digest|size": its fields, its size as the client takes
// it, and the key under which the run compares listed paths. In front of the path an entry may
// carry "sha256=<64 hex digits>:<bytes>", the SHA-256 and unpacked size of the file; clients
// that count only the last three fields never see it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvath {

// The three fields of a file entry, counted from the end of the line.
struct TFileEntry {
  std::string Path;
  std::string Digest;
  std::string Size;
  // Every field in front of the path that starts with kIntegrityPrefix, joined by "|" (so two
  // of them never parse); empty when there is none.
  std::string Integrity;
  // Every field in front of the path, the nearest first.
  std::vector<std::string> Front;
};

inline constexpr const char* kIntegrityPrefix = "sha256=";

// What the integrity field promises about the unpacked file.
struct TIntegrity {
  bool Known = false;
  std::string Sha256;  // 64 lower-case hex digits
  int64_t Size = 0;
};
// A listed path as the run compares paths: letter case folded, "\\" between folder names.
std::string ListKey(const std::string& listPath);
// Raises EStringListError for an entry of fewer than three fields.
TFileEntry SplitFileEntry(const std::string& entry);
// The size field as the file gauge takes it: decimal digits only, 0 to 2^31-1. Raises
// EConvertError otherwise.
int32_t EntrySize(const std::string& sizeField);
// The field's SHA-256 and size; false for anything but "sha256=" + 64 hex digits + ":" + 1 to
// 18 decimal digits.
bool ParseIntegrity(const std::string& field, TIntegrity& integrity);
// The entry's integrity field, not Known when it has none. A field that does not parse raises
// EConvertError: it was meant to be checked, so the file is not taken unchecked.
TIntegrity EntryIntegrity(const TFileEntry& entry);
// The integrity field as korvath-publish writes it.
std::string IntegrityField(const std::string& sha256Hex, int64_t size);

}  // namespace korvath
