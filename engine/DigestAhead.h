// The digests of a checking pass, computed ahead on a few threads while the worker reports
// the entries one by one in list order: hashing a client's gigabytes takes every core, and the
// window still sees one entry after the other.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transfer/Misc.h"
#include "transfer/md5.h"

namespace korvath {

class TDigestAhead {
 public:
  struct TLocalFile {
    std::string Local;  // the entry's local file name
    bool Exists = false;
    TDigestBytes Digest{};  // of its content, when it exists
  };

  // Called on a hashing thread with an entry's list path and local file name before its file
  // is looked at; it must not touch any other entry's file.
  using TPrepare = std::function<void(const std::string& listPath, const std::string& local)>;

  // Starts on the entries of Section (whole list lines) with Threads threads; 0 means one per
  // hardware thread.
  TDigestAhead(const std::string& workDir, const TStringList& section, TPrepare prepare = {},
               unsigned threads = 0);
  // Stops after the files being hashed.
  ~TDigestAhead();
  TDigestAhead(const TDigestAhead&) = delete;
  TDigestAhead& operator=(const TDigestAhead&) = delete;

  // Waits for entry Index. Only for an entry with three fields and an accepted path.
  const TLocalFile& Get(size_t index);
  // Whether Get(Index) would return at once.
  bool Ready(size_t index);

 private:
  void Work();
  void Stop();

  const std::string FWorkDir;
  const TStringList& FSection;
  const TPrepare FPrepare;
  std::vector<TLocalFile> FFiles;
  std::vector<char> FReady;  // per entry; written under FLock
  std::atomic<size_t> FNext{0};
  std::atomic<bool> FStopping{false};
  std::mutex FLock;
  std::condition_variable FReadyWake;
  size_t FWaitingFor;
  std::vector<std::thread> FThreads;
};

}  // namespace korvath
