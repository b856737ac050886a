#include "runtime/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/File.h"

namespace korvath {

EInOutError::EInOutError(int errorCode)
    : Exception(IOErrorMessage(errorCode)), FErrorCode(errorCode) {}
EInOutError::EInOutError(int errorCode, const std::string& what)
    : Exception(what + " (" + IOErrorMessage(errorCode) + ": " +
                platform::SysErrorMessage(errorCode) + ")"),
      FErrorCode(errorCode) {}

std::string IOErrorMessage(int errorCode) {
  switch (errorCode) {
    case ioerror::kFileNotFound:
      return "File not found";
    case ioerror::kPathNotFound:
      return "Invalid filename";
    case ioerror::kTooManyOpenFiles:
      return "Too many open files";
    case ioerror::kAccessDenied:
      return "File access denied";
    case ioerror::kReadBeyondEnd:
      return "Read beyond end of file";
    case ioerror::kDiskFull:
      return "Disk full";
    case ioerror::kInvalidNumericInput:
      return "Invalid numeric input";
    default:
      return Format("I/O error %d", errorCode);
  }
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    result.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(again);
  return result;
}

std::string WithFullStop(const std::string& message) {
  if (!message.empty() && message.back() == '.') return message;
  return message + ".";
}

}  // namespace korvath

namespace korvath {

bool TryStrToInt(const std::string& text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    magnitude = magnitude * base + digit;
    // Hexadecimal text may spell the whole 32-bit pattern ("$FFFFFFFF" is -1).
    if (magnitude > (base == 16 ? int64_t{0xFFFFFFFF} : int64_t{0x80000000})) return false;
  }
  if (base == 16 && magnitude > 0x7FFFFFFF && !negative) magnitude -= int64_t{0x100000000};
  if (base == 10 && !negative && magnitude > 0x7FFFFFFF) return false;
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

int32_t StrToInt(const std::string& text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
  return value;
}

int32_t StrToIntDef(const std::string& text, int32_t defaultValue) {
  int32_t value = 0;
  return TryStrToInt(text, value) ? value : defaultValue;
}

}  // namespace korvath
