// The transfers of the replacement pass, run ahead of what the window shows: one thread
// downloads the collected files in list order, one request after the other, into their ".bz2"
// temporaries, and a pool unpacks finished downloads into their ".unpack" temporaries, taking
// the digest of what it writes. A file the list has a patch for is fetched as that patch and
// rebuilt from the player's copy by the pool instead. Every gauge call of a transfer is written
// down as it happens; the worker then shows the files one by one by making those same calls itself,
// so the window sees what a file-by-file replacement shows while both cores unpack.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/FileFailed.h"
#include "engine/FileSources.h"
#include "engine/Limits.h"
#include "engine/Patching.h"
#include "engine/Transfer.h"
#include "list/FileEntry.h"
#include "platform/TempFile.h"
#include "transfer/Misc.h"
#include "transfer/md5.h"

namespace korvath {

class TFetchAhead {
 public:
  struct TSettings {
    std::string WorkDir;  // ends with the separator
    std::string Server;   // ends with "/"
    // The list's mirror bases (each ending with "/"), tried before the server.
    std::vector<std::string> Mirrors;
    bool CreateBackup = false;
    // Every listed path as ListKey gives it: a file whose temporaries carry a listed name is
    // only touched once every file before it is done, as in a file-by-file pass.
    std::set<std::string> ListedPaths;
    HttpOpener Opener;
    // Where the downloads and unpacking learn their volume's free space.
    TVolumeQuery VolumeQuery;
    // Unpacking threads; 0 means one per hardware thread.
    unsigned Unpackers = 0;
    // The bytes on disk held for files ahead of the worker's.
    int64_t AheadBudget = kLookAheadBudget;
    // Per entry, the patch it is rebuilt with instead of fetched whole; an empty address, or no
    // element, fetches the whole copy. Only entries with the integrity field take one.
    std::vector<TPatchPlan> Patches;
  };
  struct TFileNames {
    std::string Local;
    std::string Download;  // Local + ".bz2"
    std::string Unpacked;  // Local + ".unpack"
    std::string Patch;     // Local + ".patch"
    std::string Record;  // Local + ".bz2.resume"; empty when the download is not to outlive the run
  };
  // Shows recorded calls, in the order they were made: every call recorded since the last
  // time it was called.
  using TReplay = std::function<void(std::span<const TGaugeCall>)>;

  // Starts the transfers of Entries (whole list lines, already checked by the checking pass).
  TFetchAhead(TSettings settings, const TStringList& entries);
  // Stops the transfers and removes the temporaries of every file the worker has not finished,
  // but for a download stopped before its body was whole that has its record: the next run
  // goes on from there.
  ~TFetchAhead();
  TFetchAhead(const TFetchAhead&) = delete;
  TFetchAhead& operator=(const TFetchAhead&) = delete;

  // Shows file Index's download through Replay, call by call, waiting for each. False when its
  // last address, the server's, could not be opened (nothing was written; no later file is
  // fetched when no address could be); raises what the download raised.
  bool ReplayDownload(size_t index, const TReplay& replay);
  // Once the download has been replayed: which of the file's addresses it came from (as
  // FileAddresses orders them), and the addresses that failed before, in order.
  size_t Source(size_t index) const { return FFiles[index].Source; }
  const std::string& SourceAddress(size_t index) const;
  const std::vector<TFailedAddress>& FailedAddresses(size_t index) const;
  // The file's names, once its download has been replayed.
  const TFileNames& Names(size_t index) const;
  // Shows its unpacking likewise and returns the digest of the unpacked content; raises what
  // unpacking raised.
  TDigestBytes ReplayUnpack(size_t index, const TReplay& replay);
  // The SHA-256 of the unpacked content, once its unpacking has been replayed without an error;
  // empty when the entry carries no integrity field.
  const std::string& UnpackedSha256(size_t index) const;
  // Whether the file's download, once replayed, was its patch, which the pool rebuilds it from.
  bool Rebuilds(size_t index) const;
  // Shows the rebuilding likewise and returns the digest of the rebuilt content (its SHA-256
  // checked against the entry already); none when the patch gave way and the whole copy is
  // wanted (the worker fetches it by transfers of their own).
  std::optional<TDigestBytes> ReplayRebuild(size_t index, const TReplay& replay);
  // Why the file's patch was given up, once; empty when it was not (or was told already).
  std::string TakePatchFailure(size_t index);
  // Puts the file's unpacked temporary in place of the file, once its unpacking has been
  // replayed without an error. Returns 0 or the error code.
  int KeepUnpacked(size_t index);
  // Stops any work on the file and removes its temporaries.
  void Discard(size_t index);
  // The worker is done with file Index and goes on with the next one.
  void Finished(size_t index);

 private:
  enum class TPhase { Download, Unpack };
  // Where each file stands. Every move happens under FLock and wakes whoever waits for it.
  //
  //   stage      event                                              next stage    moved by
  //   ---------  -------------------------------------------------  ------------  -----------
  //   Waiting    in reach (MayFetch), path accepted, not discarded  Fetching      download
  //   Waiting    refused entry, or discarded                        Skipped       download
  //   Fetching   the body is stored                                 Fetched       download
  //   Fetching   the file's patch is stored                         PatchFetched  download
  //   Fetching   no address gives a body (download ends when none   NotOpened     download
  //              of them answered)
  //   Fetching   an error, or a discard or stop at a gauge call     FetchFailed   download
  //   Fetched    the earliest fetched file not discarded            Unpacking     an unpacker
  //   Unpacking  the unpacked temporary is written                  Unpacked      an unpacker
  //   Unpacking  an error, or a discard or stop at a gauge call     UnpackFailed  an unpacker
  //   PatchFetched  the earliest fetched file not discarded         Patching      an unpacker
  //   Patching   the rebuilt temporary is written, digests right    Unpacked      an unpacker
  //   Patching   a discard or stop at a gauge call                  UnpackFailed  an unpacker
  //   Patching   any other error: the patch gave way                PatchFailed   an unpacker
  //   PatchFailed  the worker fetched the whole copy itself         Fetched       the worker
  //   PatchFailed  the worker could not open the whole copy         NotOpened     the worker
  //
  // A patch that cannot be fetched gives way at once: the download fetches the whole copy in
  // its place. Skipped, NotOpened, FetchFailed, Unpacked and UnpackFailed are final. The worker
  // moves one stage only, out of PatchFailed, which no transfer thread touches: it waits for a
  // file to leave Waiting/Fetching (ReplayDownload), Fetched/Unpacking (ReplayUnpack) or
  // PatchFetched/Patching (ReplayRebuild), marks a file discarded (Discard) and moves the window
  // of files in reach (Finished); the transfer threads stop at a stop (Stop) wherever they are.
  enum class TStage {
    Waiting,
    Fetching,
    Fetched,
    NotOpened,
    FetchFailed,
    Skipped,
    Unpacking,
    Unpacked,
    UnpackFailed,
    PatchFetched,
    Patching,
    PatchFailed
  };
  struct TFile {
    std::string Path;  // the list's spelling; empty when the entry is refused or unreadable
    std::vector<std::string> Addresses;  // mirrors' copies first, the server's last
    size_t Source = 0;                   // of them, the one the download came from
    std::vector<TFailedAddress> Failed;  // those tried before it, or all when none gave one
    int64_t Size = 0;                    // the listed (compressed) size
    TIntegrity Integrity;
    std::string Md5;  // the listed digest, lower case
    TPatchPlan Patch;
    bool Rebuilds = false;     // the patch was fetched
    std::string PatchFailure;  // why the patch gave way, until the worker takes it
    bool RunsAhead = true;
    // Neither its download's name nor its record's is a listed file's, so the download may be
    // kept with its record across runs.
    bool Resumable = true;
    TFileNames Names;
    TStage Stage = TStage::Waiting;
    bool Busy = false;  // a transfer thread works on it
    bool Cancelled = false;
    std::vector<TGaugeCall> DownloadCalls, UnpackCalls;  // not yet replayed
    std::exception_ptr Error;
    TDigestBytes Digest{};
    std::string Sha256;
    int64_t Held = 0;                              // bytes of its temporaries counted in FHeld
    int64_t HeldDownload = 0;                      // of them, its download's
    std::unique_ptr<platform::TempFile> Unpacked;  // once unpacking succeeded
  };

  void Stop();
  // Transfer threads' side.
  void Record(size_t index, TPhase phase, const TGaugeCall& call);
  void FetchAll();
  void UnpackAll();
  bool MayFetch(size_t index) const;
  // Count bytes are about to be written for the file: waits while they would take what is held
  // ahead of the worker past the budget. Raises ECancelled at a stop or discard.
  void Hold(size_t index, int64_t count, bool download);
  // The pause before a further attempt at the file's download; a stop or discard ends it at
  // once with ECancelled, as the next gauge call would.
  bool PauseBeforeRetry(size_t index, std::chrono::milliseconds pause);
  // The file's temporaries, or only its download, are gone. Under FLock.
  void Release(TFile& file, bool downloadOnly);
  // Worker's side: replays the phase's calls until the file has left the given stages.
  void Replay(size_t index, TPhase phase, const TReplay& replay,
              std::initializer_list<TStage> during);

  const TSettings FSettings;
  std::vector<TFile> FFiles;
  std::vector<int64_t> FSizeBefore;  // sum of the listed sizes of the files before each one

  static constexpr size_t kNobody = static_cast<size_t>(-1);
  std::mutex FLock;
  std::condition_variable FWorkerWake;    // the file the worker waits for has changed
  std::condition_variable FFetcherWake;   // the worker moved on or took calls, or a stop
  std::condition_variable FUnpackerWake;  // a download is finished, or a stop
  std::condition_variable FBudgetWake;    // bytes held were released, the worker moved, a stop
  int64_t FHeld = 0;                      // bytes on disk of temporaries not yet finished
  size_t FCurrent = 0;                    // the file the worker shows
  size_t FWaitingFor = kNobody;           // the file the worker waits for
  size_t FPendingCalls = 0;               // recorded and not yet replayed
  bool FFetcherHeld = false;              // the download waits for the worker to take calls
  bool FStopping = false;
  unsigned FUnpackers = 1;  // the pool's size
  unsigned FSlotsBusy = 0;  // of it, taken: one per file, or all of it by a file on every core

  std::vector<std::thread> FThreads;  // the download's, then the unpackers'
};

}  // namespace korvath
