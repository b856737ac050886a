// Listing a folder on Windows: FindFirstFileA and FindNextFileA.
#include <windows.h>

#include <cstring>

#include "platform/File.h"

namespace korvath::platform {
namespace {

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) noexcept { FindClose(handle); }
};

}  // namespace

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  WIN32_FIND_DATAA found{};
  const bool ends = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  const std::string pattern = folder + (ends ? "*" : "\\*");
  const UniqueHandle<FindHandleTraits> find(FindFirstFileA(pattern.c_str(), &found));
  if (!find) return false;
  do {
    if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
      names.emplace_back(found.cFileName);
  } while (FindNextFileA(find.Get(), &found));
  return true;
}

}  // namespace korvath::platform
