// The [patches] section: which lines are taken, and which patch a file's current content finds.
#include "list/PatchList.h"

#include <gtest/gtest.h>

#include <string>

namespace korvath {
namespace {

const std::string kOld(32, 'a'), kPatch(32, 'b');

TEST(PatchList, LinesThatDoNotParseAreIgnored) {
  struct TCase {
    std::string Line;
    bool Taken;
  };
  const TCase cases[] = {
      {"maps\\big.dat|" + kOld + "|" + kPatch + "|1234", true},
      {"extra|maps\\big.dat|" + kOld + "|" + kPatch + "|1234", true},  // fields count from the end
      {"maps\\big.dat|" + std::string(32, 'A') + "|" + kPatch + "|1", true},
      {kOld + "|" + kPatch + "|1234", false},
      {"maps\\big.dat|" + kOld.substr(1) + "|" + kPatch + "|1234", false},
      {"maps\\big.dat|" + kOld + "|" + std::string(32, 'g') + "|1234", false},
      {"maps\\big.dat|" + kOld + "|" + kPatch + "|0", false},
      {"maps\\big.dat|" + kOld + "|" + kPatch + "|-5", false},
      {"maps\\big.dat|" + kOld + "|" + kPatch + "|12x", false},
      {"maps\\big.dat|" + kOld + "|" + kPatch + "|" + std::string(18, '9'), false},
      {"FAIL", false},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(TPatchList({c.Line}).Find("maps\\big.dat", kOld) != nullptr, c.Taken) << c.Line;
}

TEST(PatchList, FindsTheFirstLineForThePathAndCurrentContent) {
  const std::string other(32, 'c');
  const TPatchList list({"Maps/Big.dat|" + kOld + "|" + kPatch + "|10",
                         "maps\\big.dat|" + kOld + "|" + other + "|20",
                         "maps\\big.dat|" + other + "|" + kPatch + "|30"});
  const TPatchEntry* first = list.Find("maps\\BIG.dat", std::string(32, 'A'));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->PatchMd5, kPatch);
  EXPECT_EQ(first->PatchSize, 10);
  EXPECT_EQ(list.Find("maps\\big.dat", other)->PatchSize, 30);
  EXPECT_EQ(list.Find("maps\\big.dat", kPatch), nullptr);
  EXPECT_EQ(list.Find("maps\\small.dat", kOld), nullptr);
  EXPECT_EQ(PatchAddress("http://h/", "maps\\big.dat", kOld),
            "http://h/maps/big.dat." + kOld + ".patch");
}

}  // namespace
}  // namespace korvath
