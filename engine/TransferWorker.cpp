#include "engine/TransferWorker.h"

namespace korvath {

TTransferWorker::TTransferWorker(IRunView& view, ISynchronizer& owner)
    : TThread(owner), FView(view), FHttpOpener(platform::OpenInternet) {}

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
