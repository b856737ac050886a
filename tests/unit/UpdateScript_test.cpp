// The self-update's hand-over script "Update.bat", byte for byte, and the program's own name
// that decides whether it is written at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/File.h"
#include "platform/Program.h"
#include "runtime/SysUtils.h"
#include "tests/support/TempDir.h"
#include "transfer/Misc.h"

namespace korvath {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class UpdateScript : public ::testing::Test {
 protected:
  test::TempDir FDir;
  test::CurrentDirScope FInDir{FDir.Path()};
  // The folder as the script names it: the current folder, without its last separator.
  std::string FFolder = platform::GetCurrentDir();
};

TEST_F(UpdateScript, WithoutNewVersionItOnlyRestartsTheProgram) {
  WriteFileBytes(FDir / "Update.bat",
                 "an older script that is longer than the new one\r\n" + std::string(500, 'x'));
  WriteUpdateScript("Korvath.exe");
  EXPECT_EQ(ReadFileBytes(FDir / "Update.bat"),
            "@echo off\r\n"
            "taskkill /IM Korvath.exe /F\r\n"
            "ping 127.0.0.1 -n 3 > nul\r\n"
            "start Korvath.exe\r\n"
            "del \"Update.bat\"\r\n");
}

TEST_F(UpdateScript, WithNewVersionItReplacesTheProgramAndRemovesTheList) {
  WriteFileBytes(FDir / "Korvath.exe.New", "new");
  WriteUpdateScript("Korvath.exe");
  EXPECT_EQ(ReadFileBytes(FDir / "Update.bat"),
            "@echo off\r\n"
            "taskkill /IM Korvath.exe /F\r\n"
            "ping 127.0.0.1 -n 3 > nul\r\n"
            "del \"" +
                FFolder +
                "\\files.lst\"\r\n"
                "del \"" +
                FFolder +
                "\\Korvath.exe\"\r\n"
                "rename Korvath.exe.New Korvath.exe\r\n"
                "start Korvath.exe\r\n"
                "del \"Update.bat\"\r\n");
}

TEST_F(UpdateScript, FolderKeepsItsAmpersandBetweenQuotesAndDoublesItsPercentSign) {
  const std::string folder = FDir / "R&D 100%";
  std::filesystem::create_directory(folder);
  test::CurrentDirScope inFolder(folder);
  WriteFileBytes(FDir / "R&D 100%/Korvath.exe.New", "new");
  WriteUpdateScript("Korvath.exe");
  const std::string named = FFolder + platform::kPathDelim + "R&D 100%%\\";
  EXPECT_NE(ReadFileBytes(FDir / "R&D 100%/Update.bat")
                .find("del \"" + named + "files.lst\"\r\ndel \"" + named + "Korvath.exe\"\r\n"),
            std::string::npos);
}

TEST_F(UpdateScript, ScriptThatCannotBeCreatedRaisesAnIOError) {
  std::filesystem::create_directory(FDir / "Update.bat");
  EXPECT_THROW(WriteUpdateScript("Korvath.exe"), EInOutError);
}

TEST(ProgramFile, NamesTheRunningTestProgram) {
  const std::string path = platform::ProgramFilePath();
  EXPECT_TRUE(platform::FileExists(path)) << path;
  const std::string name = path.substr(path.find_last_of("\\/") + 1);
  EXPECT_TRUE(name == "unit_tests" || name == "unit_tests.exe") << path;
}

}  // namespace
}  // namespace korvath
