// The update run: one worker thread per run fetches the list, applies its settings, checks
// the listed files and replaces the missing and changed ones, reporting every step to the
// window that started it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/ListKey.h"
#include "engine/Patching.h"
#include "engine/TransferWorker.h"
#include "list/FileEntry.h"
#include "list/PatchList.h"
#include "transfer/Misc.h"
#include "transfer/md5.h"

namespace korvath {

class TFetchAhead;
class TCheckedFolders;

// Temporaries beside a game file: its download, its unpacked (or rebuilt) content until the
// digest is right, and the patch it is rebuilt from; while the download is partial, the record
// a later run continues it by.
inline constexpr const char* kDownloadSuffix = ".bz2";
inline constexpr const char* kUnpackSuffix = ".unpack";
inline constexpr const char* kPatchSuffix = ".patch";
inline constexpr const char* kResumeSuffix = ".bz2.resume";

// Final status texts of a run.
inline constexpr const char* kUpdateFailed = "Update Failed";
inline constexpr const char* kAllUpdated = "All the files have been updated";

// Hears, on the owner's thread, why a run or one of its files failed; the console prints it.
class IRunLog {
 public:
  virtual ~IRunLog() = default;
  virtual void FileFailed(const std::string& path, const std::string& reason) = 0;
  virtual void RunFailed(const std::string& message) = 0;
  // A file's patch was not used and its whole copy is fetched instead; the file is not failed.
  virtual void PatchGaveWay(const std::string& /*path*/, const std::string& /*reason*/) {}
  // Something of the list the run leaves aside and goes on without (a mirror it cannot use).
  virtual void Notice(const std::string& /*message*/) {}
};

// The list is not the one its signer published, or is older than the folder.
class EListRefused : public Exception {
  using Exception::Exception;
};

class GFilesThread : public TTransferWorker {
 public:
  GFilesThread(IRunView& view, ISynchronizer& owner, IRunLog* log = nullptr);

  // Set by the window before the run is resumed.
  int32_t FCreateBackup = 0;
  bool FFullCheck = false;
  std::string FServer;
  // True in the window: a new version of the running program itself is handed over to the
  // script "Update.bat", which ends the program and starts the new one. Every other front end
  // puts a new version in place by renaming it.
  bool FScriptedSelfUpdate = false;
  // The key (64 hex digits) the list must be signed with: the list's signature is fetched
  // beside it and checked before anything of it is unpacked, and a list older than FRevision
  // is refused. Empty takes unsigned lists. The build's key unless a test sets its own.
  std::string FListPublicKey = BuiltInListPublicKey();

 protected:
  void Execute() override;
  // The steps of a run after the list has been unpacked; raises what no stage catches.
  void ApplyList();
  void CheckFiles(const TStringList& section);
  void UpdateFiles();
  void ModifyHosts(const TStringList& hosts);
  void SelfUpdate(const std::string& entry);
  // Fetches the signature of the downloaded list and raises EListRefused, with the download
  // removed, unless it is FListPublicKey's signature of exactly those bytes.
  void CheckListSignature(const std::string& listAddress);
  // For a signed list: raises EListRefused when it has the folder's revision but is not the
  // list last applied at that revision, and otherwise notes what StoreListDigest records.
  void CheckListReplay(const std::string& listName);
  // Records the signed list's revision and digest once its files are in place, when the folder
  // does not hold them already.
  void StoreListDigest();

  TStringList FUpdateList;
  // Beside each collected entry, the MD5 (hex) of the file as the check found it; empty when
  // it was missing or not looked at.
  TStringList FUpdateBases;
  // The list's patches; the replacement pass rebuilds a file from one where it can.
  TPatchList FPatches;
  // Every path the list names (letter case folded), so that a temporary's name that is itself
  // a listed file is never taken for a leftover.
  std::set<std::string> FListedPaths;
  std::string FSelfEntry;
  std::string FWorkDir;
  // The list's mirror bases, tried in this order before the server for every game file.
  std::vector<std::string> FMirrors;

 private:
  // Replaces collected file Index, whose transfers Ahead runs; true when it is in place. Raises
  // what the pass must not catch.
  bool ReplaceFile(TFetchAhead& ahead, size_t index, bool& stopPass);
  // Starts the transfers of Entries (list lines), fetched from Mirrors and then the server, or
  // rebuilt from the patches planned for them (one plan per entry, or none at all).
  std::unique_ptr<TFetchAhead> StartTransfers(const TStringList& entries,
                                              std::vector<std::string> mirrors,
                                              std::vector<TPatchPlan> patches);
  // The steps of a replacement after its download: the backup copy of the player's file, and
  // the unpacking, whose content must have the listed digest. Raise EFileFailed.
  void BackUp(const std::string& listPath, const std::string& local);
  // Before the normal files are checked: the backup folder starts afresh for a new upgrade, or
  // for a full check after a completed one, and is kept as it is otherwise.
  void PrepareBackupFolder();
  // Rebuilt, when the file's patch was fetched: its digest, once the pool rebuilt it; none when
  // the patch gave way (said on the log), and the whole copy is to be fetched instead.
  std::optional<TDigestBytes> Rebuild(TFetchAhead& ahead, size_t index, const TFileEntry& entry);
  void ReportPatchGaveWay(const std::string& path, const std::string& reason);
  // Rebuilt is the digest of a content rebuilt from a patch; without one, the download is
  // unpacked.
  void UnpackAndCheck(TFetchAhead& ahead, size_t index, const TFileEntry& entry,
                      std::optional<TDigestBytes> rebuilt);
  // Shows a transfer's recorded gauge calls on the window's thread.
  void ReplayGaugeCalls(std::span<const TGaugeCall> taken);
  // Removes what a killed run may have left beside this entry's file, but for a partial
  // download with its record, which is noted in FKeptPartials. Runs on the checking pass's
  // hashing threads: it reads nothing but FListedPaths, which stays as it is meanwhile, and
  // notes under FKeptLock. Folders tells what each folder holds, asked once per pass.
  void RemoveStaleTemporaries(const std::string& listPath, const std::string& local,
                              TCheckedFolders& folders);
  // The partial download kept beside an entry's file goes with its record once the check finds
  // the file as listed.
  void RemoveKeptPartial(const std::string& listPath, const std::string& local);
  void ReportFileFailed(const std::string& path, const std::string& reason);
  void ReportRunFailed(const std::string& message);
  // The hosts step or the self-update failed: "Update Failed" at once, the run goes on, and
  // ends as a failed run.
  void StageFailed(const std::string& message);

  IRunLog* FLog;
  int32_t FListRevision = 0;
  // The list revision the backup folder's copies were made for (kBackupRevision); above
  // FRevision while the upgrade they belong to has not completed.
  int32_t FBackupRevision = 0;
  // "<revision>:<digest>" of this run's list while it is signed and not yet recorded.
  std::string FListDigest;
  bool FStageFailed = false;
  // The entries (ListKey) whose partial downloads the check kept for the replacement pass.
  std::mutex FKeptLock;
  std::set<std::string> FKeptPartials;
};

}  // namespace korvath
