// The hostile-server corpus: one update run per case against a server that misbehaves in one
// way, with the outcome the case must have written beside it. Every case also holds the
// promises that do not vary: the buttons come back, a run whose files failed stores no
// revision, the list and every temporary are gone, and nothing appears outside the game folder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "tests/support/Release.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace korvath::test {

// The game folder's files (relative names with "/") and their content.
using FolderFiles = std::map<std::string, std::string>;

// What a case sets up: the server and the game folder as the run will find them.
struct HostileScene {
  TestServer& Server;
  std::string Game;   // the game folder, ending in the separator
  std::string Hosts;  // the hosts file the run edits (outside the game folder)
  // Whatever the case changes in the worker before the run (backups, full check, revision).
  std::function<void(GFilesThread&)> Configure;
  // Checks of the case's own, made after the run while the server still stands.
  std::function<void()> AfterRun;
  // Each of these must be part of the reason some patch gave way for.
  std::vector<std::string> PatchReasons;
  // Each of these must be part of the reason some zstd copy gave way for.
  std::vector<std::string> CopyReasons;
  // A file of the game folder before the run; "/" in the name.
  void Plant(const std::string& name, const std::string& content) const;
};

struct HostileExpect {
  std::string Status;   // the final status line
  bool Stored = false;  // the list's revision reached the settings
  FolderFiles Files;    // the whole game folder afterwards
  // One of these must be part of a reported failure (of the run or of a file); none when
  // empty. Alternatives are for what the two HTTP clients may legitimately tell apart.
  std::vector<std::string> Reasons;
  // The hosts file afterwards; unchanged when not given.
  std::optional<std::string> HostsAfter;
};

struct HostileCase {
  std::string Name;
  std::function<void(HostileScene&)> Setup;
  HostileExpect Expect;
};

class HostileServer : public ::testing::Test {
 protected:
  HostileServer();
  // Runs every case in a fresh game folder against a fresh server and checks its outcome.
  void RunCases(const std::vector<HostileCase>& cases);
  void RunCase(const HostileCase& c);

  std::string HostsFile() const { return FHostsDir / "hosts"; }
  static const std::string kHostsBefore;

 private:
  TempDir FOuter;  // holds the game folder and nothing else, before and after every case
  TempDir FHostsDir;
  ScopedEnv FHostsEnv;
  // The settings store the runs keep (on POSIX), emptied before every case.
  TempDir FConfigDir;
  ScopedEnv FConfigEnv;
};

// Expected outcomes, named for what the player sees.
HostileExpect Failed(FolderFiles files, std::vector<std::string> reasons = {});
// The hosts step or the self-update failed, but every listed file is in place: the revision
// is stored all the same.
HostileExpect FailedStep(FolderFiles files, std::vector<std::string> reasons);
HostileExpect AllUpdated(FolderFiles files);
HostileExpect NothingToDo(FolderFiles files);

// One bzip2 stream of 200 MiB of zeros: a body of a few hundred bytes that unpacks to far more
// than anything the run takes. Made once per test program.
const std::string& ZeroBombArchive();

// A list of the usual shape around the given sections' text.
std::string ListWith(const std::string& settings, const std::string& critical,
                     const std::string& extra = "");

}  // namespace korvath::test
