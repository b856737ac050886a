#include "engine/TransferRoad.h"

#include <algorithm>
#include <stdexcept>

#include "engine/DecodeStage.h"
#include "engine/FetchStage.h"
#include "platform/File.h"

namespace korvath {
namespace {

constexpr unsigned kMaxDecoders = 4;
// A file from this (compressed) size on is decoded block by block on every core when no other
// file is there to decode: alone it would leave the other cores idle. With other files at hand
// the pool already keeps every core busy, and the blocks' decoders on top of it would only
// crowd them; while such a file decodes, the rest of the pool waits, for the same reason.
constexpr int64_t kWideDecodeFrom = 8 * kMiB;

}  // namespace

TTransferRoad::TTransferRoad(TSettings settings, const TStringList& entries)
    : FSettings(std::move(settings)),
      FSizeBefore(entries.size() + 1, 0),
      FBudget(FSettings.AheadBudget),
      FStages(entries.size(), TStage::Queued) {
  FJobs.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    FJobs.push_back(MakeFileJob(entries[i], FSettings.Server, FSettings.Mirrors,
                                FSettings.ListedPaths, FSettings.CreateBackup,
                                i < FSettings.Patches.size() ? &FSettings.Patches[i] : nullptr));
    FSizeBefore[i + 1] = FSizeBefore[i] + FJobs[i]->Size;
  }
  // Each decoder holds some megabytes; a connection rarely feeds more than a few.
  FDecoders = FSettings.Decoders != 0 ? FSettings.Decoders : std::thread::hardware_concurrency();
  FDecoders = std::clamp(FDecoders, 1u, kMaxDecoders);
  const unsigned connections = std::clamp(FSettings.Connections, 1u, kMaxConnections);
  // A thread not yet started is free too: it takes the next file as soon as it runs.
  FFreeFetchers = connections;
  // An error that escapes a transfer thread ends that thread silently; every file's own
  // failure is caught and kept for the worker.
  const auto run = [](TTransferRoad* self, void (TTransferRoad::*loop)()) {
    try {
      (self->*loop)();
    } catch (...) {
    }
  };
  try {
    for (unsigned i = 0; i < connections; ++i)
      FThreads.emplace_back(run, this, &TTransferRoad::FetchLoop);
    for (unsigned i = 0; i < FDecoders; ++i)
      FThreads.emplace_back(run, this, &TTransferRoad::DecodeLoop);
  } catch (...) {
    Stop();
    throw;
  }
}

void TTransferRoad::Stop() {
  {
    const std::lock_guard lock(FLock);
    FStopping = true;
    for (const auto& job : FJobs) {
      job->Cancelled = true;
      job->DownloadTape.Cut();
      job->DecodeTape.Cut();
    }
  }
  FWake.notify_all();
  FBudget.Wake();
  for (std::thread& thread : FThreads)
    if (thread.joinable()) thread.join();
  FThreads.clear();
}

TTransferRoad::~TTransferRoad() {
  Stop();
  // Whatever was fetched or decoded for a file the worker did not finish goes. A download that
  // could not be opened wrote nothing, and its name may be a listed file's. One stopped by the
  // stop itself may have stored its whole body just before; a file that runs ahead has no
  // temporary of a listed name, so its names all go.
  for (size_t i = FCurrent; i < FJobs.size(); ++i) {
    TFileJob& job = *FJobs[i];
    job.Decoded.Temporary.reset();
    const bool opened = FStages[i] != TStage::Final ||
                        job.Fetched.Kind != TFetched::TKind::NoAnswer ||
                        (job.Fetched.Error && job.RunsAhead);
    if (opened) RemoveTemporaries(job, true);
  }
}

void TTransferRoad::RemoveTemporaries(const TFileJob& job, bool keepResumable) {
  const TFileNames& names = job.Names;
  if (names.Local.empty()) return;
  platform::DeleteFile(names.Unpacked);
  if (!names.Patch.empty()) platform::DeleteFile(names.Patch);
  if (keepResumable && !names.Record.empty() && platform::FileExists(names.Record)) return;
  platform::DeleteFile(names.Download);
  if (!names.Record.empty()) platform::DeleteFile(names.Record);
}

bool TTransferRoad::NextToFetch(size_t& index) const {
  // In list order: a file not yet in reach holds back every file behind it, and nothing after a
  // file that no address answered for is started.
  for (size_t i = FCurrent; i < FJobs.size() && i <= FGoneAt; ++i) {
    if (FStages[i] != TStage::Queued) continue;
    if (!InReach(i, FCurrent, FJobs[i]->RunsAhead, FSizeBefore, FSettings.Reach)) return false;
    index = i;
    return true;
  }
  return false;
}

bool TTransferRoad::NextToDecode(size_t from, size_t& index) const {
  for (size_t i = from; i < FJobs.size(); ++i)
    if (FStages[i] == TStage::Fetched && !FJobs[i]->Cancelled) {
      index = i;
      return true;
    }
  return false;
}

void TTransferRoad::FetchLoop() {
  // The connection of this thread, kept alive from one file to the next for the whole run.
  std::unique_ptr<platform::HttpSession> session;
  bool opened = false;
  for (;;) {
    size_t index = 0;
    {
      std::unique_lock lock(FLock);
      FWake.wait(lock, [&] { return FStopping || NextToFetch(index); });
      if (FStopping) return;
      --FFreeFetchers;
      if (index == FCurrent) FFetcherWanted = false;
      FStages[index] = TStage::Fetching;
    }
    TFileJob& job = *FJobs[index];
    TFetched fetched;
    bool gaveWay = false;
    const bool ran = !job.Path.empty() && !job.Cancelled;
    if (ran) {
      if (!opened) session = FSettings.Opener(kAgentName);
      opened = true;
      TFetchContext context;
      context.Session = session.get();
      context.Health = &FHealth;
      context.WorkDir = FSettings.WorkDir;
      context.VolumeQuery = FSettings.VolumeQuery;
      const auto cancelled = [&job] { return job.Cancelled.load(); };
      context.Hold = [&, index](int64_t count) {
        FBudget.Hold(
            job.Held, count, true, [&] { return Ahead(index); }, cancelled,
            [&] { return gaveWay = Claimed(FFetcherWanted); });
      };
      context.ReleaseDownload = [&] { FBudget.Release(job.Held, true); };
      // A stop during a pause between attempts ends the transfer as a stop at a gauge call does.
      context.Wait = [&](std::chrono::milliseconds pause) {
        std::unique_lock lock(FLock);
        FWake.wait_for(lock, pause, [&] { return FStopping || job.Cancelled; });
        if (FStopping || job.Cancelled) throw ECancelled();
        return true;
      };
      fetched = FetchFile(job, context);
    }
    std::unique_lock lock(FLock);
    ++FFreeFetchers;
    if (gaveWay) {
      lock.unlock();
      TakenBack(index);
      continue;
    }
    const bool gone = ran && fetched.Kind == TFetched::TKind::NoAnswer && !fetched.Error &&
                      NoneAnswered(fetched.Failed);
    // The server is gone, and every mirror: the worker ends the pass at this file.
    if (gone) FGoneAt = std::min(FGoneAt, index);
    const bool decode = !fetched.Error && fetched.Kind != TFetched::TKind::NoAnswer;
    job.Fetched = std::move(fetched);
    FStages[index] = decode ? TStage::Fetched : TStage::Final;
    job.DownloadTape.Close();
    FWake.notify_all();
  }
}

void TTransferRoad::DecodeLoop() {
  for (;;) {
    size_t index = 0;
    bool wide = false;
    {
      std::unique_lock lock(FLock);
      // The earliest fetched file: the worker needs the files in list order.
      FWake.wait(lock, [&] {
        return FStopping || (FDecodeSlotsBusy < FDecoders && NextToDecode(FCurrent, index));
      });
      if (FStopping) return;
      const TFileJob& job = *FJobs[index];
      size_t later = 0;
      // Only a format that decodes on several cores goes wide.
      wide = job.Fetched.Kind == TFetched::TKind::Copy &&
             CopyFormatTraits(job.Fetched.Format).ParallelFrom != INT64_MAX &&
             FDecodeSlotsBusy == 0 && job.Size >= kWideDecodeFrom &&
             !NextToDecode(index + 1, later);
      FDecodeSlotsBusy += wide ? FDecoders : 1;
      if (index == FCurrent) FDecoderWanted = false;
      FStages[index] = TStage::Decoding;
    }
    TFileJob& job = *FJobs[index];
    TDecodeContext context;
    context.VolumeQuery = FSettings.VolumeQuery;
    context.Decoders = wide ? 0 : 1;
    bool gaveWay = false;
    context.Hold = [&, index](int64_t count) {
      FBudget.Hold(
          job.Held, count, false, [&] { return Ahead(index); },
          [&job] { return job.Cancelled.load(); },
          [&] { return gaveWay = Claimed(FDecoderWanted); });
    };
    TDecoded decoded = DecodeFile(job, context);
    // The download went with its reader; a failed decoding's temporary went with it.
    FBudget.Release(job.Held, !decoded.Error && decoded.PatchFailure.empty());
    std::unique_lock lock(FLock);
    FDecodeSlotsBusy -= wide ? FDecoders : 1;
    if (gaveWay) {
      lock.unlock();
      decoded.Temporary.reset();
      TakenBack(index);
      continue;
    }
    job.Decoded = std::move(decoded);
    FStages[index] = TStage::Decoded;
    job.DecodeTape.Close();
    FWake.notify_all();
  }
}

void TTransferRoad::TakenBack(size_t index) {
  TFileJob& job = *FJobs[index];
  // Nothing of the turn is kept but a partial download with its record: the next turn goes on
  // from there.
  RemoveTemporaries(job, true);
  FBudget.Release(job.Held, false);
  job.DownloadTape.Rewind();
  job.DecodeTape.Rewind();
  job.Fetched = {};
  job.Decoded = {};
  const std::lock_guard lock(FLock);
  FStages[index] = TStage::Queued;
  FWake.notify_all();
}

}  // namespace korvath
