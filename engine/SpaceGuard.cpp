#include "engine/SpaceGuard.h"

#include <algorithm>
#include <limits>

#include "engine/FileFailed.h"
#include "engine/Limits.h"

namespace korvath {
namespace {

// Whole megabytes (MiB, as the system's own dialogs count them), rounded up or down.
long long MegabytesUp(int64_t bytes) {
  return static_cast<long long>((bytes + kMiB - 1) / kMiB);
}
long long MegabytesDown(int64_t bytes) {
  return static_cast<long long>(bytes / kMiB);
}

}  // namespace

void TSpaceGuard::Reserve(int64_t count) {
  if (FHold) FHold(count);
  if (!FQuery) return;
  // Between two questions the writer counts down what the last answer allowed.
  if (!FAsked || FSinceAsked >= kFreeSpaceCheckInterval) {
    platform::VolumeSpace space;
    FAllowed =
        FQuery(FPath, space) ? space.Free - kFreeSpaceFloor : std::numeric_limits<int64_t>::max();
    FAsked = true;
    FSinceAsked = 0;
  }
  if (count > FAllowed)
    throw EOutOfSpace(Format("not enough disk space (the volume's last %lld MB stay free)",
                             MegabytesDown(kFreeSpaceFloor)));
  FAllowed -= count;
  FSinceAsked += count;
}

void CheckRoomFor(const TVolumeQuery& query, const std::string& path, int64_t needed) {
  platform::VolumeSpace space;
  if (!query || !query(path, space)) return;
  // A listed size near the largest number still compares, without overflowing.
  const int64_t wanted =
      std::clamp<int64_t>(needed, 0, std::numeric_limits<int64_t>::max() - kFreeSpaceFloor) +
      kFreeSpaceFloor;
  if (space.Free < wanted)
    throw EFileFailed(Format("not enough disk space (%lld MB needed, %lld MB free)",
                             MegabytesUp(wanted), MegabytesDown(std::max<int64_t>(space.Free, 0))));
}

}  // namespace korvath
