// The self-update where only Windows can show it: a program file in use, and the window's
// hand-over to Update.bat (under Wine, with a stand-in program).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/File.h"
#include "tests/integration/SelfUpdateRun.h"
#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "transfer/Misc.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;
using test::WriteFileBytes;

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
// puts the new version in place, starts it and deletes the script. "game" names a file of the
// game folder the probe is started in; each case names the probe's program file differently,
// as the script ends every process of that name and the cases may run side by side.
void ExpectHandOver(const std::function<std::string(const std::string&)>& game,
                    test::TestServer& updateServer, const std::string& program) {
  const std::string oldProbe = ReadFileBytes(test::NativeProgramPath(KORVATH_PROBE_EXE));
  ASSERT_FALSE(oldProbe.empty());
  // Bytes after the image are ignored by the loader: the same program, another digest.
  const std::string newProbe = oldProbe + "\r\nthe new version of the probe\r\n";
  WriteFileBytes(game(program), oldProbe);
  WriteFileBytes(game("probe.wait"), test::Md5Hex(oldProbe));
  updateServer.PublishList(test::ListText(
      0, 0, {}, {},
      "[self]\r\n" + updateServer.PublishFile(program, newProbe) + "\r\n[/self]\r\n"));
  test::ScopedEnv server("KORVATH_UPDATE_SERVER", updateServer.BaseUrl());
  RunProgram(game(program));

  // Both probes log a line: the old one after its run, the new one after its own.
  const std::string newLine = test::Md5Hex(newProbe) + " \n";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
  while (std::chrono::steady_clock::now() < deadline &&
         (ReadFileBytes(game("probe.log")).find(newLine) == std::string::npos ||
          Exists(game("Update.bat"))))
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string log = ReadFileBytes(game("probe.log"));
  EXPECT_EQ(log, test::Md5Hex(oldProbe) + " \n" + newLine)
      << "the old probe runs once, then the new one";
  EXPECT_FALSE(Exists(game("Update.bat"))) << "the script deletes itself";
  EXPECT_EQ(ReadFileBytes(game(program)), newProbe);
  EXPECT_FALSE(Exists(game(program + ".New")));
  EXPECT_FALSE(Exists(game("files.lst")));
  EXPECT_EQ(updateServer.RequestsFor(program + ".bz2"), 1);

  // The old probe holds probe.wait open until it ends; the script ended it long before its
  // wait was over.
  bool released = false;
  for (int i = 0; i < 50 && !(released = platform::DeleteFile(game("probe.wait"))); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(released);
  EXPECT_EQ(ReadFileBytes(game("probe.log")).find("not stopped"), std::string::npos);
}

TEST_F(SelfUpdateRun, ScriptEndsTheWindowReplacesItAndStartsTheNewVersion) {
  ExpectHandOver([&](const std::string& name) { return Game(name); }, FServer, "probe.exe");
}

// "&" would split the script's start and "%" its paths, were they not quoted and doubled.
TEST_F(SelfUpdateRun, ScriptHandsOverInAFolderNamedWithCommandCharacters) {
  ExpectHandOver([&](const std::string& name) { return Game("R&D 100%/" + name); }, FServer,
                 "rnd-probe.exe");
}

}  // namespace
}  // namespace korvath
