// The space of the volume a path lies on, as the calling user may use it: what keeps a run
// from filling the player's disk.
#pragma once

#include <cstdint>
#include <string>

namespace korvath::platform {

struct VolumeSpace {
  int64_t Free = 0;   // bytes the caller may still write
  int64_t Total = 0;  // the volume's size
};

// The space of the volume that holds Path's folder (Path itself need not exist). False when the
// system cannot tell.
[[nodiscard]] bool GetVolumeSpace(const std::string& path, VolumeSpace& space);

}  // namespace korvath::platform
