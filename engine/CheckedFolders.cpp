#include "engine/CheckedFolders.h"

#include "platform/Ascii.h"
#include "platform/File.h"

namespace korvath {

const TCheckedFolders::TFolder& TCheckedFolders::Of(const std::string& local) {
  const size_t cut = local.find_last_of(platform::kPathDelim);
  const std::string path = cut == std::string::npos ? std::string() : local.substr(0, cut + 1);
  const std::lock_guard lock(FLock);
  if (const auto known = FFolders.find(path); known != FFolders.end()) return known->second;
  TFolder& folder = FFolders[path];
  folder.Foreign = !platform::ForeignLinkOnTheWay(FWorkDir, path).empty();
  std::vector<std::string> names;
  // A folder that cannot be listed holds nothing to remove that the pass could remove.
  if (!folder.Foreign && platform::ListFolder(path.empty() ? "." : path, names))
    for (const std::string& name : names)
      for (const std::string& suffix : FSuffixes)
        if (name.size() > suffix.size() &&
            SameText(std::string_view(name).substr(name.size() - suffix.size()), suffix)) {
          folder.Leftovers.insert(LowerCase(name));
          break;
        }
  return folder;
}

bool TCheckedFolders::MayHold(const TFolder& folder, const std::string& local, const char* suffix) {
  if (folder.Leftovers.empty()) return false;
  const size_t cut = local.find_last_of(platform::kPathDelim);
  return folder.Leftovers.count(
             LowerCase(local.substr(cut == std::string::npos ? 0 : cut + 1) + suffix)) != 0;
}

}  // namespace korvath
