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

TEST(SearchFrom, FindsFirstOccurrenceAtOrAfterStart) {
  const struct {
    int start;
    std::string text, pattern;
    int position;
  } cases[] = {
      {1, "hello world", "world", 7},
      {8, "hello world", "o", 8},
      {1, "aaa", "aa", 1},
      {3, "aaa", "aa", 0},
      {1, "ab", "abc", 0},
      {1, "hosts", "Hosts", 0},
      {1, "x", "x", 1},
      {2, "x", "x", 0},
      // A mismatch left of the last byte moves by one position, which still finds this one.
      {1, "abcabdabd", "abd", 4},
      {1, "127.0.0.1 login.korvath.example", "login.korvath.example", 11},
      {1, "aXbaab", "aab", 4},
      {1, std::string("a\0b", 3), std::string("\0b", 2), 2},
      {1, "\xff\xfe\xff", "\xfe\xff", 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SearchFrom(c.start, c.text, c.pattern), c.position) << c.text << " / " << c.pattern;
}

TEST(SearchFrom, AgreesWithPlainSearchOnManyInputs) {
  // Small alphabets produce many partial matches, which is where a shift rule goes wrong.
  unsigned seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int round = 0; round < 3000; ++round) {
    std::string text, pattern;
    const int n = static_cast<int>(next() % 20), m = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < n; ++i) text += static_cast<char>('a' + next() % 3);
    for (int i = 0; i < m; ++i) pattern += static_cast<char>('a' + next() % 3);
    const int start = 1 + static_cast<int>(next() % 5);
    const size_t found = static_cast<size_t>(start - 1) <= text.size()
                             ? text.find(pattern, static_cast<size_t>(start - 1))
                             : std::string::npos;
    const int expected = found == std::string::npos ? 0 : static_cast<int>(found) + 1;
    ASSERT_EQ(SearchFrom(start, text, pattern), expected)
        << text << " / " << pattern << " from " << start;
  }
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
    platform::SetCurrentDir(before);
    EXPECT_EQ(now + platform::kPathDelim, folder + platform::kPathDelim);
    const std::string marker = folder + platform::kPathDelim + "marker.txt";
    for (int i = 0; i < 200 && test::ReadFileBytes(marker).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::ReadFileBytes(marker).substr(0, 7), "started") << folderName;
  }
}

}  // namespace
}  // namespace korvath
