// How much of the player's disk a run may take, whatever a server sends: what it writes stops
// short of the volume's last free space, and what it fetches ahead of the window is bounded.
#pragma once

#include <cstdint>

#include "list/Limits.h"

namespace korvath {

// The free space no write of a run takes a volume below: a bomb of a few bytes that unpacks to
// a terabyte stops here, never at a full disk. Small and fixed, so that a player's nearly full
// disk still takes the few megabytes an update brings.
inline constexpr int64_t kFreeSpaceFloor = 64 * kMiB;

// Writing asks for the free space again after this much: asking per block of a few KiB would
// cost more than the writing, and between two questions the volume loses at most this much
// more than the floor allows per file being written.
inline constexpr int64_t kFreeSpaceCheckInterval = 4 * kMiB;

// The bytes on disk that the transfers running ahead of the window may hold for files the worker
// has not reached: downloads waiting to be unpacked and unpacked temporaries waiting to be put
// in place. The file the worker shows is never held back, so one file larger than this still
// goes through; everything behind it waits.
inline constexpr int64_t kLookAheadBudget = 256 * kMiB;

}  // namespace korvath
