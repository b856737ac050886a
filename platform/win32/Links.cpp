// What a link may lead the program to on Windows: who made a name (the owner in its security
// descriptor), and kept files opened only when their name is a plain file of one link.
#include <aclapi.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/ErrorCodes.h"
#include "platform/File.h"

namespace korvath::platform {
namespace {

struct LocalFreeDeleter {
  void operator()(void* memory) const noexcept { LocalFree(memory); }
};

// The account the program runs as, as its token names it; empty when it cannot be read.
std::vector<BYTE> RunningUser() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const UniqueHandle<FileHandleTraits> token(reinterpret_cast<intptr_t>(raw));
  DWORD size = 0;
  GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !GetTokenInformation(raw, TokenUser, user.data(), size, &size)) return {};
  return user;
}

}  // namespace

bool MadeByThePlayer(const std::string& path) {
  // The name itself, not what it leads to; a folder's name needs backup semantics to open.
  HANDLE raw = CreateFileA(
      path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  const UniqueHandle<FileHandleTraits> name(reinterpret_cast<intptr_t>(raw));
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(raw, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const std::unique_ptr<void, LocalFreeDeleter> held(descriptor);
  if (owner == nullptr || !IsValidSid(owner)) return false;
  // What an elevated program makes belongs to the administrators; the system's own, to it.
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
      IsWellKnownSid(owner, WinLocalSystemSid))
    return true;
  const std::vector<BYTE> user = RunningUser();
  return !user.empty() &&
         EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

int File::OpenPlainForAppend(const std::string& path, File& result) {
  result.Close();
  // SECURITY: FILE_FLAG_OPEN_REPARSE_POINT opens a planted link itself, never the file it leads
  // to, so the rest of a body is not appended there; do NOT drop it, nor the checks below.
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? kErrorFileNotFound : kErrorAccessDenied;
  }
  result.FHandle.Reset(reinterpret_cast<intptr_t>(h));
  // A second name (a hard link) would lead the bytes into a file elsewhere just the same.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1 || GetFileType(h) != FILE_TYPE_DISK) {
    result.Close();
    return kErrorAccessDenied;
  }
  return 0;
}

}  // namespace korvath::platform
