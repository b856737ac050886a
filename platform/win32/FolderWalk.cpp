#include "platform/FolderWalk.h"

#include <windows.h>

#include "platform/Handle.h"

namespace korvath::platform {
namespace {

struct FindTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE find) noexcept { FindClose(find); }
};
using UniqueFind = UniqueHandle<FindTraits>;

void Walk(const std::string& folder, const std::string& below,
          const std::function<bool(const std::string& relative)>& enter,
          const std::function<void(const std::string& relative)>& visit) {
  WIN32_FIND_DATAA found;
  const UniqueFind find(FindFirstFileExA((folder + below + "*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string relative = below + name;
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) visit(relative);
    // A junction or a link to a folder is a reparse point: never looked into.
    else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && enter(relative))
      Walk(folder, relative + "\\", enter, visit);
  } while (FindNextFileA(find.Get(), &found));
}

}  // namespace

void ForEachNameBelow(const std::string& folder,
                      const std::function<bool(const std::string& relative)>& enter,
                      const std::function<void(const std::string& relative)>& visit) {
  Walk(folder, "", enter, visit);
}

}  // namespace korvath::platform
