// What a link may lead the program to on POSIX: who made a name, and kept files opened only
// when their name is a plain file of one link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ErrorCodes.h"
#include "platform/File.h"

namespace korvath::platform {

bool MadeByThePlayer(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  // The rule the kernel applies to links in shared folders: the follower's own, or root's.
  return st.st_uid == ::geteuid() || st.st_uid == 0;
}

int File::OpenPlainForAppend(const std::string& path, File& result) {
  result.Close();
  // SECURITY: O_NOFOLLOW keeps a planted link from having the rest of a body appended to the
  // file it leads to; do NOT drop it, nor the checks on the open file below.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied;
  result.FHandle.Reset(fd);
  // A second name (a hard link) would lead the bytes into a file elsewhere just the same.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    result.Close();
    return kErrorAccessDenied;
  }
  return 0;
}

}  // namespace korvath::platform
