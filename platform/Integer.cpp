#include "platform/Integer.h"

#include "platform/Ascii.h"

namespace korvath {

bool ParseInt32(std::string_view digits, int base, bool negative, int32_t& value) {
  if (digits.empty()) return false;
  // Decimal text reaches 2^31 only as the lowest negative value; hexadecimal text may spell the
  // whole 32-bit pattern.
  const uint64_t limit = base == 16 ? 0xFFFFFFFF : negative ? 0x80000000 : 0x7FFFFFFF;
  uint64_t magnitude = 0;
  for (const char c : digits) {
    int digit;
    if (IsDigit(c))
      digit = c - '0';
    else if (base == 16 && IsHexDigit(c))
      digit = ToLower(c) - 'a' + 10;
    else
      return false;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  const auto bits = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
  value = static_cast<int32_t>(bits);
  return true;
}

}  // namespace korvath
