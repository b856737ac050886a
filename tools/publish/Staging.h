// The files a publish writes, staged under ".part" names beside where they go, so that a publish
// that fails part-way leaves nothing half written under a name clients fetch.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/TempFile.h"
#include "tools/publish/Problems.h"

namespace korvath::publish {

// Files written under their ".part" names; removed again unless they were put in place.
class TStaging {
 public:
  // The temporary for Target; it is removed when the staging goes unless committed.
  platform::TempFile& Stage(const std::string& target) {
    std::lock_guard lock(FMutex);
    FTargets.push_back(target);
    FFiles.push_back(std::make_unique<platform::TempFile>(target + ".part"));
    return *FFiles.back();
  }

  // Removes Target's temporary now: it will not be put in place.
  void Discard(const std::string& target) {
    std::lock_guard lock(FMutex);
    for (size_t i = 0; i < FTargets.size(); ++i)
      if (FTargets[i] == target) {
        FTargets.erase(FTargets.begin() + static_cast<std::ptrdiff_t>(i));
        FFiles.erase(FFiles.begin() + static_cast<std::ptrdiff_t>(i));
        return;
      }
  }

  // Puts every staged file in place, in the order staged. A folder in the way is found before
  // anything is renamed.
  void Commit() {
    for (const std::string& target : FTargets)
      if (std::filesystem::is_directory(target))
        throw EPublishError(target + ": a folder stands where the compressed copy goes");
    for (size_t i = 0; i < FFiles.size(); ++i)
      if (const int error = FFiles[i]->Keep(FTargets[i]))
        throw EPublishError(FTargets[i] + ": it cannot be put in place (" +
                            platform::SysErrorMessage(error) + ")");
  }

 private:
  std::mutex FMutex;
  std::vector<std::string> FTargets;
  std::vector<std::unique_ptr<platform::TempFile>> FFiles;
};

}  // namespace korvath::publish
