#include "engine/TransferWorker.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace korvath {
namespace {

// How often a pause between download attempts looks whether the run was told to stop.
constexpr std::chrono::milliseconds kStopLook{20};

// Clears a pointer into the caller's objects on every way out.
class TResetOnExit {
 public:
  explicit TResetOnExit(TStream*& pointer) : FPointer(pointer) {}
  ~TResetOnExit() { FPointer = nullptr; }
  TResetOnExit(const TResetOnExit&) = delete;
  TResetOnExit& operator=(const TResetOnExit&) = delete;

 private:
  TStream*& FPointer;
};

}  // namespace

TTransferWorker::TTransferWorker(IRunView& view, ISynchronizer& owner)
    : TThread(owner),
      FView(view),
      FHttpOpener(platform::OpenInternet),
      FVolumeQuery(platform::GetVolumeSpace) {}

bool TTransferWorker::DownloadFile(const std::string& url, const std::string& localName,
                                   bool reportProgress, int64_t maxBytes) {
  FGaugeValue = 0;
  TSpaceGuard space(FVolumeQuery, localName);
  TFileSink sink(localName, &space);
  std::function<void(int64_t)> received;
  if (reportProgress)
    received = [this](int64_t total) {
      FGaugeValue = Low32(total);
      SetFileProgress();
    };
  // Terminate wakes nobody, so the pause before a further attempt looks at it every few
  // milliseconds; a run told to stop ends the download with what arrived.
  const auto wait = [this](std::chrono::milliseconds pause) {
    const auto end = std::chrono::steady_clock::now() + pause;
    for (;;) {
      if (Terminated()) return false;
      const auto left = end - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return true;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kStopLook));
    }
  };
  const bool result = Download(FHttpOpener, url, sink, received, maxBytes, wait);
  FGaugeValue = 0;
  SetFileProgress();
  return result;
}

void TTransferWorker::UnpackFile(const std::string& sourceName, const std::string& targetName,
                                 int64_t maxOutput) {
  TDownloadToUnpack source(sourceName);
  TFileStream target(targetName, fmCreate);
  TSpaceGuard space(FVolumeQuery, targetName);
  UnpackStream(source.Stream(), target, maxOutput, &space);
}

void TTransferWorker::UnpackStream(TStream& source, TStream& target, int64_t maxOutput,
                                   TSpaceGuard* space) {
  FSourceStream = &source;
  // The caller frees the source: no pointer to it is left behind.
  const TResetOnExit reset(FSourceStream);
  Unpack(
      source, target, [this](const TGaugeCall& call) { ShowGaugeCall(call); }, maxOutput, space);
}

void TTransferWorker::ShowGaugeCall(const TGaugeCall& call) {
  Synchronize([this, &call] { MakeGaugeCall(call); });
}

void TTransferWorker::MakeGaugeCall(const TGaugeCall& call) {
  FGaugeValue = call.Value;
  if (call.IsMaximum) {
    FGaugeIndex = call.GaugeIndex;
    FView.SetGaugeMax(FGaugeIndex, FGaugeValue);
  } else {
    FView.SetFileProgress(FGaugeValue);
  }
}

void TTransferWorker::ShowStatus() {
  Synchronize([this] { FView.ShowStatus(FStatus); });
}

void TTransferWorker::SetGaugeMax() {
  Synchronize([this] { FView.SetGaugeMax(FGaugeIndex, FGaugeValue); });
}

void TTransferWorker::SetFileProgress() {
  Synchronize([this] { FView.SetFileProgress(FGaugeValue); });
}

void TTransferWorker::SetTotalProgress() {
  Synchronize([this] { FView.SetTotalProgress(FGaugeValue); });
}

void TTransferWorker::StoreRevision() {
  Synchronize([this] { FView.StoreRevision(FRevision); });
}

void TTransferWorker::DisableButtons() {
  Synchronize([this] { FView.DisableButtons(); });
}

void TTransferWorker::EnableButtons() {
  Synchronize([this] { FView.EnableButtons(); });
}

}  // namespace korvath
