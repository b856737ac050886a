// Windows hosts file: found below the Windows folder, replaced with ReplaceFileA so that it
// keeps its security settings.
#include "platform/Hosts.h"

#include <windows.h>

#include <cstdlib>

#include "platform/File.h"
#include "platform/win32/Hosts.h"

namespace korvath::platform {

std::string HostsFileBelow(const std::string& windowsFolder) {
  const std::string etc = windowsFolder + "\\system32\\drivers\\etc\\";
  return FileExists(etc + "hosts.msn") ? etc + "hosts.msn" : etc + "hosts";
}

std::string HostsFilePath() {
  if (const char* chosen = std::getenv("KORVATH_HOSTS_FILE"); chosen != nullptr && *chosen != '\0')
    return chosen;
  char folder[260];
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return std::string();
  return HostsFileBelow(std::string(folder, length));
}

int ReplaceHostsFile(const std::string& source, const std::string& target) {
  // The read-only mark is how users protect their hosts file; renaming over the file would
  // ignore it, so it is honoured here.
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return static_cast<int>(GetLastError());
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
  // Without a backup name, a failed ReplaceFileA leaves both files under their own names, so
  // the plain move can still be tried (file systems without the security copy refuse it).
  if (ReplaceFileA(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                   nullptr, nullptr))
    return 0;
  if (MoveFileExA(source.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  return static_cast<int>(GetLastError());
}

}  // namespace korvath::platform
