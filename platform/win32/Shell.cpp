// Windows shell: SHFileOperationA for folder trees, WinExec for program starts.
#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/Shell.h"

namespace korvath::platform {
namespace {

struct FindTraits {
  using Type = HANDLE;
  static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) noexcept { FindClose(handle); }
};

// Removes Path as a name when it is a link (a reparse point), never what it leads to.
bool RemoveLink(const std::string& path, DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryA(path.c_str()) != 0
                                                      : DeleteFileA(path.c_str()) != 0;
}

// Removes every link below Folder as a name, without going into it. False when one stays: the
// shell's deletion goes into a linked folder and empties it (Wine's does), so it must find none.
bool RemoveLinksBelow(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  const UniqueHandle<FindTraits> find(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return true;
  bool removed = true;
  do {
    const std::string name = found.cFileName;
    const std::string path = folder + "\\" + name;
    if (name == "." || name == "..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      removed = RemoveLink(path, found.dwFileAttributes) && removed;
    else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      removed = RemoveLinksBelow(path) && removed;
  } while (FindNextFileA(find.Get(), &found));
  return removed;
}

}  // namespace

bool DeleteTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return RemoveLink(path, attributes);
  if (!RemoveLinksBelow(path)) return false;
  // The source list is a sequence of zero-terminated names ending with an empty one.
  std::vector<char> from(path.begin(), path.end());
  from.push_back('\0');
  from.push_back('\0');
  SHFILEOPSTRUCTA op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.data();
  op.pTo = nullptr;
  // No FOF_ALLOWUNDO: the folder does not go to the recycle bin.
  op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT;
  return SHFileOperationA(&op) == 0;
}

void StartHidden(const std::string& programPath) {
  // Always quoted, so that a folder such as "C:\Program Files\..." can never start
  // "C:\Program.exe" and one such as "C:\Games\R&D" never splits the command at "&" (a
  // script is started through the command interpreter, which reads "&" outside quotes); and
  // never cut short, however long the path.
  const std::string commandLine = "\"" + programPath + "\"";
  WinExec(commandLine.c_str(), SW_HIDE);
}

const char* FolderEndChars() {
  return "\\:";
}

}  // namespace korvath::platform
