// Exceptions of the run-time and the texts they carry. Every failure travels as one of these.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/ErrorCodes.h"

namespace korvath {

// The base of every error the program raises: a message text, shown as it stands.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// An input/output error with the system's error code; its message is IOErrorMessage(code).
class EInOutError : public Exception {
 public:
  explicit EInOutError(int errorCode);
  // The same error, its message led by what failed: "<what> (I/O error 80: <system's text>)".
  EInOutError(int errorCode, const std::string& what);
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};

class EStreamError : public Exception {
  using Exception::Exception;
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
class EConvertError : public Exception {
  using Exception::Exception;
};
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};

// Error codes as the Windows run-time numbers them; the POSIX layer maps errno onto these.
namespace ioerror {
inline constexpr int kFileNotFound = platform::kErrorFileNotFound;
inline constexpr int kPathNotFound = platform::kErrorPathNotFound;  // "Invalid filename"
inline constexpr int kTooManyOpenFiles = platform::kErrorTooManyOpenFiles;
inline constexpr int kAccessDenied = platform::kErrorAccessDenied;
inline constexpr int kReadBeyondEnd = 100;
inline constexpr int kDiskFull = platform::kErrorDiskFull;
inline constexpr int kInvalidNumericInput = 106;
}  // namespace ioerror

// "File not found", "Invalid filename", ... and "I/O error %d" for any other code.
std::string IOErrorMessage(int errorCode);

// printf-style formatting for the run-time's message texts ("error %d", "Cannot open file "%s".
// %s").
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The text an error box shows: the message with a full stop appended when it does not end in one.
std::string WithFullStop(const std::string& message);

}  // namespace korvath

namespace korvath {

// Integer text as the run-time reads it: optional blanks in front, a sign, decimal digits or
// "$"/"0x" hexadecimal, nothing after. Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& text);
int32_t StrToIntDef(const std::string& text, int32_t defaultValue);
bool TryStrToInt(const std::string& text, int32_t& value);

}  // namespace korvath
