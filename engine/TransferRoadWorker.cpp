// The worker's side of the transfer road: it plays each file's tapes in list order, sends a file
// round again, keeps or discards what came, and moves the reach of the transfers on.
#include <algorithm>
#include <stdexcept>

#include "engine/TransferRoad.h"
#include "platform/File.h"

namespace korvath {

bool TTransferRoad::Claimed(std::atomic<bool>& wanted) {
  bool expected = true;
  return wanted.compare_exchange_strong(expected, false);
}

void TTransferRoad::Want(std::atomic<bool>& wanted) {
  wanted = true;
  // Files ahead that wait for room hear of it.
  FBudget.Wake();
}

const TFetched& TTransferRoad::PlayDownload(size_t index, const TGaugeTape::TPlay& play) {
  TFileJob& job = *FJobs[index];
  bool starved = false;
  {
    const std::lock_guard lock(FLock);
    starved = FStages[index] == TStage::Queued && FFreeFetchers == 0;
  }
  if (starved) Want(FFetcherWanted);
  job.DownloadTape.Play(play);
  std::unique_lock lock(FLock);
  FWake.wait(
      lock, [&] { return FStages[index] != TStage::Queued && FStages[index] != TStage::Fetching; });
  FFetcherWanted = false;
  if (job.Path.empty()) throw std::logic_error("the download of a skipped file was asked for");
  return job.Fetched;
}

TDecoded& TTransferRoad::PlayDecode(size_t index, const TGaugeTape::TPlay& play) {
  TFileJob& job = *FJobs[index];
  bool starved = false;
  {
    const std::lock_guard lock(FLock);
    starved = FStages[index] == TStage::Fetched && FDecodeSlotsBusy >= FDecoders;
  }
  if (starved) Want(FDecoderWanted);
  job.DecodeTape.Play(play);
  std::unique_lock lock(FLock);
  FWake.wait(lock, [&] { return FStages[index] == TStage::Decoded; });
  FDecoderWanted = false;
  return job.Decoded;
}

void TTransferRoad::Refetch(size_t index, const TFetchPlan& plan) {
  TFileJob& job = *FJobs[index];
  job.Decoded.Temporary.reset();
  RemoveTemporaries(job, plan.MayResume);
  FBudget.Release(job.Held, false);
  job.DownloadTape.Rewind();
  job.DecodeTape.Rewind();
  job.Fetched = {};
  job.Decoded = {};
  job.Plan = plan;
  const std::lock_guard lock(FLock);
  FStages[index] = TStage::Queued;
  FWake.notify_all();
}

int TTransferRoad::Keep(size_t index) {
  TFileJob& job = *FJobs[index];
  return job.Decoded.Temporary->Keep(job.Names.Local);
}

void TTransferRoad::Discard(size_t index) {
  TFileJob& job = *FJobs[index];
  {
    std::unique_lock lock(FLock);
    job.Cancelled = true;
    job.DownloadTape.Cut();
    job.DecodeTape.Cut();
    FBudget.Wake();
    FWake.notify_all();
    FWake.wait(lock, [&] {
      return FStages[index] != TStage::Fetching && FStages[index] != TStage::Decoding;
    });
    // Nothing starts on it any more.
    FStages[index] = TStage::Final;
  }
  job.Decoded.Temporary.reset();
  FBudget.Release(job.Held, false);
  RemoveTemporaries(job, false);
}

void TTransferRoad::Finished(size_t index) {
  FBudget.Release(FJobs[index]->Held, false);
  {
    const std::lock_guard lock(FLock);
    FCurrent = index + 1;
  }
  FWake.notify_all();
  FBudget.Wake();
}

}  // namespace korvath
