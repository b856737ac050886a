#include "engine/SpaceGuard.h"

#include <limits>

#include "engine/Limits.h"

namespace korvath {

void TSpaceGuard::Reserve(int64_t count) {
  if (FHold) FHold(count);
  if (!FQuery) return;
  // Between two questions the writer counts down what the last answer allowed.
  if (!FAsked || FSinceAsked >= kFreeSpaceCheckInterval) {
    platform::VolumeSpace space;
    const bool known = FQuery(FPath, space);
    FReserve = known ? FreeSpaceReserve(space.Total) : 0;
    FAllowed = known ? space.Free - FReserve : std::numeric_limits<int64_t>::max();
    FAsked = true;
    FSinceAsked = 0;
  }
  if (count > FAllowed)
    throw EOutOfSpace(
        Format("the free space of the volume would fall below its reserve of %lld "
               "bytes",
               static_cast<long long>(FReserve)));
  FAllowed -= count;
  FSinceAsked += count;
}

}  // namespace korvath
