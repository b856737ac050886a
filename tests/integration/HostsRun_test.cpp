// The hosts step inside whole update runs: before the file checks, only for "ModHosts" 1, and
// never in the way of the game files when it fails. The hosts file is always the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "runtime/SettingsStore.h"
#include "tests/support/Process.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kBefore = "127.0.0.1 localhost\r\n10.0.0.1 login.korvath.example\r\n";
const std::string kAfter =
    "127.0.0.1 localhost\r\n#10.0.0.1 login.korvath.example\r\n"
    "#-------- Added by Korvath --------\r\n1.2.3.4\tlogin.korvath.example\r\n"
    "#-----------------\r\n";

class HostsRun : public SettingsFixture {
 protected:
  HostsRun() { WriteFileBytes(FHosts, kBefore); }

  // A list with one critical file to install and the given "hosts" section text.
  void Publish(int modHosts, const std::string& hostsSection) {
    FServer.PublishList(
        test::ListText(4, modHosts, {FServer.PublishFile("game.dat", "game")}, {}, hostsSection));
  }
  static std::string Section(const std::vector<std::string>& entries) {
    std::string text = "[hosts]\r\n";
    for (const auto& e : entries) text += e + "\r\n";
    return text + "[/hosts]\r\n";
  }
  test::RunOutcome Run() { return test::RunUpdate(FServer.BaseUrl()); }

  test::TestServer FServer;
  test::TempDir FEtc;
  std::string FHosts = FEtc / "hosts";
  test::ScopedEnv FHostsEnv{"KORVATH_HOSTS_FILE", FHosts};
};

TEST_F(HostsRun, HostsAreChangedBeforeTheFilesAreChecked) {
  Publish(1, Section({"1.2.3.4|login.korvath.example"}));
  const test::RunOutcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(ReadFileBytes(FHosts), kAfter);
  const std::vector<std::string> statuses = test::Only(run.Calls, "status:");
  const std::vector<std::string> start(statuses.begin(), statuses.begin() + 5);
  const std::vector<std::string> expected{"status:Downloading updates list",
                                          "status:", "status:Applying changes to Hosts",
                                          "status:Hosts file chamged", "status:Checking files"};
  EXPECT_EQ(start, expected);
  EXPECT_EQ(test::Only(run.Calls, "rev:"), std::vector<std::string>{"rev:4"});

  // The next run finds every mapping in place and leaves the file alone.
  const test::RunOutcome again = Run();
  EXPECT_EQ(ReadFileBytes(FHosts), kAfter);
  for (const auto& call : again.Calls) EXPECT_EQ(call.find("Hosts"), std::string::npos) << call;
}

TEST_F(HostsRun, OnlyModHostsOneTouchesTheFile) {
  for (int modHosts : {0, 2}) {
    SCOPED_TRACE(modHosts);
    Publish(modHosts, Section({"1.2.3.4|login.korvath.example"}));
    const test::RunOutcome run = Run();
    EXPECT_EQ(run.Status, kAllUpdated);
    EXPECT_EQ(ReadFileBytes(FHosts), kBefore);
    fs::remove(FGame / "game.dat");
  }
}

// Whatever makes the hosts step fail, the game files are still updated and their revision
// stored, the run ends as a failed one, and the hosts file is as it was.
TEST_F(HostsRun, FailedHostsStepDoesNotStopTheUpdate) {
  const struct {
    const char* what;
    std::string section;
    bool readOnly;
    const char* reason;
  } cases[] = {
      {"read-only hosts file", Section({"1.2.3.4|login.korvath.example"}), true,
       "cannot be changed"},
      {"no hosts section", "", false, "no \"hosts\" section"},
      {"bad host name", Section({"1.2.3.4|login.korvath.example", "1.2.3.4|a b"}), false,
       "refused"},
      {"short entry", Section({"login.korvath.example"}), false, "fewer than two fields"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(FGame / "game.dat");
    WriteFileBytes(FHosts, kBefore);
    if (c.readOnly)
      fs::permissions(FHosts,
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
    Publish(1, c.section);
    const test::RunOutcome run = Run();
    EXPECT_EQ(run.Status, kUpdateFailed);
    EXPECT_EQ(ReadFileBytes(FGame / "game.dat"), "game");
    EXPECT_EQ(ReadFileBytes(FHosts), kBefore);
    EXPECT_EQ(test::FolderContents(FEtc.Path()).size(), 1u)
        << "nothing is left beside the hosts file";
    EXPECT_EQ(test::Only(run.Calls, "rev:"), std::vector<std::string>{"rev:4"});
    ASSERT_EQ(run.RunFailures.size(), 1u);
    EXPECT_NE(run.RunFailures[0].find(c.reason), std::string::npos) << run.RunFailures[0];
    // "Update Failed" shows at once, and the file checks follow it.
    const std::vector<std::string> statuses = test::Only(run.Calls, "status:");
    const auto failed = std::find(statuses.begin(), statuses.end(), "status:Update Failed");
    ASSERT_NE(failed, statuses.end());
    ASSERT_NE(failed + 1, statuses.end());
    EXPECT_EQ(*(failed + 1), "status:Checking files");
    fs::permissions(FHosts, fs::perms::owner_write, fs::perm_options::add);
  }
}

TEST_F(HostsRun, ConsoleExitsWithOneAndSaysWhyWhenTheHostsStepFails) {
  test::ScopedEnv server("KORVATH_UPDATE_SERVER", FServer.BaseUrl());
  fs::permissions(FHosts, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Publish(1, Section({"1.2.3.4|login.korvath.example"}));
  const test::ProcessResult run =
      test::RunProcess(test::NativeProgramPath(KORVATH_UPDATE_EXE), "", FGame.Path());
  EXPECT_EQ(run.ExitCode, 1) << run.Err;
  EXPECT_NE(run.Err.find("korvath-update: The hosts file"), std::string::npos) << run.Err;
  EXPECT_NE(run.Out.find("Update Failed"), std::string::npos) << run.Out;
  EXPECT_EQ(ReadFileBytes(FGame / "game.dat"), "game");
  EXPECT_EQ(ReadFileBytes(FHosts), kBefore);
  // The files are in place, so their revision is stored: the next start checks no normal file.
  EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kAtRevision, 0), 4);
  FServer.PublishList(test::ListText(4, 1, {}, {FServer.PublishFile("normal.dat", "n")},
                                     Section({"1.2.3.4|login.korvath.example"})));
  EXPECT_EQ(
      test::RunProcess(test::NativeProgramPath(KORVATH_UPDATE_EXE), "", FGame.Path()).ExitCode, 1);
  EXPECT_FALSE(fs::exists(FGame / "normal.dat"));
}

}  // namespace
}  // namespace korvath
