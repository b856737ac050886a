// The check of the update list's signature: fetched right after the list, compared with the
// list's exact bytes before anything of it is unpacked. A refused list leaves nothing behind.
#include "engine/GetFilesThr.h"
#include "list/PublishedNames.h"
#include "platform/File.h"
#include "runtime/Classes.h"
#include "runtime/SettingsStore.h"
#include "transfer/Signature.h"

namespace korvath {
namespace {

// A downloaded file that is removed when this goes, unless the run keeps it.
class TDownloadedFile {
 public:
  explicit TDownloadedFile(std::string fileName) : FFileName(std::move(fileName)) {}
  ~TDownloadedFile() {
    if (!FKept) platform::DeleteFile(FFileName);
  }
  TDownloadedFile(const TDownloadedFile&) = delete;
  TDownloadedFile& operator=(const TDownloadedFile&) = delete;

  const std::string& Name() const { return FFileName; }
  void Keep() { FKept = true; }

 private:
  std::string FFileName;
  bool FKept = false;
};

// A file's whole content; the callers' download limits keep it small enough.
std::string ReadWhole(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  std::string bytes(static_cast<size_t>(stream.Size()), '\0');
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  return bytes;
}

}  // namespace

void GFilesThread::CheckListSignature(const std::string& listAddress) {
  TDownloadedFile list(FWorkDir + published::kList);
  TDownloadedFile signature(list.Name() + kSignatureSuffix);
  const std::string signatureAddress = listAddress + kSignatureSuffix;
  bool opened = false;
  try {
    opened = DownloadFile(signatureAddress, signature.Name(), false, kMaxSignatureDownload);
  } catch (const EDownloadTooLong& e) {
    throw EListRefused("The update list's signature " + signatureAddress + " is not a signature (" +
                       e.Message() + "); the list is not used");
  }
  if (!opened)
    throw EListRefused("The update list's signature " + signatureAddress +
                       " could not be opened; the list is not used");
  const std::string signatureBytes = ReadWhole(signature.Name());
  // An unsigned server answers with its error page, whatever the status.
  if (signatureBytes.size() != kSignatureBytes)
    throw EListRefused(
        Format("The update list's signature %s is missing or not a signature (%d bytes "
               "where a signature has %d); the list is not used",
               signatureAddress.c_str(), static_cast<int>(signatureBytes.size()),
               static_cast<int>(kSignatureBytes)));
  if (!VerifyListSignature(ReadWhole(list.Name()), signatureBytes, FListPublicKey))
    throw EListRefused(
        "The update list does not match its signature: it is not the list its "
        "publisher signed, and it is not used");
  list.Keep();  // unpacking it removes it
}

void GFilesThread::CheckListReplay(const std::string& listName) {
  const std::unique_ptr<TSettingsStore> store = OpenSettingsStore();
  // SECURITY: a run that fails on one file stores neither its revision nor its list, so the
  // folder's revision alone would take the signed list before it again, and with it the
  // updater and the critical files that list names. The highest revision taken is recorded
  // before anything of its list is applied, and no signed list below it is taken.
  const int32_t verified = store->ReadInteger(kSettingsSection, kVerifiedRevision, 0);
  if (FListRevision < verified)
    throw EListRefused(
        Format("The update list's revision %d is older than revision %d, whose signed list this "
               "folder has already taken; an old list is not applied",
               FListRevision, verified));
  // The text, not its compressed bytes: the same list compressed otherwise is the same list.
  const std::string digest =
      Format("%d:%s", FListRevision, ListDigestHex(ReadWhole(listName)).c_str());
  const std::string applied = store->ReadString(kSettingsSection, kListDigest, "");
  // SECURITY: a list signed long ago stays validly signed. Served again at the revision the
  // folder has reached, another list of that revision would take the updater and the critical
  // files, which every run checks, back to what it names. A folder that has no digest for its
  // revision yet (an older client applied the list) takes the list and records it.
  if (FListRevision == FRevision && applied.rfind(Format("%d:", FRevision), 0) == 0 &&
      applied != digest)
    throw EListRefused(
        Format("The update list has this folder's revision %d, but it is not the list applied "
               "here at that revision; a list served again is not applied",
               FRevision));
  if (applied != digest) FListDigest = digest;
  if (FListRevision > verified) {
    // A store that cannot be written holds no revision or digest either; the run goes on as it
    // would without this record.
    try {
      store->WriteInteger(kSettingsSection, kVerifiedRevision, FListRevision);
    } catch (const ERegistryException& e) {
      if (FLog != nullptr)
        Synchronize([&] {
          FLog->Notice("The signed list's revision could not be recorded: " + e.Message());
        });
    }
  }
}

void GFilesThread::StoreListDigest() {
  if (!FListDigest.empty())
    OpenSettingsStore()->WriteString(kSettingsSection, kListDigest, FListDigest);
}

}  // namespace korvath
