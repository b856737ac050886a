// Listing a folder on POSIX: readdir(3).
#include <dirent.h>

#include <cstring>
#include <memory>

#include "platform/File.h"

namespace korvath::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

}  // namespace

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get()))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  return true;
}

}  // namespace korvath::platform
