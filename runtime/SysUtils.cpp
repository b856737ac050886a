#include "runtime/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/File.h"
#include "platform/Integer.h"

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
  std::string_view rest = text;
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  const bool negative = !rest.empty() && rest.front() == '-';
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) rest.remove_prefix(1);
  int base = 10;
  if (!rest.empty() && rest.front() == '$') {
    base = 16;
    rest.remove_prefix(1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    base = 16;
    rest.remove_prefix(2);
  }
  return ParseInt32(rest, base, negative, value);
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
