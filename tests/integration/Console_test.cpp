// korvath-update as a player or an admin runs it: a real process in a game folder, against a
// loopback update server.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/RunGuard.h"
#include "runtime/SettingsStore.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Process.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/System.h"

namespace korvath {
namespace {

class Console : public SettingsFixture {
 protected:
  Console() { test::SetEnv("KORVATH_UPDATE_SERVER", FServer.BaseUrl()); }
  test::ProcessResult Update(const std::string& arguments = "") {
    return test::RunProcess(test::NativeProgramPath(KORVATH_UPDATE_EXE), arguments, FGame.Path());
  }
  // What --show-settings prints for a folder that keeps no other values.
  static std::string Settings(int revision, int backup) {
    return "AtRevision=" + std::to_string(revision) + "\nCreateBackup=" + std::to_string(backup) +
           "\nBackupRevision=0\nListDigest=\nVerifiedRevision=0\n";
  }
  test::TestServer FServer;
};

TEST_F(Console, RunPrintsStatusLinesStoresRevisionAndShowsSettings) {
  FServer.PublishList(test::ListText(3, 0, {FServer.PublishFile("a.dat", "alpha")},
                                     {FServer.PublishFile("sub\\b.dat", "beta")}));
  const auto run = Update();
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "Downloading updates list\nChecking files\nChecking a.dat\nChecking files\nChecking "
            "sub\\b.dat\n"
            "Downloading a.dat\nExtracting a.dat\nDownloading sub\\b.dat\nExtracting sub\\b.dat\n"
            "All the files have been updated\n");
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(test::ReadFileBytes(FGame / "sub/b.dat"), "beta");
  EXPECT_EQ(Update("--show-settings").Out, Settings(3, 0));
  OpenSettingsStore()->WriteString(kSettingsSection, kListDigest, "3:ab\x1b");
  EXPECT_EQ(Update("--show-settings").Out,
            "AtRevision=3\nCreateBackup=0\nBackupRevision=0\n"
            "ListDigest=3:ab\\x1b\nVerifiedRevision=0\n");

  // Same revision again: only the critical files, nothing to do, empty final status.
  const auto again = Update();
  EXPECT_EQ(again.ExitCode, 0);
  EXPECT_EQ(again.Out, "Downloading updates list\nChecking files\nChecking a.dat\n");
}

TEST_F(Console, FullCheckAndBackupSettingReachTheRun) {
  FServer.PublishList(test::ListText(0, 0, {}, {FServer.PublishFile("n.dat", "new")}));
  test::WriteFileBytes(FGame / "n.dat", "old");
  EXPECT_EQ(Update().Out, "Downloading updates list\n");
  EXPECT_EQ(test::ReadFileBytes(FGame / "n.dat"), "old");
  EXPECT_EQ(Update("--set-backup 1").ExitCode, 0);
  EXPECT_EQ(Update("--show-settings").Out, Settings(0, 1));
  const auto full = Update("--full-check");
  EXPECT_EQ(full.ExitCode, 0) << full.Err;
  EXPECT_EQ(test::ReadFileBytes(FGame / "n.dat"), "new");
  EXPECT_EQ(test::ReadFileBytes(FGame / "backup/n.dat"), "old");
}

TEST_F(Console, FailuresGoToStandardErrorWithExitStatusOne) {
  FServer.PublishList(
      test::ListText(2, 0,
                     {FServer.PublishFile("good.dat", "g"), "bad.dat|" + test::Md5Hex("b") + "|9",
                      "..\\evil.dat|" + test::Md5Hex("e") + "|9"},
                     {}));
  FServer.Http().ServeBody("bad.dat.bz2", "<html>Not here</html>", 404, "text/html");
  const auto run = Update();
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Out.find("Update Failed\n"), std::string::npos);
  EXPECT_NE(run.Err.find("korvath-update: bad.dat: damaged archive"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("korvath-update: ..\\evil.dat: refused path"), std::string::npos)
      << run.Err;
  EXPECT_EQ(Update("--show-settings").Out, Settings(0, 0));

  FServer.PublishList("[settings]\r\nRev|soon\r\n[/settings]\r\n");
  const auto broken = Update();
  EXPECT_EQ(broken.ExitCode, 1);
  EXPECT_NE(broken.Err.find("\"Rev\""), std::string::npos) << broken.Err;
}

TEST_F(Console, UsageErrorsAndABusyFolderHaveTheirOwnExitStatus) {
  EXPECT_EQ(Update("--set-backup 2").ExitCode, 2);
  EXPECT_EQ(Update("--no-such-option").ExitCode, 2);
  platform::RunGuard guard;
  ASSERT_TRUE(platform::RunGuard::TryAcquire(FGame.Path(), guard));
  const auto busy = Update();
  EXPECT_EQ(busy.ExitCode, 3);
  EXPECT_NE(busy.Err.find("another update run is active"), std::string::npos) << busy.Err;
  EXPECT_TRUE(FServer.Http().Requests().empty());
}

}  // namespace
}  // namespace korvath
