// The update list as the publisher writes it, and the published list read back (for the checks
// of the next publish and of verify).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "transfer/Misc.h"

namespace korvath::publish {

struct TListEntry {
  std::string Path;    // "\" between folders
  std::string Digest;  // 32 lower-case hex digits
  uint64_t CompressedSize = 0;
  std::string Integrity;  // written in front of the path when not empty
  std::string Copies;     // further copies' fields ("zst=<bytes>"), in front of the integrity
};

// A patch from an earlier version of a file (the base, by its MD5) to the listed one; it lies
// beside the file's compressed copy (PatchPath).
struct TPatchEntry {
  std::string Path;  // as the file's entry spells it
  std::string BaseDigest;
  std::string PatchDigest;
  uint64_t PatchSize = 0;
};

struct TListContent {
  int32_t Rev = 0;
  std::vector<std::pair<std::string, std::string>> Hosts;  // address, host name
  std::optional<TListEntry> Self;
  std::vector<TListEntry> Critical;
  std::vector<TListEntry> Normal;
  std::vector<TPatchEntry> Patches;
  std::vector<std::string> Mirrors;  // base addresses ending in "/"
};

// The list text: sections "settings" (Rev, and ModHosts 1 exactly when there are hosts
// entries), "hosts", "self", "files_critical" and "files_normal", then "patches" and "mirrors"
// when there are
// any, lines ended by CR LF.
std::string ListText(const TListContent& content);

// A published list's sections as the client's reader returns them ("FAIL" for a missing or
// empty one) and its settings as text.
struct TPublishedList {
  std::string Rev;
  std::string ModHosts;
  TStringList Hosts;
  TStringList Self;
  TStringList Critical;
  TStringList Normal;
  TStringList Patches;
  TStringList Mirrors;
};

// Reads a files.lst.bz2. Raises when it does not decode or cannot be read.
TPublishedList ReadPublishedList(const std::string& compressedList);

}  // namespace korvath::publish
