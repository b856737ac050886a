// The two passes of a run over the game files: checking the listed files against their
// digests, and replacing the missing and changed ones. Both report every entry in list order
// while the digests, downloads and unpacking behind them run ahead on other threads.
#include <algorithm>
#include <set>

#include "engine/BatchedCalls.h"
#include "engine/CheckedFolders.h"
#include "engine/DigestAhead.h"
#include "engine/FileFailed.h"
#include "engine/FileSources.h"
#include "engine/GetFilesThr.h"
#include "engine/TransferRoad.h"
#include "list/LocalPath.h"
#include "list/LstFile.h"
#include "platform/File.h"
#include "runtime/SysUtils.h"
#include "transfer/HashingStream.h"
#include "transfer/md5.h"

namespace korvath {

void GFilesThread::CheckFiles(const TStringList& section) {
  if (section.empty() || section.front() == "FAIL" || Terminated()) return;
  FStatus = kCheckingFiles;
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
  TCheckedFolders folders(FWorkDir, {kDownloadSuffix, kUnpackSuffix, kPatchSuffix, kResumeSuffix});
  TDigestAhead digests(FWorkDir, section,
                       [this, &folders](const std::string& path, const std::string& local) {
                         RemoveStaleTemporaries(path, local, folders);
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
      FStatus = kChecking + entry.Path;
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

bool GFilesThread::UpdateFiles() {
  if (FUpdateList.empty()) {
    FStatus = "";
    return true;
  }
  FGaugeValue = static_cast<int32_t>(FUpdateList.size()) - 1;
  FGaugeIndex = kTotalGauge;
  SetGaugeMax();
  // A file the check found as a version the list has a patch for is rebuilt from it.
  std::vector<TPatchPlan> patches;
  if (!FPatches.Empty())
    for (size_t i = 0; i < FUpdateList.size(); ++i) {
      TPatchPlan& plan = patches.emplace_back();
      const std::string path = SplitFileEntry(FUpdateList[i]).Path;
      if (const TPatchEntry* patch =
              FUpdateBases[i].empty() ? nullptr : FPatches.Find(path, FUpdateBases[i]))
        plan = {FileAddresses(PatchAddress("", path, patch->BaseMd5), FMirrors, FServer),
                patch->PatchMd5, patch->PatchSize};
    }
  // Leaving this pass early, by a stop or an error, discards whatever was fetched ahead.
  TTransferRoad::TSettings settings;
  settings.WorkDir = FWorkDir;
  settings.Server = FServer;
  settings.Mirrors = FMirrors;
  settings.CreateBackup = FCreateBackup == 1;
  settings.ListedPaths = FListedPaths;
  settings.Opener = GetHttpOpener();
  settings.VolumeQuery = GetVolumeQuery();
  settings.Connections = FConnections;
  settings.Patches = std::move(patches);
  TTransferRoad road(std::move(settings), FUpdateList);
  bool failed = false;
  size_t i = 0;
  while (i < FUpdateList.size() && !Terminated()) {
    bool stopPass = false;
    if (!ReplaceFile(road, i, stopPass)) {
      FStatus = kUpdateFailed;
      failed = true;
    }
    // A download that cannot be opened anywhere ends the pass: the server is gone.
    if (stopPass) break;
    road.Finished(i);
    ++i;
    FGaugeValue = static_cast<int32_t>(i);
    FGaugeIndex = kTotalGauge;
    SetTotalProgress();
  }
  FGaugeValue = 0;
  SetTotalProgress();
  FStatus = failed ? kUpdateFailed : kAllUpdated;
  // A pass stopped before its end has not put every file in place, whatever it shows.
  return !failed && i == FUpdateList.size();
}

void GFilesThread::RemoveStaleTemporaries(const std::string& listPath, const std::string& local,
                                          TCheckedFolders& folders) {
  const TCheckedFolders::TFolder& folder = folders.Of(local);
  // A leftover behind another account's link is not this folder's to delete.
  if (folder.Foreign) return;
  // Only names the folder may hold are asked for: most files have no leftover at all.
  const auto leftover = [&](const char* suffix) {
    return TCheckedFolders::MayHold(folder, local, suffix) &&
           FListedPaths.count(ListKey(listPath + suffix)) == 0;
  };
  // A partial download with its record is kept for the replacement pass to go on with; whether
  // it may is decided there, against the address it is asked from. Each copy format has its own.
  bool kept = false;
  for (const TCopyFormatTraits& traits : CopyFormats()) {
    if (leftover(traits.ResumeSuffix) &&
        FListedPaths.count(ListKey(listPath + traits.Suffix)) == 0 &&
        platform::FileExists(local + traits.ResumeSuffix)) {
      kept = true;
    } else if (leftover(traits.Suffix)) {
      platform::DeleteFile(local + traits.Suffix);
    }
  }
  for (const char* suffix : {kUnpackSuffix, kPatchSuffix})
    if (leftover(suffix)) platform::DeleteFile(local + suffix);
  if (kept) {
    const std::lock_guard lock(FKeptLock);
    FKeptPartials.insert(ListKey(listPath));
  }
}

void GFilesThread::RemoveKeptPartial(const std::string& listPath, const std::string& local) {
  {
    const std::lock_guard lock(FKeptLock);
    if (FKeptPartials.empty() || FKeptPartials.erase(ListKey(listPath)) == 0) return;
  }
  for (const TCopyFormatTraits& traits : CopyFormats()) {
    platform::DeleteFile(local + traits.Suffix);
    platform::DeleteFile(local + traits.ResumeSuffix);
  }
}

void GFilesThread::BackUp(const std::string& listPath, const std::string& local) {
  // A file new to this folder has nothing to back up; a failed copy goes unreported.
  const std::string backup = LocalPathOf(FWorkDir, "backup\\" + listPath);
  // Until their upgrade completes, the copies hold the files as they were before it: a later
  // version of a file, replaced again by a repeated run, never takes its copy's place.
  if (FBackupRevision > FRevision && platform::FileExists(backup)) return;
  ForceFolderOf(FWorkDir, backup);
  static_cast<void>(platform::CopyFile(local, backup));  // unreported, as said above
}

}  // namespace korvath
