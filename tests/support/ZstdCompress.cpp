#include "tests/support/ZstdCompress.h"

#include <zstd.h>

#include <memory>
#include <stdexcept>

namespace korvath::test {

std::string ZstdCompress(const std::string& data, const ZstdFrameOptions& options) {
  const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(),
                                                                     ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, options.Level);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, options.ContentSize ? 1 : 0);
  if (options.WindowLog != 0)
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, options.WindowLog);
  if (options.ContentSize) ZSTD_CCtx_setPledgedSrcSize(context.get(), data.size());
  std::string frame(ZSTD_compressBound(data.size()) + 64, '\0');
  ZSTD_outBuffer out{frame.data(), frame.size(), 0};
  ZSTD_inBuffer in{data.data(), data.size(), 0};
  // Given in two calls, the compressor learns the size only when it is pledged; a large window
  // stays as large as it was set otherwise.
  ZSTD_compressStream2(context.get(), &out, &in, ZSTD_e_continue);
  for (;;) {
    const size_t left = ZSTD_compressStream2(context.get(), &out, &in, ZSTD_e_end);
    if (ZSTD_isError(left)) throw std::runtime_error(ZSTD_getErrorName(left));
    if (left == 0) break;
  }
  frame.resize(out.pos);
  return frame;
}

}  // namespace korvath::test
