// The self-update inside whole update runs: the new updater is fetched only when it differs,
// checked before use and put in place by renaming everywhere but in the window (the window's
// hand-over to Update.bat is in win32/SelfUpdate_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/integration/SelfUpdateRun.h"
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

}  // namespace
}  // namespace korvath
