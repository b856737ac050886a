#include "engine/FetchStage.h"

#include <algorithm>

#include "engine/FileFailed.h"
#include "engine/RunView.h"
#include "list/LocalPath.h"
#include "platform/File.h"

namespace korvath {
namespace {

// The file's names while its copy in Format comes.
TFileNames NamesOf(const TFileJob& job, const std::string& workDir, TCopyFormat format) {
  const bool preferred = format != TCopyFormat::Bzip2;
  TFileNames names;
  names.Local = LocalPathOf(workDir, job.Path);
  names.Download = names.Local + (preferred ? job.PreferredSuffix : job.DownloadSuffix);
  names.Unpacked = names.Local + job.UnpackSuffix;
  // Only a file that takes a patch has one: the name may be another listed file's otherwise.
  if (!job.Patch.Addresses.empty()) names.Patch = names.Local + kPatchSuffix;
  if (preferred ? job.PreferredResumable : job.Resumable)
    names.Record = names.Local + CopyFormatTraits(format).ResumeSuffix;
  return names;
}

// The patch from its addresses in turn: true once the listed patch is stored. Why it gave way
// goes to Failure otherwise.
bool FetchPatch(TFileJob& job, const TFetchContext& context, const TRetryWait& wait,
                std::string& failure) {
  TAddressCursor cursor(job.MirrorBases, job.Patch.Addresses.size(), 0, *context.Health);
  failure = "no address";
  while (const std::optional<size_t> at = cursor.Next()) {
    TSpaceGuard space(context.VolumeQuery, job.Names.Patch);
    space.HoldWith(context.Hold);
    bool opened = false;
    failure = FetchPatchFrom(
        context.Session, job.Patch.Addresses[*at], job.Patch, job.Names.Patch, space,
        [&](int64_t total) {
          job.DownloadTape.Record({false, kFileGauge, Low32(total)});
        },
        wait, opened);
    if (failure.empty()) return true;
    if (!opened) cursor.NotOpened(*at);
    context.ReleaseDownload();
  }
  return false;
}

// The copy in Format from Addresses in turn, from First on, into Names.Download: true once it is
// stored, with the address it came from in Result.Source; the addresses that failed go to
// Result.Failed.
bool FetchCopy(TFileJob& job, const TFetchContext& context, const TFileNames& names,
               const std::vector<std::string>& addresses, size_t first, int64_t maxBody,
               TFetched& result) {
  // A part kept from earlier that turned out wrong is not continued again.
  if (!job.Plan.MayResume && !names.Record.empty()) {
    platform::DeleteFile(names.Download);
    platform::DeleteFile(names.Record);
  }
  const auto record = [&](int64_t position) {
    job.DownloadTape.Record({false, kFileGauge, Low32(position)});
  };
  TAddressCursor cursor(job.MirrorBases, addresses.size(), first, *context.Health);
  while (const std::optional<size_t> at = cursor.Next()) {
    const bool mirror = cursor.IsMirror(*at);
    result.Source = *at;
    TSpaceGuard space(context.VolumeQuery, names.Download);
    space.HoldWith(context.Hold);
    TFileSink sink(names.Download, &space, names.Record, job.Md5);
    std::string why;
    const TFetchResult fetched = FetchFrom(context.Session, addresses[*at], mirror, sink, record,
                                           maxBody, why, context.Wait);
    record(0);
    if (fetched == TFetchResult::Fetched) {
      result.UncheckedJoin = sink.HasUncheckedJoin();
      return true;
    }
    if (fetched == TFetchResult::NotOpened) cursor.NotOpened(*at);
    result.Failed.push_back(
        {addresses[*at], mirror ? why : "could not be opened", fetched == TFetchResult::Failed});
    // Nothing of a failed attempt's body is kept.
    context.ReleaseDownload();
  }
  return false;
}

// Why the preferred copy gave way at every address, for its one line in the log.
std::string PreferredGaveWay(const std::vector<TFailedAddress>& failed) {
  std::string why;
  for (const TFailedAddress& address : failed)
    why += (why.empty() ? "" : "; ") + address.Address + ": " + address.Why;
  return why.empty() ? "no address" : why;
}

void FetchInto(TFileJob& job, const TFetchContext& context, TFetched& result) {
  // The names are resolved against the folders as the files before this one left them; those
  // of a refused file are never kept, so never deleted either.
  TFileNames names = NamesOf(job, context.WorkDir, TCopyFormat::Bzip2);
  ForceFolderOf(context.WorkDir, names.Local);
  // A file the volume has no room for fails here, before its first byte.
  CheckRoomFor(context.VolumeQuery, names.Local,
               job.Integrity.Known ? job.Integrity.Size : job.Size);
  job.Names = names;
  const auto maximum = [&](int64_t size) {
    job.DownloadTape.Record({true, kFileGauge, Low32(size)});
  };
  if (job.Plan.TryPatch && !job.Patch.Addresses.empty()) {
    // The gauge follows the patch while it comes, and the whole copy if that comes instead.
    maximum(job.Patch.Size);
    if (FetchPatch(job, context, context.Wait, result.PatchFailure)) {
      job.DownloadTape.Record({false, kFileGauge, 0});
      result.Kind = TFetched::TKind::Patch;
      return;
    }
    maximum(job.Size);
  }
  if (job.Plan.TryPreferred && job.Preferred) {
    // The preferred copy is not larger than the listed one, so the bytes it holds are bounded by
    // that too; anything at any address that is not it gives way to the bzip2 copy.
    const TListedCopy& copy = *job.Preferred;
    const TFileNames preferred = NamesOf(job, context.WorkDir, copy.Format);
    job.Names = preferred;
    maximum(copy.Size);
    TFetched tried;
    const int64_t maxBody =
        std::min(CopyFormatTraits(copy.Format).MaxBody(job.Integrity.Size), copy.Size);
    try {
      if (FetchCopy(job, context, preferred, job.PreferredAddresses, 0, maxBody, tried)) {
        result.Kind = TFetched::TKind::Copy;
        result.Format = copy.Format;
        result.Source = tried.Source;
        result.UncheckedJoin = tried.UncheckedJoin;
        return;
      }
      result.CopyFailure = PreferredGaveWay(tried.Failed);
    } catch (const ECancelled&) {
      throw;
    } catch (const Exception& e) {
      // Whatever the server's answer did wrong, the bzip2 copy is still to come; an error of
      // this machine's meets that copy's fetch too, and fails the file there.
      context.ReleaseDownload();
      result.CopyFailure = job.PreferredAddresses[tried.Source] + ": " + e.Message();
    }
    platform::DeleteFile(preferred.Download);
    if (!preferred.Record.empty()) platform::DeleteFile(preferred.Record);
    job.Names = names;
    maximum(job.Size);
  }
  const int64_t maxBody = job.Integrity.Known ? MaxBodyFor(job.Integrity.Size) : kMaxBodyBytes;
  result.Kind =
      FetchCopy(job, context, names, job.Addresses, job.Plan.FirstAddress, maxBody, result)
          ? TFetched::TKind::Copy
          : TFetched::TKind::NoAnswer;
}

}  // namespace

TFetched FetchFile(TFileJob& job, const TFetchContext& context) {
  TFetched result;
  try {
    FetchInto(job, context, result);
  } catch (...) {
    // What came before the error is kept with it: the worker names the addresses tried.
    result.Error = std::current_exception();
  }
  return result;
}

}  // namespace korvath
