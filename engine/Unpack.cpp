// Unpacking of one downloaded .bz2 file into its target, with the file gauge following the
// compressed bytes consumed.
#include <memory>
#include <optional>

#include "engine/TransferWorker.h"
#include "platform/File.h"
#include "transfer/BZip2.h"

namespace korvath {

namespace {

constexpr int32_t kOutBlock = 65536;

// The downloaded file, open for reading while it is unpacked. It is deleted when this goes,
// whatever happened in between: the caller never reads a download twice.
class TDownload {
 public:
  explicit TDownload(const std::string& fileName)
      : FFileName(fileName), FStream(std::in_place, fileName, fmOpenRead | fmShareDenyWrite) {}
  ~TDownload() {
    FStream.reset();  // closed first: an open file cannot be deleted on Windows
    platform::DeleteFile(FFileName);
  }
  TDownload(const TDownload&) = delete;
  TDownload& operator=(const TDownload&) = delete;

  TFileStream& Stream() { return *FStream; }

 private:
  std::string FFileName;
  std::optional<TFileStream> FStream;
};

int32_t Low32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

void TTransferWorker::UnpackFile(const std::string& sourceName, const std::string& targetName,
                                 int64_t maxOutput) {
  TDownload source(sourceName);
  TFileStream target(targetName, fmCreate);
  UnpackStream(source.Stream(), target, maxOutput);
}

void TTransferWorker::UnpackStream(TStream& source, TStream& target, int64_t maxOutput) {
  FSourceStream = &source;
  FGaugeValue = Low32(source.Size());
  FGaugeIndex = kFileGauge;
  SetGaugeMax();

  std::unique_ptr<TBZDecompressionStream> decoder;
  try {
    decoder = std::make_unique<TBZDecompressionStream>(source);
  } catch (...) {
    FSourceStream = nullptr;  // the caller frees the source: leave no pointer to it behind
    throw;
  }
  decoder->OnProgress = [this](TObject* sender) { UnpackProgress(sender); };

  // Once the decoder runs, the gauge goes back to 0 on every way out.
  const auto finish = [this, &decoder] {
    decoder.reset();
    FSourceStream = nullptr;
    FGaugeValue = 0;
    SetFileProgress();
  };
  try {
    char block[kOutBlock];
    int64_t total = 0;
    for (;;) {
      const int32_t done = decoder->Read(block, kOutBlock);
      if (done == 0) break;
      total += done;
      if (maxOutput != kNoLimit && total > maxOutput)
        throw EUnpackTooLong(Format("the unpacked data is larger than %lld bytes", static_cast<long long>(maxOutput)));
      target.WriteBuffer(block, done);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TTransferWorker::UnpackProgress(TObject* /*sender*/) {
  if (FSourceStream == nullptr) return;
  // Compressed bytes taken in so far: the source moves a whole input block at a time.
  FGaugeValue = Low32(FSourceStream->Position());
  SetFileProgress();
}

}  // namespace korvath
