// The part of the update worker that moves bytes: the fields the window reads, the seven
// synchronized calls, and the transfers of engine/Transfer.h shown through them. GFilesThread
// builds the update run on top of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/RunView.h"
#include "engine/Transfer.h"
#include "list/Limits.h"
#include "platform/Http.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "runtime/Thread.h"

namespace korvath {

class TTransferWorker : public TThread {
 public:
  using HttpOpener = korvath::HttpOpener;

  TTransferWorker(IRunView& view, ISynchronizer& owner);

  // Fetches Url into LocalName. False, with LocalName untouched, when the address cannot be
  // opened; local file errors are raised (EInOutError). Moves the file gauge through
  // FGaugeValue and SetFileProgress. A body longer than MaxBytes is cut off there: LocalName
  // is removed and EDownloadTooLong raised. A run told to stop (Terminate) ends a download in the
  // pause before a further attempt, with what arrived.
  bool DownloadFile(const std::string& url, const std::string& localName, bool reportProgress,
                    int64_t maxBytes = kNoLimit);
  // Decodes the bzip2 file SourceName into TargetName, then deletes SourceName. Raises on
  // failure, including a source that ends before its bzip2 stream does, and output beyond
  // MaxOutput (EUnpackTooLong).
  void UnpackFile(const std::string& sourceName, const std::string& targetName,
                  int64_t maxOutput = kNoLimit);
  void UnpackStream(TStream& source, TStream& target, int64_t maxOutput = kNoLimit,
                    TSpaceGuard* space = nullptr);
  // Makes a transfer's gauge call through SetGaugeMax or SetFileProgress.
  void ShowGaugeCall(const TGaugeCall& call);
  // The same call made on the owner's thread, which already runs it: for calls handed over
  // several at a time.
  void MakeGaugeCall(const TGaugeCall& call);

  // Tests and other front ends may give the downloads another HTTP client.
  void SetHttpOpener(HttpOpener opener) { FHttpOpener = std::move(opener); }
  const HttpOpener& GetHttpOpener() const { return FHttpOpener; }
  // Every file a run writes leaves its volume's free-space reserve; tests may tell the run
  // another volume's space.
  void SetVolumeQuery(TVolumeQuery query) { FVolumeQuery = std::move(query); }
  const TVolumeQuery& GetVolumeQuery() const { return FVolumeQuery; }

  // The values the synchronized calls hand to the window, written just before each call.
  int32_t FGaugeValue = 0;
  std::string FStatus;
  int32_t FRevision = 0;
  int32_t FGaugeIndex = 0;
  TStream* FSourceStream = nullptr;

 protected:
  // The seven synchronized calls: each runs on the owner's thread while this one waits.
  void ShowStatus();
  void SetGaugeMax();
  void SetFileProgress();
  void SetTotalProgress();
  void StoreRevision();
  void DisableButtons();
  void EnableButtons();

  IRunView& FView;

 private:
  HttpOpener FHttpOpener;
  TVolumeQuery FVolumeQuery;
};

}  // namespace korvath
