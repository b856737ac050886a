// What a release folder holds, as the update list will name it: every file under its list path,
// checked as the client checks list paths, and sorted into critical and normal files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "list/CopyFormats.h"

namespace korvath::publish {

struct TReleaseFile {
  std::string ListPath;    // relative, with "\" between folders, as the list writes it
  std::string SourcePath;  // the file in the release folder
  bool Critical = false;
};

struct TRelease {
  std::vector<TReleaseFile> Files;   // the game files, in list order (by list path)
  std::optional<TReleaseFile> Self;  // the updater's own executable, when one was named
};

// Walks ReleaseDir. Files whose path (with "/") matches one of CriticalPatterns are critical;
// SelfName, when not empty, names the updater at the top of the release, which the list carries
// in its "self" section instead of among the game files. Raises EPublishError naming every
// path, pattern and name the client would refuse or mishandle.
TRelease ScanRelease(const std::string& releaseDir,
                     const std::vector<std::string>& criticalPatterns, const std::string& selfName);

// The path of a list entry's copy in Format below a published folder: "\" turned into "/", the
// format's suffix appended.
std::string CompressedCopyPath(const std::string& outDir, const std::string& listPath,
                               TCopyFormat format = TCopyFormat::Bzip2);

// The path of a patch below a published folder: beside the compressed copy, named for the MD5
// of the version it is made from ("maps/big.dat.<md5>.patch"), stored as is.
std::string PatchPath(const std::string& outDir, const std::string& listPath,
                      const std::string& baseDigest);

}  // namespace korvath::publish
