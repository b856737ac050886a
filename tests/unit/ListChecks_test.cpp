// The checks that decide which hosts entries, self names and integrity fields from a list are
// ever acted on.
#include <gtest/gtest.h>

#include <string>

#include "list/FileEntry.h"
#include "list/HostsEntry.h"
#include "list/SelfName.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

struct TCase {
  const char* Text;
  bool Passes;
};

TEST(HostsEntry, AddressesAreExactlyIPv4OrIPv6) {
  const TCase cases[] = {
      {"127.0.0.1", true},
      {"255.255.255.255", true},
      {"0.0.0.0", true},
      {"256.0.0.1", false},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"01.2.3.4", false},
      {"1.2.3.4 ", false},
      {"1..3.4", false},
      {"::1", true},
      {"::", true},
      {"fe80::1:2", true},
      {"1:2:3:4:5:6:7:8", true},
      {"1:2:3:4:5:6:7", false},
      {"1:2:3:4:5:6:7:8:9", false},
      {"1::2::3", false},
      {"12345::", false},
      {"::ffff:10.0.0.1", true},
      {"fe80::1%eth0", false},
      {"g::1", false},
      {"", false},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(IsIPv4Address(c.Text) || IsIPv6Address(c.Text), c.Passes) << c.Text;
}

TEST(HostsEntry, HostNamesAreDottedLabelsOfLettersDigitsAndHyphens) {
  const std::string longest(63, 'a');
  const TCase cases[] = {
      {"localhost", true},    {"update.korvath.example", true},
      {"a-b.c1", true},       {"", false},
      {".lead", false},       {"trail.", false},
      {"a..b", false},        {"under_score", false},
      {"sp ace", false},      {"tab\tname", false},
      {"caf\xc3\xa9", false}, {"a#b", false},
  };
  for (const TCase& c : cases) EXPECT_EQ(IsHostName(c.Text), c.Passes) << c.Text;
  EXPECT_TRUE(IsHostName(longest));
  EXPECT_FALSE(IsHostName(longest + "a"));
  std::string tooLong;
  while (tooLong.size() < 254) tooLong += "abcdefgh.";
  EXPECT_FALSE(IsHostName(tooLong.substr(0, 254)));
  EXPECT_EQ(RefusedHostsEntryReason("10.0.0.1", "x.example"), "");
  EXPECT_NE(RefusedHostsEntryReason("10.0.0.1 evil", "x.example"), "");
  EXPECT_NE(RefusedHostsEntryReason("10.0.0.1", "x.example\nevil"), "");
  for (const char* own : {"localhost", "LocalHost.localdomain", "ip6-loopback", "game.localhost"})
    EXPECT_NE(RefusedHostsEntryReason("127.0.0.1", own), "") << own;
  EXPECT_EQ(RefusedHostsEntryReason("127.0.0.1", "localhost.example"), "");
}

TEST(SelfName, OnlyPlainExecutableNamesPass) {
  const TCase cases[] = {
      {"Korvath.exe", true}, {"korvath_2-b.EXE", true}, {"a.b.exe", true},   {"", false},
      {".exe", false},       {"-x.exe", false},         {"Korvath", false},  {"Korvath.bat", false},
      {"dir\\a.exe", false}, {"a b.exe", false},        {"a&b.exe", false},  {"a%b.exe", false},
      {"con.exe", false},    {"LPT1.exe", false},       {"a\"b.exe", false},
  };
  for (const TCase& c : cases) EXPECT_EQ(IsSafeSelfName(c.Text), c.Passes) << c.Text;
}

TEST(FileEntry, IntegrityFieldsAreSha256AndUnpackedSize) {
  const std::string hex(64, 'a');
  const std::string field = "sha256=" + hex + ":";
  // What stands in front of an entry's path, and whether the entry is taken.
  const struct {
    std::string Front;
    bool Passes;
  } cases[] = {
      {"", true},
      {"x|", true},
      {"SHA256=" + hex + ":5|", true},
      {"sha256=" + std::string(64, 'F') + ":5|", true},
      {"sha256=|", false},
      {field + "|", false},
      {"sha256=" + hex + "0:5|", false},
      {"sha256=" + std::string(63, 'a') + "g:5|", false},
      {field + "5x|", false},
      {field + std::string(19, '9') + "|", false},
      {field + "5|" + field + "5|", false},
  };
  for (const auto& c : cases) {
    bool passes = true;
    try {
      EntryIntegrity(SplitFileEntry(c.Front + "a.dat|d|1"));
    } catch (const EConvertError&) {
      passes = false;
    }
    EXPECT_EQ(passes, c.Passes) << c.Front;
  }
  const TIntegrity known = EntryIntegrity(SplitFileEntry(field + "123|note|a.dat|d|1"));
  EXPECT_TRUE(known.Known);
  EXPECT_EQ(known.Sha256, hex);
  EXPECT_EQ(known.Size, 123);
}

}  // namespace
}  // namespace korvath
