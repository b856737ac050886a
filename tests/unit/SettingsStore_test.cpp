// The game folder's settings store, through the same calls the window and the console make.
#include "runtime/SettingsStore.h"

#include <gtest/gtest.h>

#include "tests/support/SettingsFixture.h"

namespace korvath {
namespace {

TEST_F(SettingsFixture, NewFolderStartsAtDefaultsAndKeepsWhatIsWritten) {
  auto store = OpenSettingsStore();
  EXPECT_EQ(store->ReadInteger(kSettingsSection, kAtRevision, 0), 0);
  EXPECT_EQ(store->ReadInteger(kSettingsSection, kCreateBackup, 7), 7);
  store->WriteInteger(kSettingsSection, kAtRevision, 12);
  store->WriteInteger(kSettingsSection, kCreateBackup, 1);
  store->WriteInteger(kSettingsSection, kAtRevision, -3);
  store.reset();
  auto again = OpenSettingsStore();
  EXPECT_EQ(again->ReadInteger(kSettingsSection, kAtRevision, 0), -3);
  EXPECT_EQ(again->ReadInteger(kSettingsSection, kCreateBackup, 0), 1);
  EXPECT_EQ(again->ReadInteger("Other", kAtRevision, 5), 5);
}

TEST_F(SettingsFixture, EveryGameFolderHasItsOwnSettings) {
  OpenSettingsStore()->WriteInteger(kSettingsSection, kAtRevision, 41);
  test::TempDir other;
  {
    test::CurrentDirScope inOther(other.Path());
    EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kAtRevision, 0), 0);
    OpenSettingsStore()->WriteInteger(kSettingsSection, kAtRevision, 2);
  }
  EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kAtRevision, 0), 41);
}

TEST_F(SettingsFixture, TextValuesAreReadAsNumbersAndStayText) {
  PlantText(kAtRevision, "15");
  PlantText(kCreateBackup, "yes");
  auto store = OpenSettingsStore();
  EXPECT_EQ(store->ReadInteger(kSettingsSection, kAtRevision, 0), 15);
  EXPECT_EQ(store->ReadInteger(kSettingsSection, kCreateBackup, 0), 0);
  store->WriteInteger(kSettingsSection, kAtRevision, 16);
  EXPECT_EQ(ReadText(kAtRevision), "16");
  EXPECT_EQ(store->ReadInteger(kSettingsSection, kAtRevision, 0), 16);
}

TEST_F(SettingsFixture, TextIsReadAsAWholeDecimalNumberOrGivesTheDefault) {
  const std::pair<const char*, int32_t> cases[] = {
      {"16", 16},  {"+16", 16}, {"-16", -16}, {"0x10", 99}, {"$10", 99},
      {" 16", 99}, {"16 ", 99}, {"", 99},     {"1e3", 99},  {"2147483648", 99}};
  for (const auto& [text, read] : cases) {
    PlantText(kAtRevision, text);
    EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kAtRevision, 99), read) << text;
  }
}

TEST_F(SettingsFixture, ValueOfAnotherTypeFailsToRead) {
  PlantOtherType(kAtRevision);
  try {
    OpenSettingsStore()->ReadInteger(kSettingsSection, kAtRevision, 0);
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'AtRevision'");
  }
}

TEST(StrToInt, ReadsTheRunTimesIntegerText) {
  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"12", true, 12},
      {"-7", true, -7},
      {"+7", true, 7},
      {"  3", true, 3},
      {"$1F", true, 31},
      {"0x10", true, 16},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"", false, 0},
      {"12 ", false, 0},
      {"1a", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"$FFFFFFFF", true, -1},
  };
  for (const auto& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  try {
    StrToInt("x1");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x1' is not a valid integer value");
  }
}

}  // namespace
}  // namespace korvath
