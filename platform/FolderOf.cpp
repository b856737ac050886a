// Making the folder a file goes into, over the calls of File.h; the same on every system.
#include "platform/File.h"

namespace korvath::platform {

bool ForceFolderOf(const std::string& path) {
  const size_t cut = path.find_last_of(kPathDelim);
  const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut);
  return folder.empty() || DirectoryExists(folder) || ForceDirectories(folder);
}

}  // namespace korvath::platform
