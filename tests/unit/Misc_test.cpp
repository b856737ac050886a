// The string helpers are table-driven; the shell helpers run against a temporary folder.
#include "transfer/Misc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

#include "platform/File.h"
#include "runtime/SysUtils.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

TEST(SplitFromEnd, FieldsComeLastFirstAndEmptyOnesAreDropped) {
  const struct {
    std::string line;
    TStringList fields;
  } cases[] = {
      {"a|b|c", {"c", "b", "a"}},
      {"a||b", {"b", "a"}},
      {"|a|", {"a"}},
      {"abc", {"abc"}},
      {"|", {}},
      {"||", {}},
      {"", {}},
      {"a | b", {" b", "a "}},
      {"x|path\\f.dat|0123|12", {"12", "0123", "path\\f.dat", "x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitFromEnd(c.line, "|"), c.fields) << c.line;
}

TEST(SplitFromEnd, EveryDelimiterCharacterSplits) {
  EXPECT_EQ(SplitFromEnd("a b\tc", " \t"), (TStringList{"c", "b", "a"}));
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutOverlapOrRescan) {
  const struct {
    std::string source, oldText, newText, result;
  } cases[] = {
      {"a\\b\\c", "\\", "/", "a/b/c"}, {"aaa", "aa", "b", "ba"}, {"ab", "a", "aa", "aab"},
      {"abc", "", "x", "abc"},         {"abc", "z", "x", "abc"}, {"", "a", "b", ""},
      {"\\\\", "\\", "/", "//"},       {"abab", "ab", "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceAll(c.source, c.oldText, c.newText), c.result) << c.source << " " << c.oldText;
}

TEST(ConsoleEscaped, ControlBytesBecomeHexEscapesAndAllElseStays) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"C:\\Games\\R&D 100%\\a.dat", "C:\\Games\\R&D 100%\\a.dat"},
      {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
      {std::string("a\0\r\n\t\x1f\x7f \x80\xff", 10), "a\\x00\\x0d\\x0a\\x09\\x1f\\x7f \x80\xff"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConsoleEscaped(c.text), c.shown) << c.shown;
}

TEST(DeleteDirectory, RemovesWholeTreeAndIgnoresMissingFolder) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "backup/a.txt", "a");
  test::WriteFileBytes(dir / "backup/sub/deeper/b.txt", "b");
  test::WriteFileBytes(dir / "keep.txt", "k");
  EXPECT_TRUE(DeleteDirectory(dir / "backup"));
  EXPECT_FALSE(test::Exists(dir / "backup"));
  EXPECT_TRUE(test::Exists(dir / "keep.txt"));
  EXPECT_FALSE(DeleteDirectory(dir / "backup"));
  EXPECT_TRUE(test::Exists(dir / "keep.txt"));
}

TEST(RunProgram, MissingFolderRaisesAndStartsNothing) {
  test::TempDir dir;
  const std::string before = platform::GetCurrentDir();
  try {
    RunProgram(dir / "no-such-folder/prog.exe");
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_NE(e.ErrorCode(), 0);
  }
  EXPECT_EQ(platform::GetCurrentDir(), before);
}

TEST(RunProgram, StartsLongPathsWithBlanksAndCommandCharactersInTheirOwnFolder) {
  test::TempDir dir;
  // Over 100 characters, with blanks, or with "&" and no blank at all: neither cut short nor
  // split at a blank or at "&".
  for (const auto& [folderName, programName] :
       {std::pair{"Program Files/Korvath Community Edition/a rather long folder name/system",
                  "start game"},
        std::pair{"R&D_100%/Korvath_Community_Edition/a_rather_long_folder_name/system",
                  "start_game"}}) {
    const std::string folder = dir / folderName;
    const std::string program =
        test::WriteMarkerScript(folder + platform::kPathDelim + programName);
    ASSERT_GT(program.size(), 100u);
    const std::string before = platform::GetCurrentDir();
    RunProgram(program);
    const std::string now = platform::GetCurrentDir();
    ASSERT_EQ(platform::SetCurrentDir(before), 0);
    EXPECT_EQ(now + platform::kPathDelim, folder + platform::kPathDelim);
    const std::string marker = folder + platform::kPathDelim + "marker.txt";
    for (int i = 0; i < 200 && test::ReadFileBytes(marker).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::ReadFileBytes(marker).substr(0, 7), "started") << folderName;
  }
}

}  // namespace
}  // namespace korvath
