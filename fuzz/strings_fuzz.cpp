// SplitFromEnd and ReplaceAll against the plainest code that does the same, on any bytes. The
// input is the operation's texts separated by NUL bytes, after one byte that the seeds still
// carry and nothing reads.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<std::string> parts = korvath::fuzz::SplitInput(data + 1, size - 1, '\0', 3);
  const std::string &text = parts[0], &pattern = parts[1], &other = parts[2];

  FUZZ_CHECK(korvath::SplitFromEnd(text, "|") == NaiveSplitFromEnd(text, "|"));
  FUZZ_CHECK(korvath::SplitFromEnd(text, pattern) == NaiveSplitFromEnd(text, pattern));

  FUZZ_CHECK(korvath::ReplaceAll(text, pattern, other) == NaiveReplaceAll(text, pattern, other));
  FUZZ_CHECK(korvath::ReplaceAll(text, "\\", "/") == NaiveReplaceAll(text, "\\", "/"));
  return 0;
}
