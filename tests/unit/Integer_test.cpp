// The bounds every integer reader of the program shares, at their edges.
#include "platform/Integer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace korvath {
namespace {

TEST(ParseInt32, DecimalStaysInRangeAndHexadecimalIsThe32BitPattern) {
  const struct {
    const char* digits;
    int base;
    bool negative;
    bool ok;
    int32_t value;
  } cases[] = {
      {"0", 10, true, true, 0},
      {"2147483647", 10, false, true, INT32_MAX},
      {"2147483648", 10, false, false, 0},
      {"2147483648", 10, true, true, INT32_MIN},
      {"2147483649", 10, true, false, 0},
      {"99999999999999999999", 10, false, false, 0},
      {"1f", 10, false, false, 0},
      {"", 10, false, false, 0},
      {"-1", 10, false, false, 0},
      {"fF", 16, false, true, 255},
      {"80000000", 16, false, true, INT32_MIN},
      {"FFFFFFFF", 16, true, true, 1},
      {"000000000001", 16, false, true, 1},
      {"100000000", 16, false, false, 0},
      {"1g", 16, false, false, 0},
  };
  for (const auto& c : cases) {
    int32_t value = 7;
    EXPECT_EQ(ParseInt32(c.digits, c.base, c.negative, value), c.ok) << c.digits;
    EXPECT_EQ(value, c.ok ? c.value : 7) << c.digits;
  }
}

}  // namespace
}  // namespace korvath
