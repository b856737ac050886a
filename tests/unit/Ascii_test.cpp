// Only ASCII letters fold and classify: a byte past 127 stays what it is in every locale.
#include "platform/Ascii.h"

#include <gtest/gtest.h>

namespace korvath {
namespace {

TEST(Ascii, OnlyAsciiLettersFoldAndOnlyAsciiDigitsCount) {
  EXPECT_EQ(LowerCase("System\\KORVATH.Exe@[`{"), "system\\korvath.exe@[`{");
  EXPECT_EQ(LowerCase("\xC4\xD6\xDC"), "\xC4\xD6\xDC");
  EXPECT_EQ(ToUpper('z'), 'Z');
  EXPECT_EQ(ToUpper('\xE4'), '\xE4');
  for (char c : {'/', ':', '@', '[', '`', '{', 'g', 'G', '\xB2', '\xC4'})
    EXPECT_FALSE(IsHexDigit(c)) << c;
  for (char c : {'\xB2', '\xB9', '\xC4', '\xE4'}) EXPECT_FALSE(IsAlnum(c)) << c;
  EXPECT_TRUE(SameText("Update.BAT", "update.bat"));
  EXPECT_FALSE(SameText("\xC4", "\xE4"));
  EXPECT_FALSE(SameText("a", "ab"));
  EXPECT_TRUE(StartsWithText("Location: x", "location:"));
  EXPECT_FALSE(StartsWithText("Loc", "location:"));
}

}  // namespace
}  // namespace korvath
