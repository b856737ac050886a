// The names a release is published under below the update server's base (and every mirror's),
// in one place for the client and korvath-publish. A file's copies are named by its path with
// "/" and its format's suffix (list/CopyFormats.h); everything else is here.
#pragma once

#include <string>

#include "list/CopyFormats.h"
#include "transfer/Misc.h"
#include "transfer/Signature.h"

namespace korvath::published {

// The update list: always one bzip2 stream, which every client reads.
inline constexpr const char* kList = "files.lst.bz2";
// The list's signature, beside it.
inline const std::string kListSignature = std::string(kList) + kSignatureSuffix;

// The patch from the file whose MD5 is BaseMd5 to the listed file.
inline std::string PatchName(const std::string& listPath, const std::string& baseMd5) {
  return ReplaceAll(listPath, "\\", "/") + "." + baseMd5 + ".patch";
}

// The copy every entry has.
inline std::string BzipCopyName(const std::string& listPath) {
  return PublishedCopyName(listPath, TCopyFormat::Bzip2);
}

}  // namespace korvath::published
