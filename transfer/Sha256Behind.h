// The SHA-256 of a file being written, taken on a thread of its own once the file is long enough
// to pay for one: over a large file it costs more than decoding a zstd copy and the MD5
// together, and the core beside the writer is otherwise idle then.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "transfer/Sha256.h"

namespace korvath {

class TSha256Behind {
 public:
  TSha256Behind() = default;
  ~TSha256Behind();
  TSha256Behind(const TSha256Behind&) = delete;
  TSha256Behind& operator=(const TSha256Behind&) = delete;

  // Takes a copy of the bytes once the thread runs; waits while it is several blocks behind.
  void Update(const void* data, size_t length);
  // 64 lower-case hexadecimal characters of everything given.
  std::string FinalHex();

  // From this many bytes on, the digest is taken behind the writer.
  static constexpr uint64_t kThreadFrom = 4 << 20;

 private:
  void Work();
  void Stop();

  // Blocks handed over and not yet taken: a few writes' worth, so the writer never runs far ahead.
  static constexpr size_t kMostQueued = 8;

  TSha256 FSha;
  uint64_t FSeen = 0;
  std::thread FThread;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::string> FQueue;
  bool FClosing = false;
};

}  // namespace korvath
