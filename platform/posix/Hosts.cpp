// POSIX hosts file: /etc/hosts, replaced by rename(2) with the old file's mode and owner.
#include "platform/Hosts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/ErrorCodes.h"
#include "platform/File.h"

namespace korvath::platform {
namespace {

int ErrnoCode(int e) {
  switch (e) {
    case ENOENT:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    default:
      return kErrorErrnoBase + e;  // shown as the system's own text, as the file layer does
  }
}

}  // namespace

std::string HostsFilePath() {
  const char* chosen = std::getenv("KORVATH_HOSTS_FILE");
  const std::string path = chosen != nullptr && *chosen != '\0' ? chosen : "/etc/hosts";
  // A hosts file that is a link is edited where it lives: the replacement then goes beside the
  // real file and the link stays a link.
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

int ReplaceHostsFile(const std::string& source, const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return ErrnoCode(errno);
  // rename(2) asks only the folder for permission. A hosts file nobody may write is protected
  // on purpose, and stays as it is even for root.
  if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) return kErrorAccessDenied;
  if (::chmod(source.c_str(), st.st_mode & 07777) != 0) return ErrnoCode(errno);
  // Only root can hand the file to another owner; for anyone else the mode has to do.
  [[maybe_unused]] const int ownerKept = ::chown(source.c_str(), st.st_uid, st.st_gid);
  if (!RenameReplace(source, target)) return LastError();
  return 0;
}

}  // namespace korvath::platform
