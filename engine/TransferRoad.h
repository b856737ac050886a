// The transfers of the replacement pass, run ahead of what the window shows: up to N files are
// fetched at once, each over a connection kept alive for the run, and a pool decodes fetched
// files in list order. The worker plays each file's gauge tapes in list order, checks what came,
// and keeps it or sends the file round again (from its next address, or whole when its patch
// gave way), on the same threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/AddressCursor.h"
#include "engine/DiskBudget.h"
#include "engine/FileJob.h"
#include "engine/SpaceGuard.h"
#include "engine/Transfer.h"
#include "transfer/Misc.h"

namespace korvath {

// Files fetched at once, unless the front end asks for another number in this range.
inline constexpr unsigned kDefaultConnections = 4;
inline constexpr unsigned kMaxConnections = 8;

class TTransferRoad {
 public:
  struct TSettings {
    std::string WorkDir;               // ends with the separator
    std::string Server;                // ends with "/"
    std::vector<std::string> Mirrors;  // bases ending with "/", asked before the server
    bool CreateBackup = false;
    // Every listed path as ListKey gives it: a file whose temporaries carry a listed name is
    // only touched once every file before it is done.
    std::set<std::string> ListedPaths;
    HttpOpener Opener;
    TVolumeQuery VolumeQuery;
    unsigned Connections = kDefaultConnections;
    unsigned Decoders = 0;  // 0: one per hardware thread, up to a few
    int64_t AheadBudget = kLookAheadBudget;
    TReach Reach;
    // Per entry, the patch it is rebuilt with instead of fetched whole; none fetches the copy.
    std::vector<TPatchPlan> Patches;
  };

  TTransferRoad(TSettings settings, const TStringList& entries);
  // Stops the transfers and removes the temporaries of every file the worker has not finished,
  // but for a download stopped before its body was whole that has its record.
  ~TTransferRoad();
  TTransferRoad(const TTransferRoad&) = delete;
  TTransferRoad& operator=(const TTransferRoad&) = delete;

  // The worker's side, for the file it shows. Plays the fetch's gauge calls and returns what
  // came; raises what the fetch raised.
  const TFetched& PlayDownload(size_t index, const TGaugeTape::TPlay& play);
  // Plays the decoding's gauge calls and returns its result.
  TDecoded& PlayDecode(size_t index, const TGaugeTape::TPlay& play);
  // Sends the file round again as Plan says, its temporaries gone.
  void Refetch(size_t index, const TFetchPlan& plan);
  // Puts the decoded temporary in place of the file. Returns 0 or the error code.
  int Keep(size_t index);
  // Stops any work on the file and removes its temporaries.
  void Discard(size_t index);
  // The worker is done with the file and goes on with the next one.
  void Finished(size_t index);
  const TFileJob& Job(size_t index) const { return *FJobs[index]; }

 private:
  enum class TStage { Queued, Fetching, Fetched, Decoding, Decoded, Final };
  void Stop();
  void FetchLoop();
  void DecodeLoop();
  bool NextToFetch(size_t& index) const;
  bool NextToDecode(size_t from, size_t& index) const;
  // The file the worker waits for is not being worked on and every thread of the kind it needs
  // is busy with files ahead: the first of those that waits for room gives its thread up, the
  // one claim Wanted stands for. Threads that are working on a file go on with it.
  void Want(std::atomic<bool>& wanted);
  static bool Claimed(std::atomic<bool>& wanted);
  // Ends a turn given up for the file the worker waits for: back in the queue.
  void TakenBack(size_t index);
  void RemoveTemporaries(const TFileJob& job, bool keepResumable);
  bool Ahead(size_t index) const { return index > FCurrent.load(); }

  const TSettings FSettings;
  std::vector<std::unique_ptr<TFileJob>> FJobs;
  std::vector<int64_t> FSizeBefore;
  TMirrorHealth FHealth;
  TDiskBudget FBudget;

  mutable std::mutex FLock;
  std::condition_variable FWake;  // any stage changed, the worker moved, or a stop
  std::vector<TStage> FStages;
  std::atomic<size_t> FCurrent{0};  // the file the worker shows
  bool FStopping = false;
  // The first file that no address answered for: nothing after it is started.
  size_t FGoneAt = static_cast<size_t>(-1);
  unsigned FFreeFetchers = 0;  // fetch threads holding no file
  // The worker's file waits for a fetch thread, or a decoding one, while all are busy ahead.
  std::atomic<bool> FFetcherWanted{false};
  std::atomic<bool> FDecoderWanted{false};
  unsigned FDecoders = 1;
  unsigned FDecodeSlotsBusy = 0;  // one per file, or all of them by a file on every core
  std::vector<std::thread> FThreads;
};

}  // namespace korvath
