// POSIX run guard: an exclusive flock on the game folder itself. The lock belongs to the open
// file description, so a second open of the folder, in this process or another, is refused,
// and the kernel drops it when the descriptor closes or the process dies.
#include "platform/RunGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace korvath::platform {

bool RunGuard::TryAcquire(const std::string& folder, RunGuard& out) {
  out.Release();
  // The folder, not a lock file in it: nothing is left behind for the player to find.
  UniqueHandle<FileHandleTraits> fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) {
    const int e = errno;
    throw std::system_error(e, std::generic_category(), "Cannot lock folder " + folder);
  }
  if (flock(static_cast<int>(fd.Get()), LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    if (e == EWOULDBLOCK) return false;
    throw std::system_error(e, std::generic_category(), "Cannot lock folder " + folder);
  }
  out.FHandle = std::move(fd);
  return true;
}

}  // namespace korvath::platform
