// List paths: which ones are refused, and how accepted ones become local file names.
#include "list/LocalPath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/CaseFold.h"
#include "platform/File.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

namespace fs = std::filesystem;

constexpr bool kNamesIgnoreCase = platform::kPathDelim == '\\';

TEST(RefusedPathReason, HostilePathsAreRefusedWithTheirReason) {
  const struct {
    std::string path, reason;
  } cases[] = {
      {"", "empty path"},
      {"a\\\\b", "empty segment"},
      {"a//b", "empty segment"},
      {"a\\/b", "empty segment"},
      {"a\\", "empty segment"},
      {"a/", "empty segment"},
      {"\\a.dat", "absolute path"},
      {"/etc/passwd", "absolute path"},
      {"\\\\server\\share\\a", "UNC path"},
      {"//server/share/a", "UNC path"},
      {"\\\\?\\C:\\a", "device path prefix"},
      {"\\\\.\\PhysicalDrive0", "device path prefix"},
      {"//?/c:/a", "device path prefix"},
      {"C:\\Windows\\a.dll", "drive letter"},
      {"c:a.dll", "drive letter"},
      {"z:/a", "drive letter"},
      {"a.dat:stream", "':' in the path"},
      {"system\\a:b", "':' in the path"},
      {"1:\\a", "':' in the path"},
      {"..\\a.dll", "'..' segment"},
      {"../a.dll", "'..' segment"},
      {"system\\..\\..\\a", "'..' segment"},
      {"system/../../a", "'..' segment"},
      {"system\\..", "'..' segment"},
      {".\\a", "'.' segment"},
      {"a/./b", "'.' segment"},
      {"a\\.", "'.' segment"},
      {"a.\\b", "segment ending in a dot"},
      {"a\\b...", "segment ending in a dot"},
      {"...\\a", "segment ending in a dot"},
      {"a \\b", "segment ending in a blank"},
      {"a/b ", "segment ending in a blank"},
      {std::string("a\0b", 3), "control character"},
      {"a\tb", "control character"},
      {"a\nb", "control character"},
      {"a\\b\r", "control character"},
      {"a\x1f", "control character"},
      {"a\x7f", "control character"},
      {"\\a\x01", "control character"},
      {"a*b", "character not allowed in file names"},
      {"a?b", "character not allowed in file names"},
      {"a<b", "character not allowed in file names"},
      {"a>b", "character not allowed in file names"},
      {"a\"b", "character not allowed in file names"},
      {"CON", "reserved device name 'CON'"},
      {"con", "reserved device name 'con'"},
      {"system\\nul.txt", "reserved device name 'nul.txt'"},
      {"Com1.dat", "reserved device name 'Com1.dat'"},
      {"a/LPT9", "reserved device name 'LPT9'"},
      {"aux.tar.gz", "reserved device name 'aux.tar.gz'"},
      {"PRN\\a", "reserved device name 'PRN'"},
      {"nul .txt", "reserved device name 'nul .txt'"},
      {"COM\xB9", "reserved device name 'COM\xB9'"},
      {"lpt\xB3.x", "reserved device name 'lpt\xB3.x'"},
      {"conin$", "reserved device name 'conin$'"},
      {"CONOUT$.log", "reserved device name 'CONOUT$.log'"},
  };
  for (const auto& c : cases) EXPECT_EQ(RefusedPathReason(c.path), c.reason) << c.path;
}

TEST(RefusedPathReason, OrdinaryNamesAreAccepted) {
  const std::string accepted[] = {
      "a",
      "system\\Sub\\New.dat",
      "system/Sub/New.dat",
      "a.b\\c",
      "a\\b/c",
      "con1.txt",
      "CONSOLE",
      "xcon",
      "COM0",
      "LPT10",
      "COM",
      "nul_",
      "a.con",
      ".hidden",
      "..a",
      "a..b",
      " lead",
      "a b\\c d.e",
      "\xe9t\xe9\\\xc4.dat",
      "c",
  };
  for (const std::string& path : accepted) EXPECT_EQ(RefusedPathReason(path), "") << path;
}

// Whatever is accepted must stay below the working folder once the operating system reads it.
TEST(RefusedPathReason, NothingAcceptedLeavesTheFolder) {
  const std::string alphabet[] = {"a", "B", ".", "..", "\\", "/", " ", ":", "con", "C", "x.y"};
  std::mt19937 random(20240517);
  std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1), length(1, 8);
  const std::string root = std::string("root") + platform::kPathDelim;
  int accepted = 0;
  for (int n = 0; n < 20000; ++n) {
    std::string path;
    for (size_t i = length(random); i > 0; --i) path += alphabet[pick(random)];
    if (!RefusedPathReason(path).empty()) continue;
    ++accepted;
    const fs::path relative =
        fs::path(LocalPathOf(root, path)).lexically_normal().lexically_relative("root");
    ASSERT_FALSE(relative.empty()) << path;
    ASSERT_NE(relative, fs::path(".")) << path;
    ASSERT_NE(*relative.begin(), fs::path("..")) << path;
    ASSERT_FALSE(relative.is_absolute()) << path;
  }
  EXPECT_GT(accepted, 100);
}

TEST(LocalPathOf, BothSeparatorsBecomeTheLocalOne) {
  test::TempDir dir;
  const std::string d(1, platform::kPathDelim);
  EXPECT_EQ(LocalPathOf(dir.Path(), "a.dat"), dir.Path() + "a.dat");
  EXPECT_EQ(LocalPathOf(dir.Path(), "system\\Sub\\New.dat"),
            dir.Path() + "system" + d + "Sub" + d + "New.dat");
  EXPECT_EQ(LocalPathOf(dir.Path(), "system/Sub\\New.dat"),
            dir.Path() + "system" + d + "Sub" + d + "New.dat");
  EXPECT_EQ(LocalPathOf(dir.Path(), "backup\\a.b\\c"), dir.Path() + "backup" + d + "a.b" + d + "c");
}

TEST(LocalPathOf, ExistingNamesAreFoundWhateverTheListsLetterCase) {
  if (kNamesIgnoreCase) GTEST_SKIP() << "the file system ignores letter case itself";
  test::TempDir dir;
  test::WriteFileBytes(dir / "system/x.dll", "x");
  test::WriteFileBytes(dir / "Maps/Old/m.map", "m");
  const struct {
    std::string listPath, local;
  } cases[] = {
      {"System\\X.DLL", "system/x.dll"},
      {"SYSTEM/x.dll", "system/x.dll"},
      {"system\\x.dll", "system/x.dll"},
      // Missing names keep the list's spelling, below an existing folder or a missing one.
      {"System\\New.dll", "system/New.dll"},
      {"system\\Sub\\New.dat", "system/Sub/New.dat"},
      {"maps\\OLD\\M.Map", "Maps/Old/m.map"},
      {"maps\\Older\\m.map", "Maps/Older/m.map"},
      {"New\\F.dat", "New/F.dat"},
      // The file of a folder's name is no match for a deeper level but still for itself.
      {"SYSTEM\\X.DLL\\y", "system/x.dll/y"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LocalPathOf(dir.Path(), c.listPath), dir.Path() + c.local) << c.listPath;
}

TEST(LocalPathOf, AnExactSpellingWinsOverOthersThenTheFirstInByteOrder) {
  if (kNamesIgnoreCase) GTEST_SKIP() << "one folder cannot hold names that differ only in case";
  test::TempDir dir;
  test::WriteFileBytes(dir / "data/f", "lower");
  test::WriteFileBytes(dir / "Data/f", "mixed");
  test::WriteFileBytes(dir / "DATA/f", "upper");
  EXPECT_EQ(LocalPathOf(dir.Path(), "data\\F"), dir.Path() + "data/f");
  EXPECT_EQ(LocalPathOf(dir.Path(), "Data\\f"), dir.Path() + "Data/f");
  EXPECT_EQ(LocalPathOf(dir.Path(), "DATA\\f"), dir.Path() + "DATA/f");
  EXPECT_EQ(LocalPathOf(dir.Path(), "dAtA\\f"), dir.Path() + "DATA/f");
  EXPECT_EQ(platform::ResolveCaseInsensitive(dir.Path() + "missing", "Data"), "Data");
  // Only ASCII letters fold: the code page's other letters are matched as written.
  test::WriteFileBytes(dir / "\xe9t\xe9", "e");
  EXPECT_EQ(platform::ResolveCaseInsensitive(dir.Path(), "\xc9T\xc9"), "\xc9T\xc9");
  EXPECT_EQ(platform::ResolveCaseInsensitive(dir.Path(), "\xe9T\xe9"), "\xe9t\xe9");
}

}  // namespace
}  // namespace korvath
