#include "platform/FolderWalk.h"

#include "platform/win32/FindNames.h"

namespace korvath::platform {
namespace {

void Walk(const std::string& folder, const std::string& below,
          const std::function<bool(const std::string& relative)>& enter,
          const std::function<void(const std::string& relative)>& visit) {
  ForEachFound(folder + below + "*", [&](const std::string& name, DWORD attributes) {
    const std::string relative = below + name;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) visit(relative);
    // A junction or a link to a folder is a reparse point: never looked into.
    else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && enter(relative))
      Walk(folder, relative + "\\", enter, visit);
  });
}

}  // namespace

void ForEachNameBelow(const std::string& folder,
                      const std::function<bool(const std::string& relative)>& enter,
                      const std::function<void(const std::string& relative)>& visit) {
  Walk(folder, "", enter, visit);
}

}  // namespace korvath::platform
