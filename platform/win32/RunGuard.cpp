// Windows run guard: a named mutex per game folder. The name is made from the folder's full path
// in upper case (names ignore case there) through a hash, because "\" is not allowed in the names
// of kernel objects. The handle is only held, never waited on: a second CreateMutexA of the same
// name, even from this process, reports that the mutex already exists.
#include "platform/RunGuard.h"

#include <windows.h>

#include <cstdio>
#include <system_error>
#include <vector>

namespace korvath::platform {
namespace {

[[noreturn]] void Fail(DWORD error, const std::string& folder) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          "Cannot lock folder " + folder);
}

// The folder as the file system names it, so that a relative path, a short 8.3 name or a
// different spelling of the same folder all lead to one mutex.
std::string CanonicalFolder(const std::string& folder) {
  HANDLE h = CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail(GetLastError(), folder);
  UniqueHandle<FileHandleTraits> opened(reinterpret_cast<intptr_t>(h));
  std::vector<char> buffer(MAX_PATH + 1);
  DWORD length = GetFinalPathNameByHandleA(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetFinalPathNameByHandleA(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  opened.Reset();
  std::string path;
  if (length > 0 && length < buffer.size()) {
    path.assign(buffer.data(), length);
    // "\\?\C:\x" and "\\?\UNC\host\share" back to the forms GetFullPathNameA gives.
    if (path.rfind("\\\\?\\UNC\\", 0) == 0)
      path = "\\\\" + path.substr(8);
    else if (path.rfind("\\\\?\\", 0) == 0)
      path = path.substr(4);
  } else {
    const DWORD needed = GetFullPathNameA(folder.c_str(), 0, nullptr, nullptr);
    if (needed == 0) Fail(GetLastError(), folder);
    std::vector<char> full(needed);
    const DWORD got = GetFullPathNameA(folder.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed) Fail(GetLastError(), folder);
    path.assign(full.data(), got);
  }
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (!path.empty()) CharUpperBuffA(path.data(), static_cast<DWORD>(path.size()));
  return path;
}

// 64-bit FNV-1a: short, stable across builds and machines, plenty against accidental clashes.
std::string MutexName(const std::string& canonical) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : canonical) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string("Local\\Korvath-Run-") + hex;
}

}  // namespace

bool RunGuard::TryAcquire(const std::string& folder, RunGuard& out) {
  out.Release();
  const std::string name = MutexName(CanonicalFolder(folder));
  HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (h == nullptr) {
    // The holder runs with other rights (elevated, say) and its mutex is closed to us.
    if (error == ERROR_ACCESS_DENIED) return false;
    Fail(error, folder);
  }
  UniqueHandle<FileHandleTraits> mutex(reinterpret_cast<intptr_t>(h));
  if (error == ERROR_ALREADY_EXISTS) return false;
  out.FHandle = std::move(mutex);
  return true;
}

}  // namespace korvath::platform
