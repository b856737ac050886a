#include "engine/DiskBudget.h"

#include "engine/GaugeTape.h"

namespace korvath {

bool InReach(size_t index, size_t current, bool runsAhead, const std::vector<int64_t>& sizeBefore,
             const TReach& reach) {
  if (index <= current) return true;
  return runsAhead && index - current < reach.MaxFiles &&
         sizeBefore[index + 1] - sizeBefore[current] <= reach.MaxListedBytes;
}

void TDiskBudget::Hold(THeld& held, int64_t count, bool download,
                       const std::function<bool()>& ahead, const std::function<bool()>& cancelled,
                       const std::function<bool()>& giveWay) {
  std::unique_lock lock(FLock);
  bool gaveWay = false;
  // Nothing waits on a file the worker has reached: the earliest files are always the ones
  // worked on first, so whatever waits here waits for the worker alone.
  FWake.wait(lock, [&] {
    return cancelled() || !ahead() || FHeld + count <= FBytes || (gaveWay = giveWay && giveWay());
  });
  if (gaveWay || cancelled()) throw ECancelled();
  FHeld += count;
  held.All += count;
  if (download) held.Download += count;
}

void TDiskBudget::Release(THeld& held, bool downloadOnly) {
  {
    const std::lock_guard lock(FLock);
    const int64_t bytes = downloadOnly ? held.Download : held.All;
    FHeld -= bytes;
    held.All -= bytes;
    held.Download = 0;
  }
  FWake.notify_all();
}

void TDiskBudget::Wake() {
  { const std::lock_guard lock(FLock); }
  FWake.notify_all();
}

int64_t TDiskBudget::HeldBytes() const {
  const std::lock_guard lock(FLock);
  return FHeld;
}

}  // namespace korvath
