// Unpacking of one downloaded copy into its target, with the file gauge following the
// compressed bytes behind the output written.
#include <cstdint>
#include <memory>

#include "engine/RunView.h"
#include "engine/Transfer.h"
#include "list/CopyFormats.h"
#include "platform/File.h"

namespace korvath {
namespace {

constexpr int32_t kOutBlock = 65536;

}  // namespace

TDownloadToUnpack::TDownloadToUnpack(const std::string& fileName)
    : FFileName(fileName), FStream(std::in_place, fileName, fmOpenRead | fmShareDenyWrite) {}

TDownloadToUnpack::~TDownloadToUnpack() {
  FStream.reset();  // closed first: an open file cannot be deleted on Windows
  platform::DeleteFile(FFileName);
}

void Unpack(TStream& source, TStream& target, const TGaugeReport& gauge, int64_t maxOutput,
            TSpaceGuard* space, unsigned decoders, TCopyFormat format) {
  gauge(TGaugeCall{true, kFileGauge, Low32(source.Size())});
  // One decoder leaves the block road out: its cutting and copying would only cost more CPU.
  const TCopyFormatTraits& traits = CopyFormatTraits(format);
  const std::unique_ptr<TCopyDecoder> decoding =
      traits.Decoder(source, maxOutput, decoders == 1 ? INT64_MAX : traits.ParallelFrom, decoders);
  TCopyDecoder& decoder = *decoding;
  // Compressed bytes behind the output so far, a whole input block at a time (on the block road
  // as its output is handed out, not as the source is read ahead).
  decoder.OnProgress = [&](TObject*) {
    gauge(TGaugeCall{false, kFileGauge, Low32(decoder.SourcePosition())});
  };
  // Once the decoder runs, the gauge goes back to 0 on every way out.
  try {
    char block[kOutBlock];
    int64_t total = 0;
    for (;;) {
      const int32_t done = decoder.Read(block, kOutBlock);
      if (done == 0) break;
      total += done;
      if (maxOutput != kNoLimit && total > maxOutput)
        throw EUnpackTooLong(Format("the unpacked data is larger than %lld bytes",
                                    static_cast<long long>(maxOutput)));
      if (space != nullptr) space->Reserve(done);
      target.WriteBuffer(block, done);
    }
  } catch (...) {
    decoder.OnProgress = nullptr;
    gauge(TGaugeCall{false, kFileGauge, 0});
    throw;
  }
  decoder.OnProgress = nullptr;
  gauge(TGaugeCall{false, kFileGauge, 0});
}

}  // namespace korvath
