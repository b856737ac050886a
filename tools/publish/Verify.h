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
  size_t Patches = 0;                // listed
  size_t PatchesApplied = 0;         // of them, applied to a base found in BaseDirs
  std::vector<std::string> Mirrors;  // the list's mirror bases, as listed
};

// Reads OutDir's list and checks its settings and entries, and that every listed file's
// compressed copy is there, has the listed size, decodes as exactly one bzip2 stream and gives
// the listed digest, and likewise its zstd copy (one zstd frame) where the entry names one. Files
// are checked in parallel on Jobs threads (0: one per core). With a public key (64 hex digits, as
// built into the clients) the list's signature must be there and be by that key. Every listed patch
// must belong to a file entry with the integrity field, be there with its listed size and digest,
// and, when one of BaseDirs holds its base (by digest), rebuild the listed file from it. The server
// keeps no bases, so without them a patch is checked as far as its own bytes go.
TVerifyReport VerifyPublished(const std::string& outDir, unsigned jobs,
                              const std::string& publicKeyHex = "",
                              const std::vector<std::string>& baseDirs = {});

}  // namespace korvath::publish
