// POSIX: the running program's executable as the kernel names it.
#include "platform/Program.h"

#include <unistd.h>

#include <vector>

namespace korvath::platform {

std::string ProgramFilePath() {
  std::vector<char> buffer(256);
  while (true) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);  // the name may have been cut: ask again with more room
  }
}

}  // namespace korvath::platform
