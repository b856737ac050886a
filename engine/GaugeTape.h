// The gauge calls of one phase of a file's transfer: recorded by the thread that does the work,
// ahead of the window, and played on the worker's thread in the order they were made, so that
// the window sees what a file-by-file transfer shows.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "engine/Transfer.h"

namespace korvath {

// A transfer given up (a stop, a discard, a file giving its thread up) ends at its next gauge
// call, pause or wait for room.
class ECancelled : public Exception {
 public:
  ECancelled() : Exception("cancelled") {}
};

class TGaugeTape {
 public:
  using TPlay = std::function<void(std::span<const TGaugeCall>)>;

  // Raises ECancelled once the tape is cut. While the worker plays the tape and is this many
  // calls behind, waits for it: a slow window bounds the memory the calls take. A tape not
  // being played is bounded by the disk budget of the transfers ahead.
  static constexpr size_t kMaxPending = 64 * 1024;
  void Record(const TGaugeCall& call);
  // Every call is recorded.
  void Close();
  // The recorder's next call raises ECancelled.
  void Cut();
  // Empty and open again, for another turn of the same phase.
  void Rewind();
  // Plays every call, batch by batch as they come, until the tape is closed and played out.
  void Play(const TPlay& play);

 private:
  std::mutex FLock;
  std::condition_variable FWake;
  std::vector<TGaugeCall> FCalls;
  bool FClosed = false;
  bool FCut = false;
  bool FPlaying = false;
};

}  // namespace korvath
