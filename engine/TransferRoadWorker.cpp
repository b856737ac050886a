// The worker's side of the transfer road: it plays each file's tapes in list order, sends a file
// round again, keeps or discards what came, and moves the reach of the transfers on.
#include <algorithm>
#include <stdexcept>

#include "engine/TransferRoad.h"
#include "platform/File.h"

namespace korvath {

void TTransferRoad::MakeRoomFor(size_t index, TStage busy, unsigned idle) {
  if (idle != 0) return;
  for (size_t i = FJobs.size(); i-- > index + 1;)
    if (FStages[i] == busy && !FTakeBack[i]) {
      FTakeBack[i] = true;
      FJobs[i]->Cancelled = true;
      FJobs[i]->DownloadTape.Cut();
      FJobs[i]->DecodeTape.Cut();
      FBudget.Wake();
      FWake.notify_all();
      return;
    }
}

const TFetched& TTransferRoad::PlayDownload(size_t index, const TGaugeTape::TPlay& play) {
  TFileJob& job = *FJobs[index];
  {
    const std::lock_guard lock(FLock);
    if (FStages[index] == TStage::Queued) MakeRoomFor(index, TStage::Fetching, FIdleFetchers);
  }
  job.DownloadTape.Play(play);
  std::unique_lock lock(FLock);
  FWake.wait(
      lock, [&] { return FStages[index] != TStage::Queued && FStages[index] != TStage::Fetching; });
  if (job.Path.empty()) throw std::logic_error("the download of a skipped file was asked for");
  return job.Fetched;
}

TDecoded& TTransferRoad::PlayDecode(size_t index, const TGaugeTape::TPlay& play) {
  TFileJob& job = *FJobs[index];
  {
    const std::lock_guard lock(FLock);
    if (FStages[index] == TStage::Fetched)
      MakeRoomFor(index, TStage::Decoding, FDecoders - std::min(FDecoders, FDecodeSlotsBusy));
  }
  job.DecodeTape.Play(play);
  std::unique_lock lock(FLock);
  FWake.wait(lock, [&] { return FStages[index] == TStage::Decoded; });
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
