// How far the transfers may run ahead of the file the worker shows: which files are in reach,
// and the bytes on disk their temporaries may hold meanwhile. The file the worker shows is never
// held back, so one file larger than the budget still goes through; everything behind it waits.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/Limits.h"

namespace korvath {

// Enough files and listed bytes to keep every connection and core busy behind a large file,
// few enough to bound the temporaries. The bytes are the real bound; the file count only caps
// the bookkeeping, and must leave room for the hundreds of small files that may follow a large
// one.
struct TReach {
  size_t MaxFiles = 1024;
  int64_t MaxListedBytes = 192 * kMiB;
};

// Whether file Index may be started while the worker shows file Current. SizeBefore[i] is the
// sum of the listed sizes of the files before file i (one more element than there are files).
// A file that may not run ahead waits until the worker reaches it.
bool InReach(size_t index, size_t current, bool runsAhead, const std::vector<int64_t>& sizeBefore,
             const TReach& reach = {});

// The bytes a file's temporaries hold: all of them, and of them its download's.
struct THeld {
  int64_t All = 0;
  int64_t Download = 0;
};

class TDiskBudget {
 public:
  explicit TDiskBudget(int64_t bytes = kLookAheadBudget) : FBytes(bytes) {}

  // Count more bytes of a file are about to be written. While the file is ahead of the worker's
  // (Ahead, asked again at every wake-up), waits until they fit; raises ECancelled once
  // Cancelled says so, or once GiveWay does: it is asked only while the bytes do not fit, so
  // that a file ahead gives its thread up only where it would otherwise keep it idle.
  void Hold(THeld& held, int64_t count, bool download, const std::function<bool()>& ahead,
            const std::function<bool()>& cancelled, const std::function<bool()>& giveWay = nullptr);
  // The file's temporaries, or only its download, are gone.
  void Release(THeld& held, bool downloadOnly);
  // Something a waiting Hold asks changed: the worker moved on, a file was given up.
  void Wake();
  int64_t HeldBytes() const;

 private:
  const int64_t FBytes;
  mutable std::mutex FLock;
  std::condition_variable FWake;
  int64_t FHeld = 0;
};

}  // namespace korvath
