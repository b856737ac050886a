#include "engine/Patching.h"

#include <algorithm>
#include <span>

#include "engine/RunView.h"
#include "platform/MappedFile.h"
#include "platform/MappedOutput.h"
#include "transfer/Patch.h"
#include "transfer/Sha256.h"

namespace korvath {
namespace {

// The digests of the rebuilt bytes are taken this much at a time.
constexpr size_t kDigestStep = size_t{1} << 20;

// A whole file mapped for reading. An empty file cannot be mapped: it reads as no bytes.
std::span<const char> MapWhole(const std::string& name, platform::MappedFile& file) {
  if (!platform::MappedFile::Open(name, file)) {
    platform::File plain;
    int64_t size = -1;
    if (platform::File::Open(name, platform::Access::Read, platform::Share::ReadWrite,
                             platform::Disposition::OpenExisting, plain) == 0 &&
        plain.Size(size) == 0 && size == 0)
      return {};
    throw EPatchUnusable("'" + name + "' cannot be opened and mapped");
  }
  if (!file.MapView(0, static_cast<size_t>(file.Size())) || file.ViewSize() != file.Size())
    throw EPatchUnusable("'" + name + "' cannot be mapped whole");
  return {reinterpret_cast<const char*>(file.Data()), file.ViewSize()};
}

TRebuilt Digests(std::span<const char> bytes) {
  TDigestContext md5;
  DigestInit(md5);
  TSha256 sha256;
  for (size_t at = 0; at < bytes.size(); at += kDigestStep) {
    const size_t step = std::min(kDigestStep, bytes.size() - at);
    DigestUpdate(md5, bytes.data() + at, static_cast<uint32_t>(step));
    sha256.Update(bytes.data() + at, step);
  }
  TRebuilt result;
  DigestFinal(md5, result.Md5);
  result.Sha256 = sha256.FinalHex();
  return result;
}

}  // namespace

std::string FetchPatchFrom(platform::HttpSession* session, const std::string& address,
                           const TPatchPlan& plan, const std::string& patchName, TSpaceGuard& space,
                           const std::function<void(int64_t received)>& received,
                           const TRetryWait& wait, bool& opened) {
  TFileSink sink(patchName, &space);
  // A body longer than the listed size is cut off there and raises: the next address may do.
  try {
    opened = Download(session, address, sink, received, plan.Size, wait);
    if (!opened) return "could not be opened: " + address;
  } catch (const EDownloadTooLong& e) {
    return e.Message();
  }
  int64_t size = -1;
  {
    // Closed before the file may go: Windows deletes no file that is open.
    platform::File file;
    if (platform::File::Open(patchName, platform::Access::Read, platform::Share::Read,
                             platform::Disposition::OpenExisting, file) != 0 ||
        file.Size(size) != 0)
      size = -1;
  }
  if (size != plan.Size) {
    platform::DeleteFile(patchName);
    return Format("%lld bytes arrived, the list names %lld", static_cast<long long>(size),
                  static_cast<long long>(plan.Size));
  }
  TDigestBytes digest;
  FileDigest(patchName, digest);
  if (const std::string actual = DigestToHex(digest); actual != plan.Md5) {
    platform::DeleteFile(patchName);
    return "digest mismatch (listed " + plan.Md5 + ", received " + actual + ")";
  }
  return {};
}

TRebuilt RebuildFile(const std::string& base, const std::string& patchName,
                     platform::TempFile& temporary, int64_t size, const TGaugeReport& gauge,
                     TSpaceGuard& space) {
  platform::MappedFile baseFile, patchFile;
  const std::span<const char> baseBytes = MapWhole(base, baseFile);
  const std::span<const char> patch = MapWhole(patchName, patchFile);
  gauge(TGaugeCall{true, kFileGauge, Low32(static_cast<int64_t>(patch.size()))});
  // Once the gauge is set, it goes back to 0 on every way out, as an unpacking's does.
  try {
    space.Reserve(size);
    if (const int error = temporary.Create())
      throw EPatchUnusable("the rebuilt file cannot be created (" +
                           platform::SysErrorMessage(error) + ")");
    platform::MappedOutput result;
    if (const int error = platform::MappedOutput::Map(temporary.TakeOutput(),
                                                      static_cast<uint64_t>(size), result))
      throw EPatchUnusable("the rebuilt file cannot be mapped (" +
                           platform::SysErrorMessage(error) + ")");
    ApplyPatch(baseBytes, patch, result.Data(), [&](int64_t consumed) {
      gauge(TGaugeCall{false, kFileGauge, Low32(consumed)});
    });
    // A base or patch cut short while it was read has read as zeros past its new end.
    if ((baseFile.Size() > 0 && !baseFile.Intact()) ||
        (patchFile.Size() > 0 && !patchFile.Intact()))
      throw EPatchUnusable("the base or the patch was cut short while it was read");
    TRebuilt rebuilt = Digests(result.Data());
    gauge(TGaugeCall{false, kFileGauge, 0});
    return rebuilt;
  } catch (...) {
    gauge(TGaugeCall{false, kFileGauge, 0});
    throw;
  }
}

}  // namespace korvath
