#include "engine/DigestAhead.h"

#include <algorithm>
#include <chrono>

#include "engine/GetFilesThr.h"
#include "list/LocalPath.h"
#include "platform/File.h"

namespace korvath {
namespace {

// More threads than this only queue up on the disk.
constexpr unsigned kMaxThreads = 8;
constexpr size_t kNobody = static_cast<size_t>(-1);
// A worker waiting for a digest sleeps until this many files later are done too, or for this
// long, whichever comes first.
constexpr size_t kWakeAfter = 16;
constexpr std::chrono::milliseconds kWakeDelay{10};

}  // namespace

TDigestAhead::TDigestAhead(const std::string& workDir, const TStringList& section, TPrepare prepare,
                           unsigned threads)
    : FWorkDir(workDir),
      FSection(section),
      FPrepare(std::move(prepare)),
      FFiles(section.size()),
      FReady(section.size(), 0),
      FWaitingFor(kNobody) {
  if (threads == 0) threads = std::thread::hardware_concurrency();
  threads = std::clamp(threads, 1u, kMaxThreads);
  try {
    for (unsigned i = 0; i < threads; ++i) FThreads.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

TDigestAhead::~TDigestAhead() {
  Stop();
}

void TDigestAhead::Stop() {
  FStopping = true;
  for (std::thread& thread : FThreads) thread.join();
  FThreads.clear();
}

void TDigestAhead::Work() {
  for (size_t i = FNext++; i < FSection.size() && !FStopping; i = FNext++) {
    TLocalFile file;
    try {
      const TFileEntry entry = SplitFileEntry(FSection[i]);
      if (RefusedPathReason(entry.Path).empty()) {
        file.Local = LocalPathOf(FWorkDir, entry.Path);
        if (FPrepare) FPrepare(entry.Path, file.Local);
        file.Exists = platform::FileExists(file.Local);
        if (file.Exists) FileDigest(file.Local, file.Digest);
      }
    } catch (const std::exception&) {
      // An entry that cannot be read is the worker's to report when it gets there.
    }
    const std::lock_guard lock(FLock);
    FFiles[i] = std::move(file);
    FReady[i] = 1;
    if (FWaitingFor == i) FReadyWake.notify_one();
  }
}

bool TDigestAhead::Ready(size_t index) {
  const std::lock_guard lock(FLock);
  return FReady[index] != 0;
}

const TDigestAhead::TLocalFile& TDigestAhead::Get(size_t index) {
  std::unique_lock lock(FLock);
  if (FReady[index] == 0) {
    // A worker that has caught up with the hashing would be woken once per file. It waits for
    // a few more files at once instead, but never much longer than for its own.
    const size_t later = std::min(index + kWakeAfter, FReady.size() - 1);
    FWaitingFor = later;
    FReadyWake.wait_for(lock, kWakeDelay, [&] { return FReady[later] != 0; });
    FWaitingFor = index;
    FReadyWake.wait(lock, [&] { return FReady[index] != 0; });
    FWaitingFor = kNobody;
  }
  return FFiles[index];
}

}  // namespace korvath
