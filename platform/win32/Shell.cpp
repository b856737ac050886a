// Windows shell: SHFileOperationA for folder trees, WinExec for program starts.
#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include <vector>

#include "platform/Shell.h"

namespace korvath::platform {

bool DeleteTree(const std::string& path) {
  // A link to a folder goes as a name: the shell must not empty the folder it leads to.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryA(path.c_str())
                                                        : DeleteFileA(path.c_str());
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
