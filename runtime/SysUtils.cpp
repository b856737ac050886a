#include "runtime/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace korvath {

EInOutError::EInOutError(int errorCode) : Exception(IOErrorMessage(errorCode)), FErrorCode(errorCode) {}

std::string IOErrorMessage(int errorCode) {
  switch (errorCode) {
    case ioerror::kFileNotFound: return "File not found";
    case ioerror::kPathNotFound: return "Invalid filename";
    case ioerror::kTooManyOpenFiles: return "Too many open files";
    case ioerror::kAccessDenied: return "File access denied";
    case ioerror::kReadBeyondEnd: return "Read beyond end of file";
    case ioerror::kDiskFull: return "Disk full";
    case ioerror::kInvalidNumericInput: return "Invalid numeric input";
    default: return Format("I/O error %d", errorCode);
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
