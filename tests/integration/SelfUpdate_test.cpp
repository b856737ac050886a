// The self-update inside whole update runs: the new updater is fetched only when it differs,
// checked before use, put in place by renaming everywhere but in the window, and handed over
// to Update.bat by the window (under Wine, with a stand-in program).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/File.h"
#include "platform/Shell.h"
#include "tests/support/Process.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;
using test::WriteFileBytes;

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
  // failed, without a revision, but with the game file in place.
  void ExpectFailedStep(const test::RunOutcome& run, const std::string& reason) {
    const std::vector<std::string> statuses = test::Only(run.Calls, "status:");
    const auto failed = std::find(statuses.begin(), statuses.end(), "status:Update Failed");
    ASSERT_NE(failed, statuses.end());
    ASSERT_NE(failed + 1, statuses.end());
    EXPECT_EQ(*(failed + 1), "status:Checking files");
    EXPECT_EQ(run.Status, kUpdateFailed);
    EXPECT_TRUE(test::Only(run.Calls, "rev:").empty());
    EXPECT_EQ(ReadFileBytes(Game("game.dat")), "game");
    ASSERT_EQ(run.RunFailures.size(), 1u);
    EXPECT_NE(run.RunFailures[0].find(reason), std::string::npos) << run.RunFailures[0];
  }

  test::TestServer FServer;
};

TEST_F(SelfUpdateRun, CurrentUpdaterIsNotFetched) {
  WriteFileBytes(Game("Korvath.exe"), "version 1");
  Publish("Korvath.exe|" + test::Md5Hex("version 1") + "|12345");
  const test::RunOutcome run = Run(true);
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(FServer.RequestsFor("Korvath.exe.bz2"), 0);
  const std::map<std::string, std::string> expected{{"Korvath.exe", "version 1"},
                                                    {"game.dat", "game"}};
  EXPECT_EQ(GameFiles(), expected);
}

TEST_F(SelfUpdateRun, NewVersionIsRenamedIntoPlaceOutsideTheWindow) {
  // The console never hands over; nor does a window whose own name is another one.
  for (bool scripted : {false, true}) {
    SCOPED_TRACE(scripted);
    WriteFileBytes(Game("Korvath.exe"), "version 1");
    std::filesystem::remove(Game("game.dat"));
    Publish(FServer.PublishFile("Korvath.exe", "version 2"));
    const test::RunOutcome run = Run(scripted);
    EXPECT_EQ(run.Status, kAllUpdated);
    EXPECT_TRUE(run.RunFailures.empty());
    const std::map<std::string, std::string> expected{{"Korvath.exe", "version 2"},
                                                      {"game.dat", "game"}};
    EXPECT_EQ(GameFiles(), expected) << "no .New, .bz2 or Update.bat is left";
  }
}

TEST_F(SelfUpdateRun, DownloadThatCannotBeOpenedIsQuiet) {
  WriteFileBytes(Game("Korvath.exe"), "version 1");
  FServer.Http().ServeNoAnswer("Korvath.exe.bz2");
  Publish("Korvath.exe|" + test::Md5Hex("version 2") + "|10");
  const test::RunOutcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(run.RunFailures.empty());
  EXPECT_EQ(ReadFileBytes(Game("Korvath.exe")), "version 1");
}

TEST_F(SelfUpdateRun, HostileNamesFailTheStepBeforeAnythingIsFetched) {
  const char* hostile[] = {"a&b.exe",   "x.exe & del", "..\\x.exe", "../x.exe", "a b.exe",
                           "\"q\".exe", "cmd",         "x.bat",     "con.exe",  "-x.exe",
                           ".exe",      "x%PATH%.exe", "x^.exe",    "x.exe>y"};
  for (const char* name : hostile) {
    SCOPED_TRACE(name);
    std::filesystem::remove(Game("game.dat"));
    Publish(std::string(name) + "|" + test::Md5Hex("new") + "|10");
    const test::RunOutcome run = Run(true);
    ExpectFailedStep(run, "not the bare name of a program");
    const std::map<std::string, std::string> only{{"game.dat", "game"}};
    EXPECT_EQ(GameFiles(), only);
  }
  for (const auto& request : FServer.Http().Requests())
    EXPECT_TRUE(request.Path == "files.lst.bz2" || request.Path == "game.dat.bz2") << request.Path;
}

TEST_F(SelfUpdateRun, NewVersionWithAnotherDigestIsDeleted) {
  const std::string entry = FServer.PublishFile("Korvath.exe", "version 2");
  std::string upper = entry;
  std::transform(upper.begin() + 12, upper.begin() + 44, upper.begin() + 12, [](char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  });
  const std::string listed[] = {"Korvath.exe|" + test::Md5Hex("version 3") + "|10", upper};
  for (const std::string& self : listed) {
    SCOPED_TRACE(self);
    WriteFileBytes(Game("Korvath.exe"), "version 1");
    std::filesystem::remove(Game("game.dat"));
    Publish(self);
    const test::RunOutcome run = Run();
    ExpectFailedStep(run, "digest mismatch");
    const std::map<std::string, std::string> expected{{"Korvath.exe", "version 1"},
                                                      {"game.dat", "game"}};
    EXPECT_EQ(GameFiles(), expected);
  }
}

TEST_F(SelfUpdateRun, ShortEntryOrBadSizeEndsTheRun) {
  for (const std::string& self :
       {"Korvath.exe|" + test::Md5Hex("x"), "Korvath.exe|" + test::Md5Hex("x") + "|12abc"}) {
    SCOPED_TRACE(self);
    Publish(self);
    const test::RunOutcome run = Run();
    EXPECT_EQ(run.Status, kUpdateFailed);
    EXPECT_EQ(run.RunFailures.size(), 1u);
    EXPECT_FALSE(Exists(Game("game.dat"))) << "nothing after the self-update runs";
    EXPECT_FALSE(Exists(Game("files.lst")));
    EXPECT_EQ(FServer.RequestsFor("Korvath.exe.bz2"), 0);
  }
}

TEST_F(SelfUpdateRun, ConsoleReplacesTheWindowProgram) {
  test::ScopedEnv server("KORVATH_UPDATE_SERVER", FServer.BaseUrl());
  WriteFileBytes(Game("Korvath.exe"), "version 1");
  Publish(FServer.PublishFile("Korvath.exe", "version 2"));
  const test::ProcessResult run =
      test::RunProcess(test::NativeProgramPath(KORVATH_UPDATE_EXE), "", FGame.Path());
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(ReadFileBytes(Game("Korvath.exe")), "version 2");
  EXPECT_FALSE(Exists(Game("Update.bat")));

  Publish("x.exe & del|" + test::Md5Hex("x") + "|10");
  const test::ProcessResult hostile =
      test::RunProcess(test::NativeProgramPath(KORVATH_UPDATE_EXE), "", FGame.Path());
  EXPECT_EQ(hostile.ExitCode, 1);
  EXPECT_NE(hostile.Err.find("korvath-update: The update list's self entry"), std::string::npos)
      << hostile.Err;
}

#ifdef _WIN32
TEST_F(SelfUpdateRun, ProgramInUseIsNotReplacedAndItsNewVersionIsRemoved) {
  WriteFileBytes(Game("Korvath.exe"), "version 1");
  Publish(FServer.PublishFile("Korvath.exe", "version 2"));
  platform::File running;  // held as Windows holds a running program's file
  ASSERT_EQ(platform::File::Open(Game("Korvath.exe"), platform::Access::Read, platform::Share::Read,
                                 platform::Disposition::OpenExisting, running),
            0);
  const test::RunOutcome run = Run();
  ExpectFailedStep(run, "cannot be replaced");
  running.Close();
  const std::map<std::string, std::string> expected{{"Korvath.exe", "version 1"},
                                                    {"game.dat", "game"}};
  EXPECT_EQ(GameFiles(), expected);
}

// The window's hand-over, for real: a stand-in program named probe.exe runs an update run that
// finds a new probe.exe, writes Update.bat and starts it; Wine's cmd then ends the program,
// puts the new version in place, starts it and deletes the script.
TEST_F(SelfUpdateRun, ScriptEndsTheWindowReplacesItAndStartsTheNewVersion) {
  const std::string oldProbe = ReadFileBytes(test::NativeProgramPath(KORVATH_PROBE_EXE));
  ASSERT_FALSE(oldProbe.empty());
  // Bytes after the image are ignored by the loader: the same program, another digest.
  const std::string newProbe = oldProbe + "\r\nthe new version of the probe\r\n";
  WriteFileBytes(Game("probe.exe"), oldProbe);
  WriteFileBytes(Game("probe.wait"), test::Md5Hex(oldProbe));
  FServer.PublishList(test::ListText(
      0, 0, {}, {}, "[self]\r\n" + FServer.PublishFile("probe.exe", newProbe) + "\r\n[/self]\r\n"));
  test::ScopedEnv server("KORVATH_UPDATE_SERVER", FServer.BaseUrl());
  platform::StartHidden(Game("probe.exe"));

  // Both probes log a line: the old one after its run, the new one after its own.
  const std::string newLine = test::Md5Hex(newProbe) + " \n";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
  while (std::chrono::steady_clock::now() < deadline &&
         (ReadFileBytes(Game("probe.log")).find(newLine) == std::string::npos ||
          Exists(Game("Update.bat"))))
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string log = ReadFileBytes(Game("probe.log"));
  EXPECT_EQ(log, test::Md5Hex(oldProbe) + " \n" + newLine)
      << "the old probe runs once, then the new one";
  EXPECT_FALSE(Exists(Game("Update.bat"))) << "the script deletes itself";
  EXPECT_EQ(ReadFileBytes(Game("probe.exe")), newProbe);
  EXPECT_FALSE(Exists(Game("probe.exe.New")));
  EXPECT_FALSE(Exists(Game("files.lst")));
  EXPECT_EQ(FServer.RequestsFor("probe.exe.bz2"), 1);

  // The old probe holds probe.wait open until it ends; the script ended it long before its
  // wait was over.
  bool released = false;
  for (int i = 0; i < 50 && !(released = platform::DeleteFile(Game("probe.wait"))); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(released);
  EXPECT_EQ(ReadFileBytes(Game("probe.log")).find("not stopped"), std::string::npos);
}
#endif

}  // namespace
}  // namespace korvath
