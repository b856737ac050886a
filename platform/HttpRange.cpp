// The headers of range requests and partial answers, shared by both HTTP clients.
#include <string_view>

#include "platform/Ascii.h"
#include "platform/Http.h"

namespace korvath::platform {
namespace {

// The decimal number at the front of Text, which it leaves behind; nothing when there is none
// or it does not fit.
std::optional<int64_t> TakeNumber(std::string_view& text) {
  size_t digits = 0;
  int64_t value = 0;
  for (; digits < text.size() && IsDigit(text[digits]); ++digits) {
    if (value > (INT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + (text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

bool TakeText(std::string_view& text, std::string_view expected) {
  if (!StartsWithText(text, expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<HttpContentRange> ParseContentRange(const std::string& value) {
  std::string_view text = Trimmed(value);
  if (!TakeText(text, "bytes ")) return std::nullopt;
  const std::optional<int64_t> first = TakeNumber(text);
  if (!first || !TakeText(text, "-")) return std::nullopt;
  const std::optional<int64_t> last = TakeNumber(text);
  if (!last || *last < *first || !TakeText(text, "/")) return std::nullopt;
  HttpContentRange range{*first, std::nullopt};
  if (text == "*") return range;
  range.Total = TakeNumber(text);
  if (!range.Total || !text.empty() || *range.Total <= *last) return std::nullopt;
  return range;
}

std::string RangeHeaders(const HttpRequest& request) {
  if (request.From == 0 && request.IfRange.empty()) return {};
  std::string headers = "Range: bytes=" + std::to_string(request.From) + "-\r\n";
  if (!request.IfRange.empty()) headers += "If-Range: " + request.IfRange + "\r\n";
  return headers;
}

}  // namespace korvath::platform
