// ASCII character classes and letter case. Portable text, kept at the bottom of the layers so
// that every layer folds and classifies alike. The program's text is single-byte and what it
// compares (list paths, host names, digests, option words) folds in ASCII only: a byte past 127
// is never a letter or a digit here, whatever the locale says.
#pragma once

#include <string>
#include <string_view>

namespace korvath {

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
constexpr bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
constexpr bool IsLower(char c) {
  return c >= 'a' && c <= 'z';
}
constexpr bool IsAlpha(char c) {
  return IsUpper(c) || IsLower(c);
}
constexpr bool IsAlnum(char c) {
  return IsAlpha(c) || IsDigit(c);
}
constexpr bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr char ToLower(char c) {
  return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpper(char c) {
  return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = ToLower(c);
  return result;
}

// Equal texts when ASCII letter case is ignored (names, host names, digests).
constexpr bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  return true;
}

// Whether Text starts with Prefix, letter case ignored.
constexpr bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

}  // namespace korvath
