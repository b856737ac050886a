// A patch is one zstd frame compressed with the base as its prefix: its matches may point into
// the base, so bytes that stayed from one release to the next cost a few bits each. The frame
// carries the rebuilt size and a checksum of the rebuilt bytes; applied to another base, the
// checksum (or a match pointing before the base's start) gives it away.
#include "transfer/Patch.h"

// The parameters that keep the frame's window out of private memory (stable buffers) and the
// frame header's fields are in the library's static section.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>
#include <memory>

namespace korvath {
namespace {

struct DCtxFree {
  void operator()(ZSTD_DCtx* context) const noexcept { ZSTD_freeDCtx(context); }
};
struct CCtxFree {
  void operator()(ZSTD_CCtx* context) const noexcept { ZSTD_freeCCtx(context); }
};

// Patches are made so that a 32-bit client can apply them: its decoder reaches back at most
// 2^30 bytes, so no match of a patch reaches further, whatever machine made it.
constexpr int kWindowLogAtMost = ZSTD_WINDOWLOG_MAX_32;

// Patch bytes handed to the decoder per step, between two progress reports.
constexpr size_t kApplyStep = size_t{1} << 20;

[[noreturn]] void Fail(const std::string& reason) {
  throw EPatchError("Patch: " + reason);
}

void Check(size_t code, const char* what) {
  if (ZSTD_isError(code)) Fail(std::string(what) + " (" + ZSTD_getErrorName(code) + ")");
}

// The window that lets a match anywhere in the target reach the start of the base.
int WindowLogFor(size_t base, size_t target) {
  const uint64_t span = uint64_t{base} + target;
  int log = ZSTD_WINDOWLOG_MIN;
  while (log < kWindowLogAtMost && (uint64_t{1} << log) < span) ++log;
  return log;
}

}  // namespace

void ApplyPatch(std::span<const char> base, std::span<const char> patch, std::span<char> result,
                const std::function<void(int64_t consumed)>& progress) {
  ZSTD_frameHeader header;
  const size_t headerNeeds = ZSTD_getFrameHeader(&header, patch.data(), patch.size());
  if (ZSTD_isError(headerNeeds) || (headerNeeds == 0 && header.frameType != ZSTD_frame))
    Fail("not a patch");
  if (headerNeeds > 0) Fail("cut off in its header");
  if (header.frameContentSize != result.size())
    Fail("makes " +
         (header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN
              ? std::string("an unknown number of")
              : std::to_string(header.frameContentSize)) +
         " bytes, not " + std::to_string(result.size()));
  if (!header.checksumFlag) Fail("carries no checksum");

  std::unique_ptr<ZSTD_DCtx, DCtxFree> context(ZSTD_createDCtx());
  if (!context) throw EOutOfMemory();
  // The result is written in place: with a stable output buffer the decoder keeps no window of
  // its own, and matches are read from the base and the result themselves.
  Check(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_stableOutBuffer, 1), "stable output");
  Check(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax,
                               ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound),
        "window limit");
  Check(ZSTD_DCtx_refPrefix(context.get(), base.data(), base.size()), "base");

  ZSTD_inBuffer in{patch.data(), 0, 0};
  ZSTD_outBuffer out{result.data(), result.size(), 0};
  for (;;) {
    in.size = std::min(patch.size(), in.pos + kApplyStep);
    const size_t inBefore = in.pos, outBefore = out.pos;
    const size_t left = ZSTD_decompressStream(context.get(), &out, &in);
    if (ZSTD_isError(left))
      Fail(std::string("damaged, or made for another base (") + ZSTD_getErrorName(left) + ")");
    if (progress) progress(static_cast<int64_t>(in.pos));
    if (left == 0) break;
    if (in.pos == patch.size() && in.pos == inBefore && out.pos == outBefore) Fail("cut off");
  }
  if (in.pos != patch.size()) Fail("has data after its end");
  if (out.pos != result.size())
    Fail("makes " + std::to_string(out.pos) + " bytes, not " + std::to_string(result.size()));
}

std::string MakePatch(std::span<const char> base, std::span<const char> target, int level) {
  std::unique_ptr<ZSTD_CCtx, CCtxFree> context(ZSTD_createCCtx());
  if (!context) throw EOutOfMemory();
  ZSTD_CCtx* c = context.get();
  Check(ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level), "level");
  // Long-range matching finds the base's stretches however far back they lie; the window is
  // what lets a match reach them.
  Check(ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1), "long matching");
  Check(ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, WindowLogFor(base.size(), target.size())),
        "window");
  Check(ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1), "checksum");
  Check(ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 1), "size field");
  // The target is read in place rather than copied into a window buffer of its size.
  Check(ZSTD_CCtx_setParameter(c, ZSTD_c_stableInBuffer, 1), "stable input");
  Check(ZSTD_CCtx_setPledgedSrcSize(c, target.size()), "size");
  Check(ZSTD_CCtx_refPrefix(c, base.data(), base.size()), "base");

  std::string patch;
  std::string chunk(ZSTD_CStreamOutSize(), '\0');
  ZSTD_inBuffer in{target.data(), target.size(), 0};
  for (;;) {
    ZSTD_outBuffer out{chunk.data(), chunk.size(), 0};
    const size_t left = ZSTD_compressStream2(c, &out, &in, ZSTD_e_end);
    Check(left, "compression");
    patch.append(chunk.data(), out.pos);
    if (left == 0) return patch;
  }
}

}  // namespace korvath
