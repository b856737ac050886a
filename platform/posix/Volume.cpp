// Volume space through statvfs.
#include "platform/Volume.h"

#include <sys/statvfs.h>

#include "platform/File.h"

namespace korvath::platform {

bool GetVolumeSpace(const std::string& path, VolumeSpace& space) {
  const size_t cut = path.find_last_of(kPathDelim);
  const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut + 1);
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return false;
  space.Free = static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
  space.Total = static_cast<int64_t>(info.f_blocks) * static_cast<int64_t>(info.f_frsize);
  return true;
}

}  // namespace korvath::platform
