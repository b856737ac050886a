// The free-space floor as a writer meets it: asked before bytes are written, it raises once
// they would take the volume's free space below the floor; and the room a game file needs,
// asked before its first byte. Work done ahead of the window may also have to wait for room in
// its budget first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Volume.h"
#include "runtime/SysUtils.h"

namespace korvath {

// Where a run learns a volume's space: the system's answer, or a test's.
using TVolumeQuery = std::function<bool(const std::string& path, platform::VolumeSpace& space)>;

class EOutOfSpace : public Exception {
  using Exception::Exception;
};

class TSpaceGuard {
 public:
  // Guards writes to Path; an empty Query guards nothing.
  TSpaceGuard(TVolumeQuery query, std::string path)
      : FQuery(std::move(query)), FPath(std::move(path)) {}

  // Count bytes are about to be written. Raises EOutOfSpace when they would leave less than the
  // floor free. A volume whose space the system cannot tell is not held up.
  void Reserve(int64_t count);
  // Hold is called with every count before the floor is asked; it may wait or raise.
  void HoldWith(std::function<void(int64_t count)> hold) { FHold = std::move(hold); }

 private:
  TVolumeQuery FQuery;
  std::function<void(int64_t)> FHold;
  std::string FPath;
  bool FAsked = false;
  int64_t FAllowed = 0;  // bytes that may still be written before the floor is reached
  int64_t FSinceAsked = 0;
};

// Raises EFileFailed ("not enough disk space (N MB needed, M MB free)") when the volume of
// Path's folder has less free space than Needed bytes above the floor: a game file is refused
// before its first byte, and the other files go on. N counts the floor too, so that the two
// figures compare. An empty Query, or a volume the system cannot tell, refuses nothing.
void CheckRoomFor(const TVolumeQuery& query, const std::string& path, int64_t needed);

}  // namespace korvath
