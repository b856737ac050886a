// Volume space through GetDiskFreeSpaceExA, which takes any folder of the volume and answers
// with the space the caller's quota leaves.
#include "platform/Volume.h"

#include <windows.h>

#include "platform/File.h"

namespace korvath::platform {

bool GetVolumeSpace(const std::string& path, VolumeSpace& space) {
  const size_t cut = path.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? ".\\" : path.substr(0, cut + 1);
  ULARGE_INTEGER available{}, total{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, &total, nullptr)) return false;
  space.Free = static_cast<int64_t>(available.QuadPart);
  space.Total = static_cast<int64_t>(total.QuadPart);
  return true;
}

}  // namespace korvath::platform
