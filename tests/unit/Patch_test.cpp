// Patches: a round trip, and the inputs a server or a line can spoil, each refused with a reason.
#include "transfer/Patch.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Bz2Compress.h"

namespace korvath {
namespace {

using test::NoiseBytes;

TEST(Patch, RebuildsTheTargetFromItsBaseAndReportsProgress) {
  const std::string base = NoiseBytes(300000, 3);
  std::string target = base.substr(0, 120000) + "inserted bytes" + base.substr(120100);
  target.replace(250000, 8, "replaced");
  const std::string patch = MakePatch(base, target);
  EXPECT_LT(patch.size(), 1000u);
  std::string result(target.size(), '\0');
  int64_t consumed = 0;
  ApplyPatch(base, patch, result, [&](int64_t bytes) { consumed = bytes; });
  EXPECT_EQ(result, target);
  EXPECT_EQ(consumed, static_cast<int64_t>(patch.size()));
}

TEST(Patch, SpoiledInputsAreRefusedWithAReason) {
  const std::string base = NoiseBytes(200000, 5);
  const std::string target = "new head" + base.substr(100) + "new tail";
  const std::string patch = MakePatch(base, target);
  std::string damaged = patch;
  damaged[damaged.size() / 2] ^= 0x55;
  const struct {
    const char* Name;
    std::string Base, Patch;
    size_t ResultSize;
    const char* Reason;
  } cases[] = {
      {"damaged", base, damaged, target.size(), "damaged"},
      {"cut off", base, patch.substr(0, patch.size() - 3), target.size(), "cut off"},
      {"cut in its header", base, patch.substr(0, 3), target.size(), "cut off"},
      {"another base", NoiseBytes(200000, 6), patch, target.size(), "another base"},
      {"result too small", base, patch, target.size() - 1, "bytes, not"},
      {"result too large", base, patch, target.size() + 1, "bytes, not"},
      {"data after its end", base, patch + "x", target.size(), "after its end"},
      {"error page", base, "<html><body>404 Not Found</body></html>", target.size(), "not a patch"},
  };
  for (const auto& c : cases) {
    std::string result(c.ResultSize, '\0');
    try {
      ApplyPatch(c.Base, c.Patch, result);
      ADD_FAILURE() << c.Name << ": applied";
    } catch (const EPatchError& e) {
      EXPECT_NE(e.Message().find(c.Reason), std::string::npos) << c.Name << ": " << e.Message();
    }
  }
}

}  // namespace
}  // namespace korvath
