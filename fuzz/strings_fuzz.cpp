// SplitFromEnd, ReplaceAll and SearchFrom against the plainest code that does the same, on any
// bytes. The input is the operation's texts separated by NUL bytes, after one byte that picks
// SearchFrom's start position.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "transfer/Misc.h"

namespace {

using korvath::TStringList;

// Fields from the left, empty ones dropped, then turned around.
TStringList NaiveSplitFromEnd(const std::string& line, const std::string& delimiters) {
  TStringList fields;
  std::string field;
  for (const char c : line) {
    if (delimiters.find(c) == std::string::npos) {
      field += c;
    } else {
      if (!field.empty()) fields.push_back(field);
      field.clear();
    }
  }
  if (!field.empty()) fields.push_back(field);
  return TStringList(fields.rbegin(), fields.rend());
}

std::string NaiveReplaceAll(const std::string& source, const std::string& oldText,
                            const std::string& newText) {
  if (oldText.empty()) return source;
  std::string result;
  size_t i = 0;
  while (i < source.size()) {
    if (source.compare(i, oldText.size(), oldText) == 0) {
      result += newText;
      i += oldText.size();
    } else {
      result += source[i++];
    }
  }
  return result;
}

// Every start position from StartPos on, compared byte by byte.
int NaiveSearchFrom(int startPos, const std::string& text, const std::string& pattern) {
  const int n = static_cast<int>(text.size()), l = static_cast<int>(pattern.size());
  for (int p = startPos; p + l - 1 <= n; ++p)
    if (text.compare(static_cast<size_t>(p - 1), pattern.size(), pattern) == 0) return p;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<std::string> parts = korvath::fuzz::SplitInput(data + 1, size - 1, '\0', 3);
  const std::string &text = parts[0], &pattern = parts[1], &other = parts[2];

  FUZZ_CHECK(korvath::SplitFromEnd(text, "|") == NaiveSplitFromEnd(text, "|"));
  FUZZ_CHECK(korvath::SplitFromEnd(text, pattern) == NaiveSplitFromEnd(text, pattern));

  FUZZ_CHECK(korvath::ReplaceAll(text, pattern, other) == NaiveReplaceAll(text, pattern, other));
  FUZZ_CHECK(korvath::ReplaceAll(text, "\\", "/") == NaiveReplaceAll(text, "\\", "/"));

  // Start positions 1 to 255, and now and then far beyond the text's end or below 1, which no
  // caller passes but which must not read outside the text.
  int startPos = data[0];
  if (data[0] == 0xFF) startPos = 1 << 30;
  if (data[0] == 0xFE) startPos = -5;
  const int found = korvath::SearchFrom(startPos, text, pattern);
  if (startPos >= 1 && !pattern.empty())
    FUZZ_CHECK(found == NaiveSearchFrom(startPos, text, pattern));
  else
    FUZZ_CHECK(found == 0);
  return 0;
}
