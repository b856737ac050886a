// The error codes the platform calls return, named once: the Windows numbering on every system
// (the POSIX build maps errno onto it), with the run-time's own code for a full disk.
#pragma once

namespace korvath::platform {

inline constexpr int kErrorFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr int kErrorPathNotFound = 3;       // ERROR_PATH_NOT_FOUND
inline constexpr int kErrorTooManyOpenFiles = 4;   // ERROR_TOO_MANY_OPEN_FILES
inline constexpr int kErrorAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr int kErrorNotEnoughMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
inline constexpr int kErrorFileExists = 80;        // ERROR_FILE_EXISTS
inline constexpr int kErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
// Not the system's ERROR_DISK_FULL (112) but the run-time's "Disk full", which the messages
// of both systems name.
inline constexpr int kErrorDiskFull = 101;
// An errno without a Windows counterpart is kept distinct above this, shown as "I/O error %d".
inline constexpr int kErrorErrnoBase = 1000;

}  // namespace korvath::platform
