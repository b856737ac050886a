// Windows files: CreateFileA and friends.
#include "platform/File.h"

#include <windows.h>
// windows.h maps these names onto its ANSI functions; the platform's own must keep theirs.
#undef DeleteFile
#undef CopyFile

#include <algorithm>
#include <utility>

#include "platform/ErrorCodes.h"

namespace korvath::platform {
namespace {

// A full disk reads as the run-time's "Disk full" rather than a bare number.
int MapError(DWORD e) {
  if (e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL) return kErrorDiskFull;
  return static_cast<int>(e);
}

thread_local int tLastError = 0;

int Fail() {
  tLastError = MapError(GetLastError());
  return tLastError;
}

HANDLE H(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

void FileHandleTraits::Close(intptr_t handle) noexcept {
  CloseHandle(H(handle));
}

int File::Open(const std::string& path, Access access, Share share, Disposition disposition,
               File& result) {
  result.Close();
  DWORD desired = 0;
  switch (access) {
    case Access::Read:
      desired = GENERIC_READ;
      break;
    case Access::Write:
      desired = GENERIC_WRITE;
      break;
    case Access::ReadWrite:
      desired = GENERIC_READ | GENERIC_WRITE;
      break;
  }
  DWORD shareMode = 0;
  if (share == Share::Read) shareMode = FILE_SHARE_READ;
  if (share == Share::ReadWrite) shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD create = disposition == Disposition::CreateAlways ? CREATE_ALWAYS
                       : disposition == Disposition::CreateNew  ? CREATE_NEW
                                                                : OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (disposition == Disposition::CreateAlways) {
    // SECURITY: a file that is to be emptied must never be a link's target elsewhere: the link
    // goes as a name, and one that appears in between is opened itself, not followed.
    if (IsLink(path) && !DirectoryExists(path) && !DeleteFileA(path.c_str())) return Fail();
    flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  }
  HANDLE h = CreateFileA(path.c_str(), desired, shareMode, nullptr, create, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail();
  result.FHandle.Reset(reinterpret_cast<intptr_t>(h));
  // A link that appeared between the look and the open was opened itself: no file to write.
  BY_HANDLE_FILE_INFORMATION info{};
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 && GetFileInformationByHandle(h, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    result.Close();
    return tLastError = ERROR_ACCESS_DENIED;
  }
  return 0;
}

int File::Read(void* buffer, size_t count, size_t& done) {
  done = 0;
  while (done < count) {
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(H(FHandle.Get()), static_cast<char*>(buffer) + done, ask, &got, nullptr))
      return Fail();
    if (got == 0) break;
    done += got;
  }
  return 0;
}

int File::Write(const void* buffer, size_t count, size_t& done) {
  done = 0;
  while (done < count) {
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(H(FHandle.Get()), static_cast<const char*>(buffer) + done, ask, &put, nullptr))
      return Fail();
    if (put == 0) return tLastError = kErrorDiskFull;
    done += put;
  }
  return 0;
}

int File::Seek(int64_t offset, SeekFrom origin, int64_t& position) {
  const DWORD method = origin == SeekFrom::Begin     ? FILE_BEGIN
                       : origin == SeekFrom::Current ? FILE_CURRENT
                                                     : FILE_END;
  LARGE_INTEGER move, now;
  move.QuadPart = offset;
  if (!SetFilePointerEx(H(FHandle.Get()), move, &now, method)) return Fail();
  position = now.QuadPart;
  return 0;
}

int File::Size(int64_t& size) const {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(H(FHandle.Get()), &s)) return Fail();
  size = s.QuadPart;
  return 0;
}

int File::Allocate(int64_t size) {
  LARGE_INTEGER end;
  end.QuadPart = size;
  if (!SetFilePointerEx(H(FHandle.Get()), end, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(H(FHandle.Get())))
    return Fail();
  return 0;
}

int LastError() {
  return tLastError;
}

std::string SysErrorMessage(int errorCode) {
  if (errorCode == kErrorDiskFull) errorCode = ERROR_DISK_FULL;
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                 nullptr, static_cast<DWORD>(errorCode), 0,
                                 reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result;
  if (n != 0 && text != nullptr) {
    result.assign(text, n);
    while (!result.empty() &&
           (result.back() == ' ' || result.back() == '\r' || result.back() == '\n'))
      result.pop_back();
  } else {
    result = "System error " + std::to_string(errorCode) + ".";
  }
  if (text != nullptr) LocalFree(text);
  return result;
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) Fail();
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool CreateDir(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  Fail();
  return false;
}

bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.empty() || DirectoryExists(p)) return !p.empty();
  const auto cut = p.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0 && p[cut - 1] != ':' &&
      !ForceDirectories(p.substr(0, cut)))
    return false;
  if (cut != std::string::npos && cut > 0 && p[cut - 1] == ':' &&
      !DirectoryExists(p.substr(0, cut + 1)))
    return false;
  return CreateDir(p) || DirectoryExists(p);
}

bool DeleteFile(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  Fail();
  return false;
}

bool RenameReplace(const std::string& source, const std::string& target) {
  if (MoveFileExA(source.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  Fail();
  return false;
}

bool CopyFile(const std::string& source, const std::string& target) {
  // CopyFileA would write into the file a link of Target's name leads to.
  if (IsLink(target) && !DirectoryExists(target) && !DeleteFileA(target.c_str())) {
    Fail();
    return false;
  }
  if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return true;
  Fail();
  return false;
}

std::string GetCurrentDir() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n > MAX_PATH) return std::string();
  return std::string(buffer, n);
}

int SetCurrentDir(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) ? 0 : Fail();
}

}  // namespace korvath::platform
