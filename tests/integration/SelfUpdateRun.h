// Update runs whose list has a "self" entry: the updater itself among the files of a game folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {

class SelfUpdateRun : public SettingsFixture {
 protected:
  // A list with one critical file to install and the given "self" entry.
  void Publish(const std::string& selfEntry) {
    FServer.PublishList(test::ListText(3, 0, {FServer.PublishFile("game.dat", "game")}, {},
                                       "[self]\r\n" + selfEntry + "\r\n[/self]\r\n"));
  }
  test::RunOutcome Run(bool scripted = false) {
    return test::RunUpdate(FServer.BaseUrl(),
                           [&](GFilesThread& w) { w.FScriptedSelfUpdate = scripted; });
  }
  std::string Game(const std::string& relative) const { return FGame / relative; }
  // The game folder's files, without the settings store the fixture keeps in it.
  std::map<std::string, std::string> GameFiles() {
    auto files = test::FolderContents(FGame.Path());
    std::erase_if(files, [](const auto& f) { return f.first.rfind("config/", 0) == 0; });
    return files;
  }
  // The step failed at once: "Update Failed" came before the file checks and the run ended
  // failed, but with the game file in place and so its revision stored.
  void ExpectFailedStep(const test::RunOutcome& run, const std::string& reason) {
    const std::vector<std::string> statuses = test::Only(run.Calls, "status:");
    const auto failed = std::find(statuses.begin(), statuses.end(), "status:Update Failed");
    ASSERT_NE(failed, statuses.end());
    ASSERT_NE(failed + 1, statuses.end());
    EXPECT_EQ(*(failed + 1), "status:Checking files");
    EXPECT_EQ(run.Status, kUpdateFailed);
    EXPECT_EQ(test::Only(run.Calls, "rev:"), std::vector<std::string>{"rev:3"});
    EXPECT_EQ(test::ReadFileBytes(Game("game.dat")), "game");
    ASSERT_EQ(run.RunFailures.size(), 1u);
    EXPECT_NE(run.RunFailures[0].find(reason), std::string::npos) << run.RunFailures[0];
  }

  test::TestServer FServer;
};

}  // namespace korvath
