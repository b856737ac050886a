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

#include "engine/FileJob.h"
#include "engine/ListKey.h"
#include "engine/Patching.h"
#include "engine/StatusTexts.h"
#include "engine/TransferRoad.h"
#include "engine/TransferWorker.h"
#include "list/FileEntry.h"
#include "list/PatchList.h"
#include "transfer/Misc.h"
#include "transfer/md5.h"

namespace korvath {

class TTransferRoad;
struct TFetched;
class EBadCopy;
struct TFailedAddress;
class TCheckedFolders;

// Hears, on the owner's thread, why a run or one of its files failed; the console prints it.
class IRunLog {
 public:
  virtual ~IRunLog() = default;
  virtual void FileFailed(const std::string& path, const std::string& reason) = 0;
  virtual void RunFailed(const std::string& message) = 0;
  // A file's patch was not used and its whole copy is fetched instead; the file is not failed.
  virtual void PatchGaveWay(const std::string& /*path*/, const std::string& /*reason*/) {}
  // A file's copy in Format (zstd) was not used and its bzip2 copy is fetched instead.
  virtual void CopyGaveWay(const std::string& /*path*/, const std::string& /*format*/,
                           const std::string& /*reason*/) {}
  // Something of the list the run leaves aside and goes on without (a mirror it cannot use).
  virtual void Notice(const std::string& /*message*/) {}
};

// The list is not the one its signer published, or is older than the folder.
class EListRefused : public Exception {
  using Exception::Exception;
};

// How a run ended, for the front ends to read once it is over: the status texts only show it.
struct TRunOutcome {
  bool ListApplied = false;     // the list was fetched, accepted and its steps run
  bool FilesInPlace = false;    // every collected file was put in place
  bool StageFailed = false;     // the hosts step or the self-update failed
  bool RevisionStored = false;  // the list's revision was stored as the folder's
  bool Failed() const { return !ListApplied || !FilesInPlace || StageFailed; }
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

  // Once the run is over.
  const TRunOutcome& Outcome() const { return FOutcome; }
  // Game files fetched at once, each over a connection of its own kept for the run.
  unsigned FConnections = kDefaultConnections;

 protected:
  void Execute() override;
  // The steps of a run after the list has been unpacked; raises what no stage catches.
  void ApplyList();
  void CheckFiles(const TStringList& section);
  // True when every collected file is in place.
  bool UpdateFiles();
  void ModifyHosts(const TStringList& hosts);
  void SelfUpdate(const std::string& entry);
  // Fetches the signature of the downloaded list and raises EListRefused, with the download
  // removed, unless it is FListPublicKey's signature of exactly those bytes.
  void CheckListSignature(const std::string& listAddress);
  // For a signed list: raises EListRefused when it is below the highest signed revision the
  // folder has taken (kVerifiedRevision, raised here), or has the folder's revision but is not
  // the list last applied at that revision; otherwise notes what StoreListDigest records.
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
  // Replaces collected file Index, whose transfers Road runs; true when it is in place. Raises
  // what the pass must not catch.
  bool ReplaceFile(TTransferRoad& road, size_t index, bool& stopPass);
  // No address of the file could be opened; the pass stops when no server answered at all.
  void ReportNotOpened(const std::string& path, std::vector<TFailedAddress> failed, bool& stopPass);
  // The steps of a replacement after its download: the backup copy of the player's file, and
  // the unpacking, whose content must have the listed digest. Raise EFileFailed.
  void BackUp(const std::string& listPath, const std::string& local);
  // Before the normal files are checked: the backup folder starts afresh for a new upgrade, or
  // for a full check after a completed one, and is kept as it is otherwise.
  void PrepareBackupFolder();
  void ReportPatchGaveWay(const std::string& path, const std::string& reason);
  void ReportCopyGaveWay(const std::string& path, const std::optional<TListedCopy>& copy,
                         const std::string& reason);
  // The preferred copy of file Index was not right (Why): the bzip2 copy is fetched in its
  // place. False for the bzip2 copy itself.
  bool PreferredGaveWay(TTransferRoad& road, size_t index, const TFetched& turn,
                        const EBadCopy& why);
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
  // Removes, below the game folder, every record and its partial download whose name the run
  // does not check: Critical's names, and every listed one when NormalChecked. A listed name is
  // never removed; the backup folder and folders behind links are not looked into.
  void RemoveForgottenPartials(const TStringList& critical, bool normalChecked);
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
  TRunOutcome FOutcome;
  // The entries (ListKey) whose partial downloads the check kept for the replacement pass.
  std::mutex FKeptLock;
  std::set<std::string> FKeptPartials;
};

}  // namespace korvath
