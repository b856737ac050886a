// Making the folder a file goes into, and finding other accounts' links on the way to it, over the
// calls of File.h; the same on every system.
#include "platform/File.h"

namespace korvath::platform {

bool ForceFolderOf(const std::string& path) {
  const size_t cut = path.find_last_of(kPathDelim);
  const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut);
  return folder.empty() || DirectoryExists(folder) || ForceDirectories(folder);
}

std::string ForeignLinkOnTheWay(const std::string& base, const std::string& path) {
  if (path.compare(0, base.size(), base) != 0) return std::string();
  for (size_t cut = path.find(kPathDelim, base.size()); cut != std::string::npos;
       cut = path.find(kPathDelim, cut + 1)) {
    const std::string folder = path.substr(0, cut);
    // A link the player made (a data folder moved to another drive) is followed; one made by
    // another account that can write the game folder is not.
    if (IsLink(folder) && !MadeByThePlayer(folder))
      return path.substr(base.size(), cut - base.size());
  }
  return std::string();
}

}  // namespace korvath::platform
