// The decode stage of one fetched file: its copy unpacked, or the player's file rebuilt with its
// patch, into the temporary beside the file, with the digests of what was written.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/FileJob.h"
#include "engine/SpaceGuard.h"

namespace korvath {

struct TDecodeContext {
  TVolumeQuery VolumeQuery;
  // Count bytes of the temporary are about to be written: may wait for room, or raise.
  std::function<void(int64_t count)> Hold;
  // Threads the unpacking may keep: 1 decodes on the caller's thread alone, 0 spreads a large
  // stream's blocks over every core.
  unsigned Decoders = 1;
};

// Decodes Job's fetched copy (or rebuilds it from its patch, when that is what came), recording
// the gauge calls on Job.DecodeTape (without closing it). The download and the patch are read
// once and go, whatever comes of them. Failures are kept in the result, not raised; a patch that
// does not rebuild the listed file sets PatchFailure, and the whole copy is wanted.
TDecoded DecodeFile(TFileJob& job, const TDecodeContext& context);

}  // namespace korvath
