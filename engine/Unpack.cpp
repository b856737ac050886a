// Unpacking of one downloaded .bz2 file into its target, with the file gauge following the
// compressed bytes consumed.
#include <memory>

#include "engine/TransferWorker.h"
#include "platform/File.h"
#include "transfer/BZip2.h"

namespace korvath {

namespace {

constexpr int32_t kOutBlock = 65536;

int32_t Low32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

TDownloadToUnpack::TDownloadToUnpack(const std::string& fileName)
    : FFileName(fileName), FStream(std::in_place, fileName, fmOpenRead | fmShareDenyWrite) {}

TDownloadToUnpack::~TDownloadToUnpack() {
  FStream.reset();  // closed first: an open file cannot be deleted on Windows
  platform::DeleteFile(FFileName);
}

void TTransferWorker::UnpackFile(const std::string& sourceName, const std::string& targetName,
                                 int64_t maxOutput) {
  TDownloadToUnpack source(sourceName);
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
        throw EUnpackTooLong(Format("the unpacked data is larger than %lld bytes",
                                    static_cast<long long>(maxOutput)));
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
