#include "engine/FetchAhead.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

#include "engine/GetFilesThr.h"
#include "engine/RunView.h"
#include "list/LocalPath.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "transfer/HashingStream.h"

namespace korvath {
namespace {

// How far the transfers may run ahead of the file the worker shows: enough files and bytes to
// keep every core unpacking behind a large file, few enough to bound the temporaries on disk.
// The bytes are the real bound; the file count only caps the bookkeeping, and must leave room
// for the hundreds of small files that may follow a large one.
constexpr size_t kMaxFilesAhead = 1024;
constexpr int64_t kMaxBytesAhead = 192 * kMiB;
// Recorded gauge calls not yet replayed. Beyond this the download waits for the window, which
// bounds the memory the records take when the window's thread is slow to answer.
constexpr size_t kMaxPendingCalls = 64 * 1024;
constexpr unsigned kMaxUnpackers = 4;
// A file from this (compressed) size on is decoded block by block on every core when no other
// file is there to unpack: alone it would leave the other cores idle. With other files at hand
// the pool already keeps every core busy, and the blocks' decoders on top of it would only
// crowd them and add the road's own work (the whole client took a quarter more CPU time and
// longer). While such a file unpacks, the rest of the pool waits, for the same reason. From
// this size on a file holds nine blocks or more even when its data does not compress, so its
// last block, decoded while the other cores idle, is a small part of its time.
constexpr int64_t kWideUnpackFrom = 8 * kMiB;

// A transfer of a file the worker gave up on, or of a pass that ends, stops at its next
// gauge call.
class ECancelled : public Exception {
 public:
  ECancelled() : Exception("cancelled") {}
};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Why a rebuilding failed, when the whole copy may take its place: anything but a stop or a
// discard, and anything but a failure of the program itself.
std::string PatchGaveWay(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const ECancelled&) {
  } catch (const Exception& e) {
    return e.Message();
  } catch (...) {
  }
  return {};
}

}  // namespace

TFetchAhead::TFetchAhead(TSettings settings, const TStringList& entries)
    : FSettings(std::move(settings)), FFiles(entries.size()), FSizeBefore(entries.size() + 1, 0) {
  for (size_t i = 0; i < entries.size(); ++i) {
    TFile& file = FFiles[i];
    try {
      const TFileEntry entry = SplitFileEntry(entries[i]);
      if (RefusedPathReason(entry.Path).empty()) {
        file.Size = EntrySize(entry.Size);
        file.Integrity = EntryIntegrity(entry);
        file.Md5 = LowerCase(entry.Digest);
        if (file.Integrity.Known && i < FSettings.Patches.size()) file.Patch = FSettings.Patches[i];
        file.Path = entry.Path;
        file.Addresses =
            FileAddresses(PublishedName(entry.Path), FSettings.Mirrors, FSettings.Server);
        // A temporary that carries the name of a listed file, or a download that a backup copy
        // could land on, must wait until every file before it is done.
        const std::string key = ListKey(entry.Path);
        file.RunsAhead = FSettings.ListedPaths.count(ListKey(entry.Path + kDownloadSuffix)) == 0 &&
                         FSettings.ListedPaths.count(ListKey(entry.Path + kUnpackSuffix)) == 0 &&
                         FSettings.ListedPaths.count(ListKey(entry.Path + kPatchSuffix)) == 0 &&
                         !(FSettings.CreateBackup && StartsWith(key, "backup\\"));
        file.Resumable = FSettings.ListedPaths.count(ListKey(entry.Path + kDownloadSuffix)) == 0 &&
                         FSettings.ListedPaths.count(ListKey(entry.Path + kResumeSuffix)) == 0;
      }
    } catch (const Exception&) {
      // The worker raises the entry's error itself when it gets there; nothing is fetched.
      file.Path.clear();
    }
    FSizeBefore[i + 1] = FSizeBefore[i] + file.Size;
  }
  // One unpacking thread per core, up to a few: one connection rarely feeds more, and each
  // holds a decoder of some megabytes.
  FUnpackers = FSettings.Unpackers != 0 ? FSettings.Unpackers : std::thread::hardware_concurrency();
  FUnpackers = std::clamp(FUnpackers, 1u, kMaxUnpackers);
  // An error that escapes a transfer thread ends that thread silently; every file's own
  // failure is caught and kept for the worker.
  const auto run = [](TFetchAhead* self, void (TFetchAhead::*loop)()) {
    try {
      (self->*loop)();
    } catch (...) {
    }
  };
  try {
    FThreads.emplace_back(run, this, &TFetchAhead::FetchAll);
    for (unsigned i = 0; i < FUnpackers; ++i)
      FThreads.emplace_back(run, this, &TFetchAhead::UnpackAll);
  } catch (...) {
    Stop();
    throw;
  }
}

TFetchAhead::~TFetchAhead() {
  Stop();
  // Whatever was fetched or unpacked for a file the worker did not finish goes. A download
  // that could not be opened wrote nothing, and its name may be a listed file's.
  for (size_t i = FCurrent; i < FFiles.size(); ++i) {
    const TFile& file = FFiles[i];
    if (file.Names.Local.empty() || file.Stage == TStage::NotOpened) continue;
    platform::DeleteFile(file.Names.Unpacked);
    platform::DeleteFile(file.Names.Patch);
    if (file.Names.Record.empty() || !platform::FileExists(file.Names.Record))
      platform::DeleteFile(file.Names.Download);
  }
}

void TFetchAhead::Stop() {
  {
    const std::lock_guard lock(FLock);
    FStopping = true;
  }
  FFetcherWake.notify_all();
  FUnpackerWake.notify_all();
  FBudgetWake.notify_all();
  for (std::thread& thread : FThreads)
    if (thread.joinable()) thread.join();
}

bool TFetchAhead::MayFetch(size_t index) const {
  if (index <= FCurrent) return true;
  const TFile& file = FFiles[index];
  return file.RunsAhead && index - FCurrent < kMaxFilesAhead &&
         FSizeBefore[index + 1] - FSizeBefore[FCurrent] <= kMaxBytesAhead;
}

void TFetchAhead::FetchAll() {
  // A mirror that cannot be opened is not asked again in this pass: each file would wait for
  // it to time out.
  std::vector<bool> unreachable(FSettings.Mirrors.size(), false);
  for (size_t i = 0; i < FFiles.size(); ++i) {
    TFile& file = FFiles[i];
    {
      std::unique_lock lock(FLock);
      FFetcherWake.wait(lock, [&] { return FStopping || MayFetch(i); });
      if (FStopping) return;
      if (file.Path.empty() || file.Cancelled) {
        file.Stage = TStage::Skipped;
        FWorkerWake.notify_all();
        continue;
      }
      file.Busy = true;
      file.Stage = TStage::Fetching;
    }
    std::exception_ptr error;
    bool opened = false, rebuilds = false;
    size_t source = 0;
    std::vector<TFailedAddress> failed;
    try {
      // The names are resolved against the folders as the files before this one left them.
      TFileNames names;
      names.Local = LocalPathOf(FSettings.WorkDir, file.Path);
      names.Download = names.Local + kDownloadSuffix;
      names.Unpacked = names.Local + kUnpackSuffix;
      names.Patch = names.Local + kPatchSuffix;
      if (file.Resumable) names.Record = names.Local + kResumeSuffix;
      // Before the names are kept: those of a refused file are never deleted either.
      ForceFolderOf(FSettings.WorkDir, names.Local);
      // Free space: a file the volume has no room for fails here, before its first byte.
      CheckRoomFor(FSettings.VolumeQuery, names.Local,
                   file.Integrity.Known ? file.Integrity.Size : file.Size);
      {
        const std::lock_guard lock(FLock);
        file.Names = names;
      }
      // The calls a file-by-file download makes: the position after every read, then 0.
      const auto record = [&](int32_t position) {
        Record(i, TPhase::Download, TGaugeCall{false, kFileGauge, position});
      };
      // A stop during a pause between attempts ends the transfer as a stop at a gauge call does.
      const TRetryWait wait = [this, i](std::chrono::milliseconds pause) {
        return PauseBeforeRetry(i, pause);
      };
      if (!file.Patch.Addresses.empty()) {
        TSpaceGuard space(FSettings.VolumeQuery, names.Patch);
        space.HoldWith([this, i](int64_t count) { Hold(i, count, true); });
        // The gauge follows the patch while it comes, and the whole copy if that comes instead.
        const auto maximum = [&](int64_t size) {
          Record(i, TPhase::Download, TGaugeCall{true, kFileGauge, Low32(size)});
        };
        try {
          maximum(file.Patch.Size);
          FetchPatch(
              FSettings.Opener, file.Patch, names.Patch, space,
              [&](int64_t total) { record(Low32(total)); }, wait);
          record(0);
          rebuilds = true;
        } catch (const ECancelled&) {
          throw;
        } catch (const Exception& e) {
          platform::DeleteFile(names.Patch);
          {
            const std::lock_guard lock(FLock);
            file.PatchFailure = e.Message();
            Release(file, true);
          }
          FBudgetWake.notify_all();
          maximum(file.Size);
        }
      }
      for (size_t a = 0; !rebuilds && a < file.Addresses.size(); ++a) {
        const bool mirror = a < unreachable.size();
        if (mirror && unreachable[a]) continue;
        source = a;
        TSpaceGuard space(FSettings.VolumeQuery, names.Download);
        space.HoldWith([this, i](int64_t count) { Hold(i, count, true); });
        TFileSink sink(names.Download, &space, names.Record);
        std::string why;
        const TFetchResult result = FetchFrom(
            FSettings.Opener, file.Addresses[a], mirror, sink,
            [&](int64_t total) { record(Low32(total)); },
            file.Integrity.Known ? MaxBodyFor(file.Integrity.Size) : kMaxBodyBytes, why, wait);
        record(0);
        if (result == TFetchResult::Fetched) {
          opened = true;
          break;
        }
        if (mirror) unreachable[a] = result == TFetchResult::NotOpened;
        failed.push_back({file.Addresses[a], mirror ? why : "could not be opened",
                          result == TFetchResult::Failed});
        // What a failed attempt held goes with it; nothing of its body is kept.
        {
          const std::lock_guard lock(FLock);
          Release(file, true);
        }
        FBudgetWake.notify_all();
      }
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(FLock);
      file.Busy = false;
      file.Error = error;
      file.Rebuilds = rebuilds && !error;
      file.Source = source;
      file.Failed = std::move(failed);
      file.Stage = error      ? TStage::FetchFailed
                   : rebuilds ? TStage::PatchFetched
                   : opened   ? TStage::Fetched
                              : TStage::NotOpened;
    }
    FWorkerWake.notify_all();
    FUnpackerWake.notify_all();
    // The server is gone, and every mirror: the worker ends the pass at this file, so nothing
    // after it is asked for.
    if (!error && !rebuilds && !opened && NoneAnswered(file.Failed)) return;
  }
}

void TFetchAhead::UnpackAll() {
  for (;;) {
    size_t index = 0;
    bool rebuild = false;
    bool wide = false;
    {
      std::unique_lock lock(FLock);
      // The earliest finished download after From: the worker needs the files in list order.
      const auto next = [&](size_t from) -> std::optional<size_t> {
        for (size_t i = from; i < FFiles.size() && FFiles[i].Stage != TStage::Waiting; ++i)
          if ((FFiles[i].Stage == TStage::Fetched || FFiles[i].Stage == TStage::PatchFetched) &&
              !FFiles[i].Cancelled)
            return i;
        return std::nullopt;
      };
      std::optional<size_t> found;
      FUnpackerWake.wait(lock, [&] {
        return FStopping || (FSlotsBusy < FUnpackers && (found = next(FCurrent)).has_value());
      });
      if (FStopping) return;
      index = *found;
      rebuild = FFiles[index].Stage == TStage::PatchFetched;
      wide =
          !rebuild && FSlotsBusy == 0 && FFiles[index].Size >= kWideUnpackFrom && !next(index + 1);
      FSlotsBusy += wide ? FUnpackers : 1;
      FFiles[index].Busy = true;
      FFiles[index].Stage = rebuild ? TStage::Patching : TStage::Unpacking;
    }
    TFile& file = FFiles[index];
    std::exception_ptr error;
    TDigestBytes digest{};
    std::string sha256;
    std::unique_ptr<platform::TempFile> unpacked;
    try {
      auto temporary = std::make_unique<platform::TempFile>(file.Names.Unpacked);
      if (rebuild) {
        TSpaceGuard space(FSettings.VolumeQuery, file.Names.Unpacked);
        space.HoldWith([this, index](int64_t count) { Hold(index, count, false); });
        const TRebuilt rebuilt = RebuildFile(
            file.Names.Local, file.Names.Patch, *temporary, file.Integrity.Size,
            [&](const TGaugeCall& call) { Record(index, TPhase::Unpack, call); }, space);
        // A patch made for other bytes than the player's may still rebuild something: only the
        // listed digests make it the file.
        if (DigestToHex(rebuilt.Md5) != file.Md5 || rebuilt.Sha256 != file.Integrity.Sha256)
          throw EPatchUnusable("the rebuilt file's digest is not the listed one");
        digest = rebuilt.Md5;
        sha256 = rebuilt.Sha256;
      } else {
        // Into the unpacked temporary, as the worker's UnpackFile does.
        TDownloadToUnpack source(file.Names.Download);
        TFileStream target(*temporary);
        THashingStream hashed(target, file.Integrity.Known);
        TSpaceGuard space(FSettings.VolumeQuery, file.Names.Unpacked);
        space.HoldWith([this, index](int64_t count) { Hold(index, count, false); });
        Unpack(
            source.Stream(), hashed,
            [&](const TGaugeCall& call) { Record(index, TPhase::Unpack, call); },
            file.Integrity.Known ? file.Integrity.Size : kNoLimit, &space, wide ? 0 : 1);
        digest = hashed.Final();
        sha256 = hashed.Sha256Hex();
      }
      unpacked = std::move(temporary);
    } catch (...) {
      error = std::current_exception();
    }
    std::string gaveWay;
    if (rebuild) {
      platform::DeleteFile(file.Names.Patch);  // read once, whatever came of it
      if (error) {
        gaveWay = PatchGaveWay(error);
      } else if (!file.Names.Record.empty()) {
        // A partial whole copy kept from an earlier run is of no more use.
        platform::DeleteFile(file.Names.Download);
        platform::DeleteFile(file.Names.Record);
      }
    }
    {
      const std::lock_guard lock(FLock);
      file.Busy = false;
      file.Error = gaveWay.empty() ? error : nullptr;
      file.Digest = digest;
      file.Sha256 = std::move(sha256);
      file.Unpacked = std::move(unpacked);
      file.PatchFailure = std::move(gaveWay);
      file.Stage = !file.PatchFailure.empty() ? TStage::PatchFailed
                   : error                    ? TStage::UnpackFailed
                                              : TStage::Unpacked;
      // The download went with its reader; a failed unpacking's temporary went with it.
      Release(file, !error);
      FSlotsBusy -= wide ? FUnpackers : 1;
    }
    FWorkerWake.notify_all();
    FBudgetWake.notify_all();
    // The rest of the pool waited for the slots of a file on every core.
    if (wide) FUnpackerWake.notify_all();
  }
}

void TFetchAhead::Hold(size_t index, int64_t count, bool download) {
  std::unique_lock lock(FLock);
  TFile& file = FFiles[index];
  // Nothing waits on a file the worker has reached: the earliest files are always the ones
  // downloaded and unpacked first, so whatever waits here waits for the worker alone.
  FBudgetWake.wait(lock, [&] {
    return FStopping || file.Cancelled || index <= FCurrent ||
           FHeld + count <= FSettings.AheadBudget;
  });
  if (FStopping || file.Cancelled) throw ECancelled();
  FHeld += count;
  file.Held += count;
  if (download) file.HeldDownload += count;
}

bool TFetchAhead::PauseBeforeRetry(size_t index, std::chrono::milliseconds pause) {
  std::unique_lock lock(FLock);
  const TFile& file = FFiles[index];
  FFetcherWake.wait_for(lock, pause, [&] { return FStopping || file.Cancelled; });
  if (FStopping || file.Cancelled) throw ECancelled();
  return true;
}

void TFetchAhead::Release(TFile& file, bool downloadOnly) {
  const int64_t bytes = downloadOnly ? file.HeldDownload : file.Held;
  FHeld -= bytes;
  file.Held -= bytes;
  file.HeldDownload = 0;
}

void TFetchAhead::Record(size_t index, TPhase phase, const TGaugeCall& call) {
  std::unique_lock lock(FLock);
  TFile& file = FFiles[index];
  if (phase == TPhase::Download) {
    // Only the download waits for the worker: unpacking always finishes what the worker waits for.
    FFetcherHeld = true;
    FFetcherWake.wait(
        lock, [&] { return FStopping || file.Cancelled || FPendingCalls < kMaxPendingCalls; });
    FFetcherHeld = false;
  }
  if (FStopping || file.Cancelled) throw ECancelled();
  std::vector<TGaugeCall>& calls =
      phase == TPhase::Download ? file.DownloadCalls : file.UnpackCalls;
  calls.push_back(call);
  ++FPendingCalls;
  // The worker takes every call there is when it wakes, so only the first one wakes it.
  if (FWaitingFor == index && calls.size() == 1) FWorkerWake.notify_one();
}

void TFetchAhead::Replay(size_t index, TPhase phase, const TReplay& replay,
                         std::initializer_list<TStage> during) {
  TFile& file = FFiles[index];
  std::vector<TGaugeCall>& calls =
      phase == TPhase::Download ? file.DownloadCalls : file.UnpackCalls;
  const auto inPhase = [&] {
    return std::find(during.begin(), during.end(), file.Stage) != during.end();
  };
  std::vector<TGaugeCall> batch;
  for (bool done = false; !done;) {
    {
      std::unique_lock lock(FLock);
      FWaitingFor = index;
      FWorkerWake.wait(lock, [&] { return !calls.empty() || !inPhase(); });
      FWaitingFor = kNobody;
      // Every call of a transfer is recorded before its file leaves the phase.
      done = !inPhase();
      batch.clear();
      std::swap(batch, calls);
      FPendingCalls -= batch.size();
      if (FFetcherHeld) FFetcherWake.notify_one();
    }
    if (!batch.empty()) replay(batch);
  }
}

bool TFetchAhead::ReplayDownload(size_t index, const TReplay& replay) {
  Replay(index, TPhase::Download, replay, {TStage::Waiting, TStage::Fetching});
  const std::lock_guard lock(FLock);
  const TFile& file = FFiles[index];
  switch (file.Stage) {
    case TStage::NotOpened:
      return false;
    case TStage::FetchFailed:
      std::rethrow_exception(file.Error);
    case TStage::Skipped:
      throw std::logic_error("the download of a skipped file was asked for");
    default:
      return true;
  }
}

const std::string& TFetchAhead::SourceAddress(size_t index) const {
  return FFiles[index].Addresses[FFiles[index].Source];
}

const std::vector<TFailedAddress>& TFetchAhead::FailedAddresses(size_t index) const {
  return FFiles[index].Failed;
}

const TFetchAhead::TFileNames& TFetchAhead::Names(size_t index) const {
  return FFiles[index].Names;
}

TDigestBytes TFetchAhead::ReplayUnpack(size_t index, const TReplay& replay) {
  Replay(index, TPhase::Unpack, replay, {TStage::Fetched, TStage::Unpacking});
  const std::lock_guard lock(FLock);
  const TFile& file = FFiles[index];
  if (file.Stage == TStage::UnpackFailed) std::rethrow_exception(file.Error);
  return file.Digest;
}

bool TFetchAhead::Rebuilds(size_t index) const {
  return FFiles[index].Rebuilds;
}

std::optional<TDigestBytes> TFetchAhead::ReplayRebuild(size_t index, const TReplay& replay) {
  Replay(index, TPhase::Unpack, replay, {TStage::PatchFetched, TStage::Patching});
  const std::lock_guard lock(FLock);
  const TFile& file = FFiles[index];
  if (file.Stage == TStage::UnpackFailed) std::rethrow_exception(file.Error);
  if (file.Stage == TStage::PatchFailed) return std::nullopt;
  return file.Digest;
}

std::string TFetchAhead::TakePatchFailure(size_t index) {
  const std::lock_guard lock(FLock);
  return std::exchange(FFiles[index].PatchFailure, {});
}

const std::string& TFetchAhead::UnpackedSha256(size_t index) const {
  return FFiles[index].Sha256;
}

void TFetchAhead::Discard(size_t index) {
  TFile& file = FFiles[index];
  {
    std::unique_lock lock(FLock);
    file.Cancelled = true;
    FFetcherWake.notify_one();
    FWaitingFor = index;
    FWorkerWake.wait(lock, [&] { return !file.Busy; });
    FWaitingFor = kNobody;
    FPendingCalls -= file.DownloadCalls.size() + file.UnpackCalls.size();
    file.DownloadCalls = {};
    file.UnpackCalls = {};
    Release(file, false);
  }
  FFetcherWake.notify_one();
  FBudgetWake.notify_all();
  file.Unpacked.reset();
  if (file.Names.Local.empty()) return;
  platform::DeleteFile(file.Names.Download);
  platform::DeleteFile(file.Names.Unpacked);
  platform::DeleteFile(file.Names.Patch);
  if (!file.Names.Record.empty()) platform::DeleteFile(file.Names.Record);
}

int TFetchAhead::KeepUnpacked(size_t index) {
  TFile& file = FFiles[index];
  return file.Unpacked->Keep(file.Names.Local);
}

void TFetchAhead::Finished(size_t index) {
  {
    const std::lock_guard lock(FLock);
    TFile& file = FFiles[index];
    FPendingCalls -= file.DownloadCalls.size() + file.UnpackCalls.size();
    file.DownloadCalls = {};
    file.UnpackCalls = {};
    Release(file, false);
    FCurrent = index + 1;
  }
  FFetcherWake.notify_one();
  FBudgetWake.notify_all();
}

}  // namespace korvath
