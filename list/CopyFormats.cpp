#include "list/CopyFormats.h"

#include "list/Limits.h"
#include "platform/Ascii.h"
#include "transfer/BZip2Parallel.h"
#include "transfer/Misc.h"
#include "transfer/Zstd.h"

namespace korvath {
namespace {

// bzip2 grows data by at most 1% plus 600 bytes.
int64_t BzipMaxBody(int64_t unpacked) {
  return MaxBodyFor(unpacked);
}

// zstd's own bound on a frame of Unpacked bytes (ZSTD_compressBound: 1/256 more, plus up to
// 64 bytes for small inputs) and the frame's header and checksum.
int64_t ZstdMaxBody(int64_t unpacked) {
  return unpacked + unpacked / 256 + 64 + 32;
}

std::unique_ptr<TCopyDecoder> BzipDecoder(TStream& source, int64_t, int64_t parallelFrom,
                                          unsigned decoders) {
  return std::make_unique<TBZParallelDecompressionStream>(source, parallelFrom, decoders);
}

std::unique_ptr<TCopyDecoder> ZstdDecoder(TStream& source, int64_t maxContent, int64_t, unsigned) {
  return std::make_unique<TZstdDecompressionStream>(source, kZstdWindowLogMax, maxContent);
}

constexpr std::array<TCopyFormatTraits, 2> kFormats = {{
    {TCopyFormat::Bzip2, "bzip2", ".bz2", ".bz2.resume", nullptr, BzipMaxBody,
     TBZParallelDecompressionStream::kParallelFrom, BzipDecoder},
    {TCopyFormat::Zstd, "zstd", ".zst", ".zst.resume", "zst=", ZstdMaxBody, INT64_MAX, ZstdDecoder},
}};

// 1 to 18 decimal digits.
bool ParseSize(const std::string& text, int64_t& size) {
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  size = value;
  return true;
}

}  // namespace

const std::array<TCopyFormatTraits, 2>& CopyFormats() {
  return kFormats;
}

const TCopyFormatTraits& CopyFormatTraits(TCopyFormat format) {
  for (const TCopyFormatTraits& traits : kFormats)
    if (traits.Format == format) return traits;
  return kFormats[0];
}

std::vector<TListedCopy> ListedCopies(const TFileEntry& entry) {
  std::vector<TListedCopy> listed;
  for (const std::string& field : entry.Front) {
    for (const TCopyFormatTraits& traits : kFormats) {
      if (traits.Field == nullptr || field.rfind(traits.Field, 0) != 0) continue;
      bool seen = false;
      for (const TListedCopy& copy : listed) seen = seen || copy.Format == traits.Format;
      TListedCopy copy{traits.Format, 0};
      if (!seen && ParseSize(field.substr(std::string(traits.Field).size()), copy.Size) &&
          copy.Size > 0)
        listed.push_back(copy);
    }
  }
  return listed;
}

std::string CopyField(TCopyFormat format, int64_t size) {
  const char* field = CopyFormatTraits(format).Field;
  return field == nullptr ? std::string() : field + std::to_string(size);
}

const TListedCopy* PreferredCopy(const std::vector<TListedCopy>& listed, int64_t bzipSize) {
  for (const TListedCopy& copy : listed)
    if (copy.Size <= bzipSize + bzipSize / kLargerCopyMarginDivisor) return &copy;
  return nullptr;
}

std::string PublishedCopyName(const std::string& listPath, TCopyFormat format) {
  return ReplaceAll(listPath, "\\", "/") + CopyFormatTraits(format).Suffix;
}

}  // namespace korvath
