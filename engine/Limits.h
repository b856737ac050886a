// How much of the player's disk a run may take, whatever a server sends: what it writes stops
// short of the volume's last free space, and what it fetches ahead of the window is bounded.
#pragma once

#include <algorithm>
#include <cstdint>

#include "list/Limits.h"

namespace korvath {

// The free space a run leaves on a volume it writes to: a bomb of a few bytes that unpacks to a
// terabyte costs the player at most this much, never a full disk.
inline constexpr int64_t kMinFreeSpaceReserve = 1024 * kMiB;
inline constexpr int64_t kFreeSpaceReservePercent = 5;

inline int64_t FreeSpaceReserve(int64_t volumeSize) {
  return std::max(kMinFreeSpaceReserve, volumeSize / 100 * kFreeSpaceReservePercent);
}

// Writing asks for the free space again after this much: asking per block of a few KiB would
// cost more than the writing, and between two questions the volume loses at most this much
// more than the reserve allows per file being written.
inline constexpr int64_t kFreeSpaceCheckInterval = 4 * kMiB;

// The bytes on disk that the transfers running ahead of the window may hold for files the worker
// has not reached: downloads waiting to be unpacked and unpacked temporaries waiting to be put
// in place. The file the worker shows is never held back, so one file larger than this still
// goes through; everything behind it waits.
inline constexpr int64_t kLookAheadBudget = 256 * kMiB;

}  // namespace korvath
