// The part of the update worker that moves bytes: the fields the window reads, the seven
// synchronized calls, the download of one address into one file, and the unpacking of one
// downloaded .bz2 file. GFilesThread builds the update run on top of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/RunView.h"
#include "list/Limits.h"
#include "platform/Http.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "runtime/Thread.h"

namespace korvath {

// A body or an unpacked file went past its limit.
class EDownloadTooLong : public Exception {
  using Exception::Exception;
};
class EUnpackTooLong : public Exception {
  using Exception::Exception;
};

// A downloaded file, open for reading while it is unpacked. It is deleted when this goes,
// whatever happened in between: a download is never read twice.
class TDownloadToUnpack {
 public:
  explicit TDownloadToUnpack(const std::string& fileName);
  ~TDownloadToUnpack();
  TDownloadToUnpack(const TDownloadToUnpack&) = delete;
  TDownloadToUnpack& operator=(const TDownloadToUnpack&) = delete;

  TFileStream& Stream() { return *FStream; }

 private:
  std::string FFileName;
  std::optional<TFileStream> FStream;
};

// The user agent of every request to the update server.
inline constexpr const char* kAgentName = "ViDivivuRidevuv";

class TTransferWorker : public TThread {
 public:
  using HttpOpener =
      std::function<std::unique_ptr<platform::HttpSession>(const std::string& agent)>;

  TTransferWorker(IRunView& view, ISynchronizer& owner);

  // Fetches Url into LocalName. False, with LocalName untouched, when the address cannot be
  // opened; local file errors are raised (EInOutError). Moves the file gauge through
  // FGaugeValue and SetFileProgress. A body longer than MaxBytes is cut off there: LocalName
  // is removed and EDownloadTooLong raised.
  bool DownloadFile(const std::string& url, const std::string& localName, bool reportProgress,
                    int64_t maxBytes = kNoLimit);
  // Decodes the bzip2 file SourceName into TargetName, then deletes SourceName. Raises on
  // failure, including a source that ends before its bzip2 stream does, and output beyond
  // MaxOutput (EUnpackTooLong).
  void UnpackFile(const std::string& sourceName, const std::string& targetName,
                  int64_t maxOutput = kNoLimit);
  void UnpackStream(TStream& source, TStream& target, int64_t maxOutput = kNoLimit);
  void UnpackProgress(TObject* sender);

  // Tests and other front ends may give the downloads another HTTP client.
  void SetHttpOpener(HttpOpener opener) { FHttpOpener = std::move(opener); }
  const HttpOpener& GetHttpOpener() const { return FHttpOpener; }

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
};

}  // namespace korvath
