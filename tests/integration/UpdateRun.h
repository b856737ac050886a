// Whole update runs of a worker in a fresh game folder against a loopback update server, with
// the run's statuses and failures recorded.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "runtime/SettingsStore.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {

using test::RecordingLog;

class TestRun : public GFilesThread {
 public:
  using GFilesThread::GFilesThread;
};

class UpdateRun : public SettingsFixture {
 protected:
  struct Outcome {
    std::string Status;  // the final status line
    std::vector<std::string> Calls;
    std::vector<std::string> FailedFiles;
    std::vector<std::string> RunFailures;
    std::vector<std::string> Patches;  // patches that gave way, with their reasons
    std::vector<std::string> Notices;
  };

  Outcome Run(bool fullCheck = false, int revision = -1, int backup = 0) {
    test::RecordingView view;
    RecordingLog log;
    TestRun worker(view, TDirectSynchronizer::Instance(), &log);
    worker.FServer = FServer.BaseUrl();
    worker.FFullCheck = fullCheck;
    worker.FCreateBackup = backup;
    worker.FRevision = revision >= 0
                           ? revision
                           : OpenSettingsStore()->ReadInteger(kSettingsSection, kAtRevision, 0);
    worker.Resume();
    worker.WaitFor();
    Outcome outcome{"", view.Calls, log.Files, log.Runs, log.Patches, log.Notices};
    const auto statuses = view.Only("status:");
    if (!statuses.empty()) outcome.Status = statuses.back().substr(7);
    EXPECT_EQ(view.Calls.back(), "enable") << "the buttons must always come back";
    EXPECT_FALSE(test::Exists(Game("files.lst")));
    EXPECT_FALSE(test::Exists(Game("files.lst.bz2")));
    return outcome;
  }

  std::string Game(const std::string& relative) const { return FGame / relative; }
  // The game folder's files, without the settings store the fixture keeps in it.
  std::map<std::string, std::string> GameFiles() {
    auto files = test::FolderContents(FGame.Path());
    for (auto it = files.begin(); it != files.end();)
      it = it->first.rfind("config/", 0) == 0 ? files.erase(it) : std::next(it);
    return files;
  }

  test::TestServer FServer;
};

}  // namespace korvath
