// The list reader against list texts written to a temporary file.
#include "list/LstFile.h"

#include <gtest/gtest.h>

#include "runtime/SysUtils.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

class ListFileTest : public ::testing::Test {
 protected:
  TListFile Reader(const std::string& text) {
    test::WriteFileBytes(FDir / "files.lst", text);
    return TListFile(FDir / "files.lst");
  }
  std::string Value(const std::string& text, const std::string& section, const std::string& key) {
    TListFile list = Reader(text);
    std::string value = "not set";
    list.ReadValue(section, key, value);
    return value;
  }
  test::TempDir FDir;
};

TEST_F(ListFileTest, SectionsAreReadByExactNameTrimmedAndInOrder) {
  const std::string list =
      "free text before\r\n"
      "[Settings]\r\nRev|1\r\n[/Settings]\r\n"
      "  [files_critical]  \r\n"
      "\t system\\a.dll|00112233445566778899aabbccddeeff|10 \r\n"
      "\r\n"
      ";not a comment\r\n"
      "[files_normal]\r\n"
      "[/files_critical]\r\n"
      "[files_critical]\r\nsecond|x|1\r\n[/files_critical]\r\n";
  TListFile reader = Reader(list);
  EXPECT_EQ(reader.GetSection("files_critical"),
            (TStringList{"system\\a.dll|00112233445566778899aabbccddeeff|10", ";not a comment",
                         "[files_normal]"}));
  EXPECT_EQ(reader.GetSection("settings"), TStringList{"FAIL"});
  EXPECT_EQ(reader.GetSection("Settings"), TStringList{"Rev|1"});
}

TEST_F(ListFileTest, MissingEmptyAndFailSectionsAllReadAsFail) {
  TListFile reader = Reader("[a]\r\n\r\n   \r\n[/a]\r\n[b]\r\nFAIL\r\n[/b]\r\n[c]\r\n[/c]\r\n");
  EXPECT_EQ(reader.GetSection("a"), TStringList{"FAIL"});
  EXPECT_EQ(reader.GetSection("b"), TStringList{"FAIL"});
  EXPECT_EQ(reader.GetSection("c"), TStringList{"FAIL"});
  EXPECT_EQ(reader.GetSection("d"), TStringList{"FAIL"});
}

TEST_F(ListFileTest, LineEndsFollowTheTextFileRules) {
  // LF alone ends a line; a lone CR is dropped without ending it; Ctrl-Z ends the text.
  TListFile reader = Reader("[s]\nx\r\ny\rz\r\n[/s]\n[t]\nkept\n\x1a[/t]\nnever\n");
  EXPECT_EQ(reader.GetSection("s"), (TStringList{"x", "yz"}));
  EXPECT_EQ(reader.GetSection("t"), TStringList{"kept"});  // closed by the end of the text
}

TEST_F(ListFileTest, UnclosedSectionEndsAtEndOfFile) {
  TListFile reader = Reader("[files_normal]\r\na|b|1\r\nc|d|2");
  EXPECT_EQ(reader.GetSection("files_normal"), (TStringList{"a|b|1", "c|d|2"}));
  std::string value;
  reader.ReadValue("files_normal", "zz", value);
  EXPECT_EQ(value, "");
}

TEST_F(ListFileTest, ReadValueTakesLastFieldOfFirstMatchingEntry) {
  const struct {
    std::string entries, key, value;
  } cases[] = {
      {"Rev|12", "Rev", "12"}, {"Rev|12|13", "Rev", "13"},          {"Rev||12", "Rev", "12"},
      {"Rev|", "Rev", "Rev"},  {"Rev|1\r\nRev|2", "Rev", "1"},      {"Rev | 12", "Rev", ""},
      {"rev|12", "Rev", ""},   {"ModHosts|1\r\nRev|7", "Rev", "7"}, {"", "Rev", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Value("[settings]\r\n" + c.entries + "\r\n[/settings]\r\n", "settings", c.key),
              c.value)
        << c.entries;
  EXPECT_EQ(Value("[other]\r\nRev|1\r\n[/other]\r\n", "settings", "Rev"), "");
  EXPECT_EQ(Value("[settings]\r\n[/settings]\r\nRev|1\r\n", "settings", "Rev"), "");
}

TEST_F(ListFileTest, EntryOfBarsOnlyRaisesBeforeTheKey) {
  EXPECT_THROW(Value("[settings]\r\n||\r\nRev|1\r\n[/settings]\r\n", "settings", "Rev"),
               EStringListError);
  EXPECT_EQ(Value("[settings]\r\nRev|1\r\n|\r\n[/settings]\r\n", "settings", "Rev"), "1");
}

TEST_F(ListFileTest, LongLinesAndManyEntriesAreReadWhole) {
  std::string longPath(200000, 'p');
  std::string list = "[files_normal]\r\n";
  for (int i = 0; i < 5000; ++i) list += "f" + std::to_string(i) + "|d|1\r\n";
  list += longPath + "|d|1\r\n[/files_normal]\r\n";
  TListFile reader = Reader(list);
  const TStringList section = reader.GetSection("files_normal");
  ASSERT_EQ(section.size(), 5001u);
  EXPECT_EQ(section[4999], "f4999|d|1");
  EXPECT_EQ(section.back(), longPath + "|d|1");
}

TEST_F(ListFileTest, MissingListRaisesInputOutputError) {
  TListFile reader(FDir / "missing.lst");
  EXPECT_THROW(reader.GetSection("settings"), EInOutError);
  std::string value;
  EXPECT_THROW(reader.ReadValue("settings", "Rev", value), EInOutError);
}

}  // namespace
}  // namespace korvath
