// The fetch stage of one file: its patch where the list has one for the player's version, and
// its whole copy otherwise or when the patch gives way, each from its addresses in the order the
// address cursor gives, over the connection of the thread that runs it.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/AddressCursor.h"
#include "engine/FileJob.h"
#include "engine/SpaceGuard.h"
#include "engine/Transfer.h"
#include "platform/Http.h"

namespace korvath {

struct TFetchContext {
  platform::HttpSession* Session = nullptr;  // null: no address can be opened
  TMirrorHealth* Health = nullptr;
  std::string WorkDir;  // ends with the separator
  TVolumeQuery VolumeQuery;
  // Count bytes of the download are about to be written: may wait for room, or raise.
  std::function<void(int64_t count)> Hold;
  // What a failed attempt held goes with it.
  std::function<void()> ReleaseDownload;
  TRetryWait Wait;
};

// Resolves the file's names (making its folders), then fetches it as Job.Plan says, recording
// the gauge calls of a file-by-file download on Job.DownloadTape (without closing it). Raises
// what a download raises that is not the address's fault (a local error, ECancelled).
TFetched FetchFile(TFileJob& job, const TFetchContext& context);

}  // namespace korvath
