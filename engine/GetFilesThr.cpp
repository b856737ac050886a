#include "engine/GetFilesThr.h"

#include "engine/FileSources.h"
#include "list/Limits.h"
#include "list/LstFile.h"
#include "list/Mirrors.h"
#include "list/PublishedNames.h"
#include "platform/File.h"
#include "runtime/SettingsStore.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// A setting of the list as a number; the error names the setting.
int32_t ListInteger(TListFile& list, const std::string& key) {
  std::string value;
  list.ReadValue("settings", key, value);
  int32_t result = 0;
  if (!TryStrToInt(value, result))
    throw EConvertError(
        Format("The update list's setting \"%s\" is not a valid integer value: '%s'", key.c_str(),
               value.c_str()));
  return result;
}

}  // namespace

GFilesThread::GFilesThread(IRunView& view, ISynchronizer& owner, IRunLog* log)
    : TTransferWorker(view, owner), FLog(log) {}

void GFilesThread::Execute() {
  FWorkDir = platform::GetCurrentDir() + platform::kPathDelim;
  const std::string listName = FWorkDir + "files.lst";
  FOutcome = {};
  try {
    DisableButtons();
    FStatus = kDownloadingList;
    ShowStatus();
    if (FServer.empty() || FServer.back() != '/') FServer += '/';
    const std::string listAddress = FServer + published::kList;
    if (!DownloadFile(listAddress, FWorkDir + published::kList, true, kMaxListDownload)) {
      FStatus = kUpdateFailed;
      platform::DeleteFile(listName);  // a list left by an earlier run is never read
      ReportRunFailed("The update list " + listAddress + " could not be opened.");
    } else {
      FStatus = "";
      ShowStatus();
      if (!FListPublicKey.empty()) CheckListSignature(listAddress);
      try {
        UnpackFile(FWorkDir + published::kList, listName, kMaxListBytes);
      } catch (const Exception& e) {
        FStatus = kUpdateFailed;
        ShowStatus();
        platform::DeleteFile(listName);
        ReportRunFailed("The update list could not be unpacked: " + e.Message());
      }
      if (platform::FileExists(listName)) ApplyList();
    }
  } catch (const std::exception& e) {
    // An error no stage catches still ends the run as a failed one, with the buttons back:
    // the list is removed and no revision is stored.
    FUpdateList.clear();
    FUpdateBases.clear();
    FStatus = kUpdateFailed;
    FOutcome.FilesInPlace = false;
    platform::DeleteFile(listName);
    ReportRunFailed(e.what());
  }
  ShowStatus();
  EnableButtons();
}

void GFilesThread::ApplyList() {
  const std::string listName = FWorkDir + "files.lst";
  FUpdateList.clear();
  FUpdateBases.clear();
  FListDigest.clear();
  FStageFailed = false;
  bool filesInPlace = false;
  {
    TListFile list(listName);
    FListRevision = ListInteger(list, "Rev");
    // A list signed long ago is still validly signed: served again, it must not take the
    // folder back to what it listed.
    if (!FListPublicKey.empty() && FListRevision < FRevision)
      throw EListRefused(
          Format("The update list's revision %d is older than this folder's revision %d; "
                 "an old list is not applied",
                 FListRevision, FRevision));
    if (!FListPublicKey.empty()) CheckListReplay(listName);
    // A list that names more files than any release has is refused whole, before anything is
    // fetched or changed.
    if (const size_t entries = EntryCount(list.GetSection("files_critical")) +
                               EntryCount(list.GetSection("files_normal"));
        entries > kMaxListEntries)
      throw EListRefused("The update list names " + std::to_string(entries) +
                         " files, more than the " + std::to_string(kMaxListEntries) +
                         " a list may name; it is not applied");
    FListedPaths.clear();
    for (const char* section : {"files_critical", "files_normal"})
      for (const std::string& line : list.GetSection(section)) {
        const TStringList fields = SplitFromEnd(line, "|");
        if (fields.size() >= 3) FListedPaths.insert(ListKey(fields[2]));
      }
    if (ListInteger(list, "ModHosts") == 1) {
      const TStringList hosts = list.GetSection("hosts");
      // A hosts file that cannot be changed must not keep the game files from being updated.
      try {
        ModifyHosts(hosts);
      } catch (const Exception& e) {
        StageFailed(e.Message());
      }
    }
    std::vector<std::string> skipped;
    FMirrors = ReadMirrors(list.GetSection(kMirrorsSection), skipped);
    for (const std::string& notice : skipped)
      if (FLog != nullptr) Synchronize([&] { FLog->Notice(notice); });
    if (FCreateBackup == 1)
      FBackupRevision = OpenSettingsStore()->ReadInteger(kSettingsSection, kBackupRevision, 0);
    FPatches = TPatchList(list.GetSection(kPatchesSection));
    FSelfEntry = list.GetSection("self").front();
    // The self entry comes from the server alone: mirrors serve game files.
    if (FSelfEntry != "FAIL") SelfUpdate(FSelfEntry);
    const bool checkNormal = FFullCheck || FRevision < FListRevision;
    // Partial downloads of names this run does not check would otherwise stay for ever.
    RemoveForgottenPartials(list.GetSection("files_critical"), checkNormal);
    CheckFiles(list.GetSection("files_critical"));
    if (checkNormal) {
      if (FCreateBackup == 1) PrepareBackupFolder();
      CheckFiles(list.GetSection("files_normal"));
    }
    filesInPlace = UpdateFiles();
    FOutcome.ListApplied = true;
    FOutcome.FilesInPlace = filesInPlace;
    FOutcome.StageFailed = FStageFailed;
    // Replaced files do not make up for a failed earlier stage.
    if (FStageFailed) FStatus = kUpdateFailed;
  }
  FUpdateList.clear();
  FUpdateBases.clear();
  FPatches = {};
  platform::DeleteFile(listName);
  // The signed list's digest goes with the revision it is for.
  if (filesInPlace) StoreListDigest();
  // The revision says what the listed files are: a file that failed leaves it where it was,
  // so that the next run checks the normal files again. A failed hosts step or self-update
  // does not hold it back: the hosts file is no listed file, and the self entry is compared
  // on every run whatever the revision says, so storing it hides neither. Held back, a hosts
  // file that cannot be written would bring a full check on every start, for ever.
  if (FRevision < FListRevision && filesInPlace) {
    FRevision = FListRevision;
    StoreRevision();
    FOutcome.RevisionStored = true;
  }
}

void GFilesThread::PrepareBackupFolder() {
  const std::string backup = FWorkDir + "backup";
  // A run that repeats an upgrade that did not complete keeps the copies its first attempt
  // made: they may be the only ones left of the files that attempt replaced.
  const bool afresh =
      FListRevision > FBackupRevision || (FFullCheck && FRevision >= FBackupRevision);
  if (afresh) DeleteDirectory(backup);
  const bool ready = afresh ? platform::CreateDir(backup)
                            : platform::DirectoryExists(backup) || platform::CreateDir(backup);
  // Say which name is in the way: "I/O error 80" alone leaves the player guessing.
  if (!ready)
    throw EInOutError(platform::LastError(), "The backup folder " + backup + " cannot be made");
  if (afresh) {
    FBackupRevision = FListRevision;
    // A store that cannot be written does not keep the files from being updated: the copies
    // are then not known as this upgrade's, and the next run starts them afresh.
    try {
      OpenSettingsStore()->WriteInteger(kSettingsSection, kBackupRevision, FBackupRevision);
    } catch (const ERegistryException& e) {
      if (FLog != nullptr)
        Synchronize([&] {
          FLog->Notice("The backup copies' revision could not be recorded (" + e.Message() +
                       "); the next run starts them afresh");
        });
    }
  }
}

void GFilesThread::ReportFileFailed(const std::string& path, const std::string& reason) {
  if (FLog != nullptr) Synchronize([&] { FLog->FileFailed(path, reason); });
}

void GFilesThread::StageFailed(const std::string& message) {
  FStatus = kUpdateFailed;
  ShowStatus();
  ReportRunFailed(message);
  FStageFailed = true;
}

void GFilesThread::ReportPatchGaveWay(const std::string& path, const std::string& reason) {
  if (FLog != nullptr && !reason.empty()) Synchronize([&] { FLog->PatchGaveWay(path, reason); });
}

void GFilesThread::ReportCopyGaveWay(const std::string& path,
                                     const std::optional<TListedCopy>& copy,
                                     const std::string& reason) {
  if (FLog != nullptr && copy && !reason.empty()) {
    const std::string format = CopyFormatTraits(copy->Format).Name;
    Synchronize([&] { FLog->CopyGaveWay(path, format, reason); });
  }
}

void GFilesThread::ReportRunFailed(const std::string& message) {
  if (FLog != nullptr) Synchronize([&] { FLog->RunFailed(message); });
}

}  // namespace korvath
