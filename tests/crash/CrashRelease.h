// The two versions of a game folder the crash harness moves between: the old one planted before
// each run and the new one the server publishes, with files of every size, and the checks of
// what a stopped run may leave and what a finished run must leave.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/crash/ThrottledServer.h"

namespace korvath::crash {

struct ReleaseFile {
  std::string ListPath;            // "\" between folder names, as the list writes it
  std::optional<std::string> Old;  // absent: new to the folder
  std::string New;
  bool Critical = true;
};

class CrashRelease {
 public:
  // Small: every file at most 64 KiB + 1 (the short variant the tests run).
  explicit CrashRelease(bool small);

  void Publish(ThrottledServer& server) const;
  // Empties the game folder and plants the old version, and a file of the player's own.
  void PlantOld(const std::string& game) const;
  // After a stopped run: each file is byte for byte its old or its new version, and nothing
  // but the run's temporaries lies beside them. Returns what is wrong.
  std::vector<std::string> CheckConsistent(const std::string& game) const;
  // After a finished run: exactly the new version and the player's file, nothing else.
  std::vector<std::string> CheckConverged(const std::string& game) const;

  const std::vector<ReleaseFile>& Files() const { return FFiles; }
  int64_t PublishedBytes() const { return FPublishedBytes; }

 private:
  std::vector<ReleaseFile> FFiles;
  std::vector<std::string> FArchives;
  int64_t FPublishedBytes = 0;
};

}  // namespace korvath::crash
