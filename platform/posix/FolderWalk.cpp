#include "platform/FolderWalk.h"

#include <filesystem>
#include <system_error>

namespace korvath::platform {

namespace fs = std::filesystem;

void ForEachNameBelow(const std::string& folder,
                      const std::function<bool(const std::string& relative)>& enter,
                      const std::function<void(const std::string& relative)>& visit) {
  std::error_code ec;
  std::string start = folder;
  if (start.size() > 1 && start.back() == '/') start.pop_back();
  const fs::path base(start);
  // The iterator follows no link to a folder unless told to.
  fs::recursive_directory_iterator it(base, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = it->path().lexically_relative(base).string();
    if (it->is_symlink(ec)) {
      if (!it->is_directory(ec)) visit(relative);
      it.disable_recursion_pending();
    } else if (it->is_directory(ec)) {
      if (!enter(relative)) it.disable_recursion_pending();
    } else {
      visit(relative);
    }
    ec.clear();
  }
}

}  // namespace korvath::platform
