#include "engine/FetchStage.h"

#include "engine/FileFailed.h"
#include "engine/RunView.h"
#include "list/LocalPath.h"
#include "platform/File.h"

namespace korvath {
namespace {

TFileNames NamesOf(const TFileJob& job, const std::string& workDir) {
  TFileNames names;
  names.Local = LocalPathOf(workDir, job.Path);
  names.Download = names.Local + job.DownloadSuffix;
  names.Unpacked = names.Local + job.UnpackSuffix;
  // Only a file that takes a patch has one: the name may be another listed file's otherwise.
  if (!job.Patch.Addresses.empty()) names.Patch = names.Local + kPatchSuffix;
  if (job.Resumable) names.Record = names.Local + kResumeSuffix;
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

void FetchInto(TFileJob& job, const TFetchContext& context, TFetched& result) {
  // The names are resolved against the folders as the files before this one left them; those
  // of a refused file are never kept, so never deleted either.
  const TFileNames names = NamesOf(job, context.WorkDir);
  ForceFolderOf(context.WorkDir, names.Local);
  // A file the volume has no room for fails here, before its first byte.
  CheckRoomFor(context.VolumeQuery, names.Local,
               job.Integrity.Known ? job.Integrity.Size : job.Size);
  job.Names = names;
  const auto record = [&](int64_t position) {
    job.DownloadTape.Record({false, kFileGauge, Low32(position)});
  };
  const auto maximum = [&](int64_t size) {
    job.DownloadTape.Record({true, kFileGauge, Low32(size)});
  };
  if (job.Plan.TryPatch && !job.Patch.Addresses.empty()) {
    // The gauge follows the patch while it comes, and the whole copy if that comes instead.
    maximum(job.Patch.Size);
    if (FetchPatch(job, context, context.Wait, result.PatchFailure)) {
      record(0);
      result.Kind = TFetched::TKind::Patch;
      return;
    }
    maximum(job.Size);
  }
  // A part kept from earlier that turned out wrong is not continued again.
  if (!job.Plan.MayResume && !names.Record.empty()) {
    platform::DeleteFile(names.Download);
    platform::DeleteFile(names.Record);
  }
  const int64_t maxBody = job.Integrity.Known ? MaxBodyFor(job.Integrity.Size) : kMaxBodyBytes;
  TAddressCursor cursor(job.MirrorBases, job.Addresses.size(), job.Plan.FirstAddress,
                        *context.Health);
  while (const std::optional<size_t> at = cursor.Next()) {
    const bool mirror = cursor.IsMirror(*at);
    result.Source = *at;
    TSpaceGuard space(context.VolumeQuery, names.Download);
    space.HoldWith(context.Hold);
    TFileSink sink(names.Download, &space, names.Record, job.Md5);
    std::string why;
    const TFetchResult fetched = FetchFrom(context.Session, job.Addresses[*at], mirror, sink,
                                           record, maxBody, why, context.Wait);
    record(0);
    if (fetched == TFetchResult::Fetched) {
      result.Kind = TFetched::TKind::Copy;
      result.UncheckedJoin = sink.HasUncheckedJoin();
      return;
    }
    if (fetched == TFetchResult::NotOpened) cursor.NotOpened(*at);
    result.Failed.push_back({job.Addresses[*at], mirror ? why : "could not be opened",
                             fetched == TFetchResult::Failed});
    // Nothing of a failed attempt's body is kept.
    context.ReleaseDownload();
  }
  result.Kind = TFetched::TKind::NoAnswer;
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
