// The two passes of a run over the game files: checking the listed files against their
// digests, and replacing the missing and changed ones. Both report every entry in list order
// while the digests, downloads and unpacking behind them run ahead on other threads.
#include <algorithm>
#include <set>

#include "engine/BatchedCalls.h"
#include "engine/CheckedFolders.h"
#include "engine/DigestAhead.h"
#include "engine/FetchAhead.h"
#include "engine/FileFailed.h"
#include "engine/FileSources.h"
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
  const std::unique_ptr<TFetchAhead> ahead =
      StartTransfers(FUpdateList, FMirrors, std::move(patches));
  bool failed = false;
  size_t i = 0;
  while (i < FUpdateList.size() && !Terminated()) {
    bool stopPass = false;
    if (!ReplaceFile(*ahead, i, stopPass)) {
      FStatus = kUpdateFailed;
      failed = true;
    }
    // A download that cannot be opened anywhere ends the pass: the server is gone.
    if (stopPass) break;
    ahead->Finished(i);
    ++i;
    FGaugeValue = static_cast<int32_t>(i);
    FGaugeIndex = kTotalGauge;
    SetTotalProgress();
  }
  FGaugeValue = 0;
  SetTotalProgress();
  FStatus = failed ? kUpdateFailed : kAllUpdated;
}

std::unique_ptr<TFetchAhead> GFilesThread::StartTransfers(const TStringList& entries,
                                                          std::vector<std::string> mirrors,
                                                          std::vector<TPatchPlan> patches) {
  TFetchAhead::TSettings settings;
  settings.WorkDir = FWorkDir;
  settings.Server = FServer;
  settings.Mirrors = std::move(mirrors);
  settings.CreateBackup = FCreateBackup == 1;
  settings.ListedPaths = FListedPaths;
  settings.Opener = GetHttpOpener();
  settings.VolumeQuery = GetVolumeQuery();
  settings.Patches = std::move(patches);
  return std::make_unique<TFetchAhead>(std::move(settings), entries);
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
  // it may is decided there, against the address it is asked from.
  if (leftover(kResumeSuffix) && FListedPaths.count(ListKey(listPath + kDownloadSuffix)) == 0 &&
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
  const auto showDownload = [&] {
    FStatus = "Downloading " + entry.Path;
    ShowStatus();
    FGaugeIndex = kFileGauge;
    FGaugeValue = EntrySize(entry.Size);
    SetGaugeMax();
  };
  showDownload();
  // A copy that is not the listed file is fetched again, by transfers of its own, from the
  // addresses after the one that served it. Failed holds the addresses given up before From's.
  std::unique_ptr<TFetchAhead> again;
  TFetchAhead* from = &ahead;
  size_t at = index;
  std::vector<std::string> mirrors = FMirrors;
  std::vector<TFailedAddress> failed;
  bool downloaded = false;  // From's download is over: its addresses are known
  const auto downloadOver = [&] {
    downloaded = true;
    const std::vector<TFailedAddress>& before = from->FailedAddresses(at);
    failed.insert(failed.end(), before.begin(), before.end());
  };
  try {
    // A malformed integrity field fails its file here; nothing of it was fetched.
    EntryIntegrity(entry);
    for (;;) {
      bool fetched = false;
      try {
        fetched = from->ReplayDownload(
            at, [this](std::span<const TGaugeCall> taken) { ReplayGaugeCalls(taken); });
      } catch (const Exception&) {
        downloadOver();
        throw;
      }
      downloadOver();
      if (!fetched) {
        // No server answered anywhere: the pass ends here, as it does without mirrors.
        if (NoneAnswered(failed)) {
          std::string addresses;
          for (const TFailedAddress& address : failed)
            addresses += (addresses.empty() ? "" : ", ") + address.Address;
          ReportFileFailed(entry.Path, "could not be opened: " + addresses);
          stopPass = true;
          return false;
        }
        const std::string last = failed.back().Address;
        failed.pop_back();
        ReportFileFailed(entry.Path, NamingAddresses("could not be opened", failed, last));
        return false;
      }
      // A patch that could not be fetched gave way to the whole copy, fetched in its place.
      ReportPatchGaveWay(entry.Path, from->TakePatchFailure(at));
      if (FCreateBackup == 1 && from == &ahead) BackUp(entry.Path, from->Names(at).Local);
      std::optional<TDigestBytes> rebuilt;
      if (from->Rebuilds(at)) {
        rebuilt = Rebuild(*from, at, entry);
        if (!rebuilt) {
          // The patch gave way once it came: the whole copy is fetched by transfers of its own,
          // from every address.
          from->Discard(at);
          again.reset();
          mirrors = FMirrors;
          again = StartTransfers({FUpdateList[index]}, mirrors, {});
          from = again.get();
          at = 0;
          downloaded = false;
          showDownload();
          continue;
        }
      }
      try {
        UnpackAndCheck(*from, at, entry, rebuilt);
      } catch (const EBadCopy& e) {
        const size_t source = from->Source(at);
        // The server's copy was the last chance.
        if (source >= mirrors.size()) throw;
        failed.push_back({from->SourceAddress(at), e.Message(), true});
        from->Discard(at);
        // Should the new transfers not start, the failure discards the pass's copy once more,
        // which finds nothing left.
        from = &ahead;
        at = index;
        downloaded = false;
        again.reset();
        mirrors.erase(mirrors.begin(), mirrors.begin() + static_cast<std::ptrdiff_t>(source) + 1);
        again = StartTransfers({FUpdateList[index]}, mirrors, {});
        from = again.get();
        at = 0;
        showDownload();
        continue;
      }
      // The player's file is replaced only by the listed content, and in one step.
      if (const int error = from->KeepUnpacked(at))
        throw EFileFailed("cannot be replaced (" + platform::SysErrorMessage(error) + ")");
      if (again) again->Finished(0);
      return true;
    }
  } catch (const Exception& e) {
    from->Discard(at);
    ReportFileFailed(entry.Path, downloaded
                                     ? NamingAddresses(e.Message(), failed, from->SourceAddress(at))
                                     : e.Message());
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
  static_cast<void>(platform::CopyFile(local, backup));  // unreported, as said above
}

std::optional<TDigestBytes> GFilesThread::Rebuild(TFetchAhead& ahead, size_t index,
                                                  const TFileEntry& entry) {
  FStatus = "Patching " + entry.Path;
  ShowStatus();
  if (std::optional<TDigestBytes> digest = ahead.ReplayRebuild(
          index, [this](std::span<const TGaugeCall> taken) { ReplayGaugeCalls(taken); }))
    return digest;
  ReportPatchGaveWay(entry.Path, ahead.TakePatchFailure(index));
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
      throw EBadCopy("unpacked size exceeded (" + e.Message() + ")");
    } catch (const Exception& e) {
      throw EBadCopy("damaged archive (" + e.Message() + ")");
    }
  }
  const std::string actual = DigestToHex(digest);
  if (!SameText(actual, entry.Digest))
    throw EBadCopy("digest mismatch (listed " + entry.Digest + ", received " + actual + ")");
  // MD5 digests can be made to collide; the SHA-256 beside it cannot.
  if (const TIntegrity integrity = EntryIntegrity(entry); integrity.Known) {
    const std::string& sha256 = ahead.UnpackedSha256(index);
    if (sha256 != integrity.Sha256)
      throw EBadCopy("SHA-256 mismatch (listed " + integrity.Sha256 + ", received " + sha256 + ")");
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
