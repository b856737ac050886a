// The integer texts of the program's inputs: the update list's sizes and settings, the settings
// store's values and the options file. Each reader keeps its own form (signs, blanks, hexadecimal
// prefixes) and leaves the digits, their bounds and the sign to this one core.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvath {

// The 32-bit integer that Digits (no sign, no prefix) spell in Base 10 or 16, negated when
// Negative. Decimal values lie within -2^31..2^31-1; hexadecimal digits give up to 32 bits taken
// as they stand ("FFFFFFFF" is -1, and negated it is 1). False, with Value untouched, for no
// digits, a character that is no digit of Base, or a value past those bounds.
bool ParseInt32(std::string_view digits, int base, bool negative, int32_t& value);

}  // namespace korvath
