// The two passes of a run over the game files: checking the listed files against their
// digests, and replacing the missing and changed ones. Both report every entry in list order
// while the digests, downloads and unpacking behind them run ahead on other threads.
#include <algorithm>
#include <set>

#include "engine/BatchedCalls.h"
#include "engine/DigestAhead.h"
#include "engine/FetchAhead.h"
#include "engine/FileFailed.h"
#include "engine/GetFilesThr.h"
#include "list/LocalPath.h"
#include "list/LstFile.h"
#include "platform/File.h"
#include "runtime/SysUtils.h"
#include "transfer/HashingStream.h"
#include "transfer/md5.h"

namespace korvath {

void GFilesThread::CheckFiles(const TStringList& section) {
  if (section.empty() || section.front() == "FAIL" || Terminated()) return;
  FStatus = "Checking files";
  ShowStatus();
  FGaugeIndex = kTotalGauge;
  FGaugeValue = static_cast<int32_t>(section.size()) - 1;
  SetGaugeMax();
  // An entry listed twice is replaced once, so that a second replacement never overwrites the
  // first one's backup with the new content.
  std::set<std::string> collected;
  for (const std::string& line : FUpdateList) collected.insert(ListKey(SplitFileEntry(line).Path));
  // What a killed run left beside an entry's file goes before the file is looked at. Only
  // unlisted names go, so no other entry's file or digest depends on this.
  TDigestAhead digests(FWorkDir, section,
                       [this](const std::string& path, const std::string& local) {
                         RemoveStaleTemporaries(path, local);
                       });
  // The window sees each entry's total gauge position and "Checking" status, in list order, as
  // they are made; entries whose digests are ready go over in one hand-off, up to a batch, and
  // whatever is held back goes over before the pass waits for a digest or leaves.
  TBatchedCalls calls([this](const std::function<void()>& batch) { Synchronize(batch); });
  try {
    for (size_t i = 0; i < section.size(); ++i) {
      FGaugeValue = static_cast<int32_t>(i);
      calls.Add([this, position = FGaugeValue] { FView.SetTotalProgress(position); });
      const TFileEntry entry = SplitFileEntry(section[i]);
      FStatus = "Checking " + entry.Path;
      calls.Add([this, status = FStatus] { FView.ShowStatus(status); });
      // A path that leaves the game folder is never looked at here; the replacement pass
      // refuses it and counts it as failed.
      bool collect = !RefusedPathReason(entry.Path).empty();
      std::string current;  // the content's MD5, which picks the patch the file may take
      if (!collect) {
        if (!digests.Ready(i)) calls.Flush();
        const TDigestAhead::TLocalFile& file = digests.Get(i);
        if (file.Exists) current = DigestToHex(file.Digest);
        collect = !file.Exists || current != entry.Digest;
      }
      if (!collect) {
        RemoveKeptPartial(entry.Path, digests.Get(i).Local);
        continue;
      }
      EntrySize(entry.Size);
      if (collected.insert(ListKey(entry.Path)).second) {
        FUpdateList.push_back(section[i]);
        FUpdateBases.push_back(current);
      }
    }
  } catch (...) {
    calls.Flush();
    throw;
  }
  calls.Flush();
  FGaugeValue = 0;
  SetTotalProgress();
  FStatus = "";
  ShowStatus();
}

void GFilesThread::UpdateFiles() {
  if (FUpdateList.empty()) {
    FStatus = "";
    return;
  }
  FGaugeValue = static_cast<int32_t>(FUpdateList.size()) - 1;
  FGaugeIndex = kTotalGauge;
  SetGaugeMax();
  TFetchAhead::TSettings settings;
  settings.WorkDir = FWorkDir;
  settings.Server = FServer;
  settings.CreateBackup = FCreateBackup == 1;
  settings.ListedPaths = FListedPaths;
  settings.Opener = GetHttpOpener();
  settings.VolumeQuery = GetVolumeQuery();
  // A file the check found as a version the list has a patch for is rebuilt from it.
  if (!FPatches.Empty())
    for (size_t i = 0; i < FUpdateList.size(); ++i) {
      TPatchPlan& plan = settings.Patches.emplace_back();
      const std::string path = SplitFileEntry(FUpdateList[i]).Path;
      if (const TPatchEntry* patch =
              FUpdateBases[i].empty() ? nullptr : FPatches.Find(path, FUpdateBases[i]))
        plan = {PatchAddress(FServer, path, patch->BaseMd5), patch->PatchMd5, patch->PatchSize};
    }
  // Leaving this pass early, by a stop or an error, discards whatever was fetched ahead.
  TFetchAhead ahead(std::move(settings), FUpdateList);
  bool failed = false;
  size_t i = 0;
  while (i < FUpdateList.size() && !Terminated()) {
    bool stopPass = false;
    if (!ReplaceFile(ahead, i, stopPass)) {
      FStatus = kUpdateFailed;
      failed = true;
    }
    // A download that cannot be opened ends the pass: the server is gone.
    if (stopPass) break;
    ahead.Finished(i);
    ++i;
    FGaugeValue = static_cast<int32_t>(i);
    FGaugeIndex = kTotalGauge;
    SetTotalProgress();
  }
  FGaugeValue = 0;
  SetTotalProgress();
  FStatus = failed ? kUpdateFailed : kAllUpdated;
}

void GFilesThread::RemoveStaleTemporaries(const std::string& listPath, const std::string& local) {
  // A leftover behind a link is not this folder's to delete.
  if (!platform::LinkOnTheWay(FWorkDir, local).empty()) return;
  const auto leftover = [&](const char* suffix) {
    return FListedPaths.count(ListKey(listPath + suffix)) == 0;
  };
  // A partial download with its record is kept for the replacement pass to go on with; whether
  // it may is decided there, against the address it is asked from.
  if (leftover(kDownloadSuffix) && leftover(kResumeSuffix) &&
      platform::FileExists(local + kResumeSuffix)) {
    for (const char* suffix : {kUnpackSuffix, kPatchSuffix})
      if (leftover(suffix)) platform::DeleteFile(local + suffix);
    const std::lock_guard lock(FKeptLock);
    FKeptPartials.insert(ListKey(listPath));
    return;
  }
  for (const char* suffix : {kDownloadSuffix, kUnpackSuffix, kPatchSuffix})
    if (leftover(suffix)) platform::DeleteFile(local + suffix);
}

void GFilesThread::RemoveKeptPartial(const std::string& listPath, const std::string& local) {
  {
    const std::lock_guard lock(FKeptLock);
    if (FKeptPartials.empty() || FKeptPartials.erase(ListKey(listPath)) == 0) return;
  }
  platform::DeleteFile(local + kDownloadSuffix);
  platform::DeleteFile(local + kResumeSuffix);
}

bool GFilesThread::ReplaceFile(TFetchAhead& ahead, size_t index, bool& stopPass) {
  const TFileEntry entry = SplitFileEntry(FUpdateList[index]);
  if (const std::string reason = RefusedPathReason(entry.Path); !reason.empty()) {
    ReportFileFailed(entry.Path, "refused path: " + reason);
    return false;
  }
  FStatus = "Downloading " + entry.Path;
  ShowStatus();
  FGaugeIndex = kFileGauge;
  FGaugeValue = EntrySize(entry.Size);
  SetGaugeMax();
  // The server is gone: the pass ends here.
  const auto notOpened = [&] {
    ReportFileFailed(
        entry.Path, "could not be opened: " + FServer + ReplaceAll(entry.Path, "\\", "/") + ".bz2");
    stopPass = true;
    return false;
  };
  try {
    // A malformed integrity field fails its file here; nothing of it was fetched.
    EntryIntegrity(entry);
    if (!ahead.ReplayDownload(
            index, [this](std::span<const TGaugeCall> taken) { ReplayGaugeCalls(taken); }))
      return notOpened();
    // A patch that could not be fetched gave way to the whole copy, fetched in its place.
    ReportPatchGaveWay(entry.Path, ahead.TakePatchFailure(index));
    if (FCreateBackup == 1) BackUp(entry.Path, ahead.Names(index).Local);
    std::optional<TDigestBytes> rebuilt;
    if (ahead.Rebuilds(index)) {
      bool opened = true;
      rebuilt = Rebuild(ahead, index, entry, opened);
      if (!opened) return notOpened();
    }
    UnpackAndCheck(ahead, index, entry, rebuilt);
    // The player's file is replaced only by the listed content, and in one step.
    if (const int error = ahead.KeepUnpacked(index))
      throw EFileFailed("cannot be replaced (" + platform::SysErrorMessage(error) + ")");
    return true;
  } catch (const Exception& e) {
    ahead.Discard(index);
    ReportFileFailed(entry.Path, e.Message());
    return false;
  }
}

void GFilesThread::BackUp(const std::string& listPath, const std::string& local) {
  // A file new to this folder has nothing to back up; a failed copy goes unreported.
  const std::string backup = LocalPathOf(FWorkDir, "backup\\" + listPath);
  // Until their upgrade completes, the copies hold the files as they were before it: a later
  // version of a file, replaced again by a repeated run, never takes its copy's place.
  if (FBackupRevision > FRevision && platform::FileExists(backup)) return;
  ForceFolderOf(FWorkDir, backup);
  platform::CopyFile(local, backup);
}

std::optional<TDigestBytes> GFilesThread::Rebuild(TFetchAhead& ahead, size_t index,
                                                  const TFileEntry& entry, bool& opened) {
  FStatus = "Patching " + entry.Path;
  ShowStatus();
  if (std::optional<TDigestBytes> digest = ahead.ReplayRebuild(
          index, [this](std::span<const TGaugeCall> taken) { ReplayGaugeCalls(taken); }))
    return digest;
  ReportPatchGaveWay(entry.Path, ahead.TakePatchFailure(index));
  // The whole copy comes as it comes without a patch, shown as such; the pool unpacks it.
  FStatus = "Downloading " + entry.Path;
  ShowStatus();
  FGaugeIndex = kFileGauge;
  FGaugeValue = EntrySize(entry.Size);
  SetGaugeMax();
  opened = DownloadFile(ahead.Address(index), ahead.Names(index).Download, true,
                        MaxBodyFor(EntryIntegrity(entry).Size));
  ahead.WholeFetched(index, opened);
  return std::nullopt;
}

void GFilesThread::UnpackAndCheck(TFetchAhead& ahead, size_t index, const TFileEntry& entry,
                                  std::optional<TDigestBytes> rebuilt) {
  TDigestBytes digest;
  if (rebuilt) {
    digest = *rebuilt;
  } else {
    FStatus = "Extracting " + entry.Path;
    ShowStatus();
    try {
      digest = ahead.ReplayUnpack(
          index, [this](std::span<const TGaugeCall> taken) { ReplayGaugeCalls(taken); });
    } catch (const EUnpackWrite& e) {
      throw EFileFailed("cannot be unpacked (" + e.Message() + ")");
    } catch (const EOutOfSpace& e) {
      throw EFileFailed("cannot be unpacked (" + e.Message() + ")");
    } catch (const EUnpackTooLong& e) {
      throw EFileFailed("unpacked size exceeded (" + e.Message() + ")");
    } catch (const Exception& e) {
      throw EFileFailed("damaged archive (" + e.Message() + ")");
    }
  }
  const std::string actual = DigestToHex(digest);
  if (!SameText(actual, entry.Digest))
    throw EFileFailed("digest mismatch (listed " + entry.Digest + ", received " + actual + ")");
  // MD5 digests can be made to collide; the SHA-256 beside it cannot.
  if (const TIntegrity integrity = EntryIntegrity(entry); integrity.Known) {
    const std::string& sha256 = ahead.UnpackedSha256(index);
    if (sha256 != integrity.Sha256)
      throw EFileFailed("SHA-256 mismatch (listed " + integrity.Sha256 + ", received " + sha256 +
                        ")");
  }
}

void GFilesThread::ReplayGaugeCalls(std::span<const TGaugeCall> taken) {
  // The transfers ran ahead; the window sees their gauge calls now, in the order they were made,
  // each made on the window's thread as SetGaugeMax and SetFileProgress make it. Calls go over
  // in batches: a download makes a call per KiB, and a hand-off per call would cost more than
  // the gauge is worth.
  TBatchedCalls calls([this](const std::function<void()>& batch) { Synchronize(batch); });
  for (const TGaugeCall& call : taken) calls.Add([this, call] { MakeGaugeCall(call); });
  calls.Flush();
}

}  // namespace korvath
