// The two passes of a run over the game files: checking the listed files against their
// digests, and replacing the missing and changed ones.
#include <algorithm>

#include "engine/GetFilesThr.h"
#include "engine/LocalPath.h"
#include "engine/LstFile.h"
#include "platform/File.h"
#include "runtime/SysUtils.h"
#include "transfer/md5.h"

namespace korvath {
namespace {

// Why one file could not be replaced; the pass goes on with the next one.
class EFileFailed : public Exception {
  using Exception::Exception;
};

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of(platform::kPathDelim);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void ForceFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  if (!folder.empty() && !platform::DirectoryExists(folder) && !platform::ForceDirectories(folder))
    throw EFileFailed("its folder cannot be created (" + platform::SysErrorMessage(platform::LastError()) + ")");
}

}  // namespace

TFileEntry SplitFileEntry(const std::string& entry) {
  const TStringList fields = SplitFromEnd(entry, "|");
  if (fields.size() < 3)
    throw EStringListError(Format("The update list's entry '%s' has fewer than three fields", entry.c_str()));
  return TFileEntry{fields[2], fields[1], fields[0]};
}

int32_t EntrySize(const std::string& sizeField) {
  int32_t size = 0;
  const bool digitsOnly = !sizeField.empty() && std::all_of(sizeField.begin(), sizeField.end(),
                                                            [](char c) { return c >= '0' && c <= '9'; });
  if (!digitsOnly || !TryStrToInt(sizeField, size))
    throw EConvertError(Format("'%s' is not a valid size in bytes", sizeField.c_str()));
  return size;
}

void GFilesThread::CheckFiles(const TStringList& section) {
  if (section.empty() || section.front() == "FAIL" || Terminated()) return;
  FStatus = "Checking files";
  ShowStatus();
  FGaugeIndex = kTotalGauge;
  FGaugeValue = static_cast<int32_t>(section.size()) - 1;
  SetGaugeMax();
  for (size_t i = 0; i < section.size(); ++i) {
    FGaugeValue = static_cast<int32_t>(i);
    SetTotalProgress();
    const TFileEntry entry = SplitFileEntry(section[i]);
    FStatus = "Checking " + entry.Path;
    ShowStatus();
    // A path that leaves the game folder is never looked at here; the replacement pass
    // refuses it and counts it as failed.
    bool collect = !RefusedPathReason(entry.Path).empty();
    if (!collect) {
      const std::string local = LocalPathOf(FWorkDir, entry.Path);
      RemoveStaleTemporaries(entry.Path, local);
      if (!platform::FileExists(local)) {
        collect = true;
      } else {
        TDigestBytes digest;
        FileDigest(local, digest);
        collect = DigestToHex(digest) != entry.Digest;
      }
    }
    if (!collect) continue;
    EntrySize(entry.Size);
    // An entry listed twice is replaced once, so that a second replacement never
    // overwrites the first one's backup with the new content.
    const bool listed = std::any_of(FUpdateList.begin(), FUpdateList.end(), [&](const std::string& other) {
      return ListKey(SplitFileEntry(other).Path) == ListKey(entry.Path);
    });
    if (!listed) FUpdateList.push_back(section[i]);
  }
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
  bool failed = false;
  size_t i = 0;
  while (i < FUpdateList.size() && !Terminated()) {
    bool stopPass = false;
    if (!ReplaceFile(FUpdateList[i], stopPass)) {
      FStatus = kUpdateFailed;
      failed = true;
    }
    // A download that cannot be opened ends the pass: the server is gone.
    if (stopPass) break;
    ++i;
    FGaugeValue = static_cast<int32_t>(i);
    FGaugeIndex = kTotalGauge;
    SetTotalProgress();
  }
  FGaugeValue = 0;
  SetTotalProgress();
  FStatus = failed ? kUpdateFailed : kAllUpdated;
}

std::string ListKey(const std::string& listPath) {
  std::string key = listPath;
  for (char& c : key) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

void GFilesThread::RemoveStaleTemporaries(const std::string& listPath, const std::string& local) {
  for (const char* suffix : {kDownloadSuffix, kUnpackSuffix})
    if (FListedPaths.count(ListKey(listPath + suffix)) == 0) platform::DeleteFile(local + suffix);
}

bool GFilesThread::ReplaceFile(const std::string& line, bool& stopPass) {
  const TFileEntry entry = SplitFileEntry(line);
  if (const std::string reason = RefusedPathReason(entry.Path); !reason.empty()) {
    ReportFileFailed(entry.Path, "refused path: " + reason);
    return false;
  }
  const std::string local = LocalPathOf(FWorkDir, entry.Path);
  const std::string download = local + kDownloadSuffix;
  const std::string unpacked = local + kUnpackSuffix;
  const std::string address = FServer + ReplaceAll(entry.Path, "\\", "/") + ".bz2";

  FStatus = "Downloading " + entry.Path;
  ShowStatus();
  FGaugeIndex = kFileGauge;
  const int32_t size = EntrySize(entry.Size);
  FGaugeValue = size;
  SetGaugeMax();
  try {
    ForceFolderOf(local);
    if (!DownloadFile(address, download, true, MaxBodyFor(size))) {
      ReportFileFailed(entry.Path, "could not be opened: " + address);
      stopPass = true;
      return false;
    }
    if (FCreateBackup == 1) {
      // A file new to this folder has nothing to back up; a failed copy goes unreported.
      const std::string backup = LocalPathOf(FWorkDir, "backup\\" + entry.Path);
      ForceFolderOf(backup);
      platform::CopyFile(local, backup);
    }
    FStatus = "Extracting " + entry.Path;
    ShowStatus();
    try {
      UnpackFile(download, unpacked);
    } catch (const Exception& e) {
      throw EFileFailed("damaged archive (" + e.Message() + ")");
    }
    // The player's file is replaced only by the listed content, and in one step.
    TDigestBytes digest;
    FileDigest(unpacked, digest);
    const std::string actual = DigestToHex(digest);
    if (!SameText(actual, entry.Digest))
      throw EFileFailed("digest mismatch (listed " + entry.Digest + ", received " + actual + ")");
    if (!platform::RenameReplace(unpacked, local))
      throw EFileFailed("cannot be replaced (" + platform::SysErrorMessage(platform::LastError()) + ")");
    return true;
  } catch (const Exception& e) {
    platform::DeleteFile(unpacked);
    platform::DeleteFile(download);
    ReportFileFailed(entry.Path, e.Message());
    return false;
  }
}

}  // namespace korvath
