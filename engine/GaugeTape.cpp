#include "engine/GaugeTape.h"

#include <utility>

namespace korvath {

void TGaugeTape::Record(const TGaugeCall& call) {
  std::unique_lock lock(FLock);
  FWake.wait(lock, [&] { return FCut || !FPlaying || FCalls.size() < kMaxPending; });
  if (FCut) throw ECancelled();
  FCalls.push_back(call);
  // The player takes every call there is when it wakes, so only the first one wakes it.
  if (FCalls.size() == 1) FWake.notify_all();
}

void TGaugeTape::Close() {
  const std::lock_guard lock(FLock);
  FClosed = true;
  FWake.notify_all();
}

void TGaugeTape::Cut() {
  const std::lock_guard lock(FLock);
  FCut = true;
  FWake.notify_all();
}

void TGaugeTape::Rewind() {
  const std::lock_guard lock(FLock);
  FCalls.clear();
  FClosed = FCut = false;
}

void TGaugeTape::Play(const TPlay& play) {
  std::vector<TGaugeCall> batch;
  for (bool done = false; !done;) {
    {
      std::unique_lock lock(FLock);
      FPlaying = true;
      FWake.wait(lock, [&] { return !FCalls.empty() || FClosed; });
      // Every call is recorded before the tape is closed.
      done = FClosed;
      batch.clear();
      std::swap(batch, FCalls);
      if (done) FPlaying = false;
      FWake.notify_all();
    }
    if (!batch.empty()) play(batch);
  }
}

}  // namespace korvath
