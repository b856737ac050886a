// One whole update run on the test's thread, in the current folder, with everything it
// reported: for tests of the stages of a run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"

namespace korvath::test {

// Writes down the failures a run reports, as the console would print them.
class RecordingLog : public IRunLog {
 public:
  std::vector<std::string> Files;  // "path: reason"
  std::vector<std::string> Runs;
  std::vector<std::string> Patches;  // "path: reason" of patches that gave way
  std::vector<std::string> Notices;
  std::vector<std::string> Copies;  // "path: format: reason" of copies that gave way
  void FileFailed(const std::string& path, const std::string& reason) override {
    Files.push_back(path + ": " + reason);
  }
  void RunFailed(const std::string& message) override { Runs.push_back(message); }
  void PatchGaveWay(const std::string& path, const std::string& reason) override {
    Patches.push_back(path + ": " + reason);
  }
  void Notice(const std::string& message) override { Notices.push_back(message); }
  void CopyGaveWay(const std::string& path, const std::string& format,
                   const std::string& reason) override {
    Copies.push_back(path + ": " + format + ": " + reason);
  }
};

struct RunOutcome {
  std::string Status;              // the final status line
  std::vector<std::string> Calls;  // as RecordingView writes them
  std::vector<std::string> FailedFiles;
  std::vector<std::string> RunFailures;
  std::vector<std::string> Notices;
  std::vector<std::string> Patches;  // "path: reason" of patches that gave way
  std::vector<std::string> Copies;   // "path: format: reason" of copies that gave way
};

// Runs against Server with revision 0, no full check and no backups, unless Configure changes
// the worker before it starts.
RunOutcome RunUpdate(const std::string& server,
                     const std::function<void(GFilesThread&)>& configure = nullptr);

}  // namespace korvath::test
