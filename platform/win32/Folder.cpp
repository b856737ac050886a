// Listing a folder on Windows.
#include "platform/File.h"
#include "platform/win32/FindNames.h"

namespace korvath::platform {

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  const bool ends = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  return ForEachFound(folder + (ends ? "*" : "\\*"),
                      [&](const std::string& name, DWORD) { names.push_back(name); });
}

}  // namespace korvath::platform
