// korvath-publish verify: checks a published folder the way clients will use it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace korvath::publish {

struct TVerifyReport {
  std::vector<std::string> Problems;  // empty when every client would be served well
  size_t Files = 0;                   // file entries checked, the self entry included
  std::string Rev;
  std::vector<std::string> Mirrors;  // the list's mirror bases, as listed
};

// Reads OutDir's list and checks its settings and entries, and that every listed file's
// compressed copy is there, has the listed size, decodes as exactly one bzip2 stream and gives
// the listed digest. Files are checked in parallel on Jobs threads (0: one per core). With a
// public key (64 hex digits, as built into the clients) the list's signature must be there and
// be by that key.
TVerifyReport VerifyPublished(const std::string& outDir, unsigned jobs,
                              const std::string& publicKeyHex = "");

}  // namespace korvath::publish
