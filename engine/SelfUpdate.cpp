// Replacing the updater's own executable from the list's "self" entry: the new version is
// fetched and unpacked beside the old one and checked against the listed digest; the window
// then hands over to the script "Update.bat", every other front end renames it into place.
#include "engine/GetFilesThr.h"
#include "list/PublishedNames.h"
#include "list/SelfName.h"
#include "list/WorkingNames.h"
#include "platform/File.h"
#include "platform/Program.h"
#include "platform/TempFile.h"
#include "runtime/SysUtils.h"
#include "transfer/HashingStream.h"
#include "transfer/md5.h"

namespace korvath {
namespace {

class ESelfUpdateError : public Exception {
  using Exception::Exception;
};

std::string ProgramFileName() {
  const std::string path = platform::ProgramFilePath();
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FileDigestHex(const std::string& path) {
  TDigestBytes digest;
  FileDigest(path, digest);
  return DigestToHex(digest);
}

}  // namespace

void GFilesThread::SelfUpdate(const std::string& entry) {
  if (entry.empty()) return;
  const TFileEntry self = SplitFileEntry(entry);
  const std::string& name = self.Path;
  // SECURITY: the name comes from the server and goes unquoted into Update.bat and into
  // taskkill's image name; nothing but a bare program name may get there.
  if (!IsSafeSelfName(name)) {
    StageFailed("The update list's self entry names '" + Printable(name) +
                "', which is not the bare name of a program; the updater was not replaced");
    return;
  }
  const std::string local = FWorkDir + name;
  if (FileDigestHex(local) == self.Digest) return;  // byte for byte: the updater is current
  EntrySize(self.Size);
  TIntegrity integrity;
  try {
    integrity = EntryIntegrity(self);
  } catch (const Exception& e) {
    StageFailed(name + ": the new version was not put in place: " + e.Message());
    return;
  }
  try {
    if (!DownloadFile(FServer + published::BzipCopyName(name), local + working::kDownload, true,
                      integrity.Known ? MaxBodyFor(integrity.Size) : kMaxBodyBytes))
      return;
  } catch (const Exception& e) {
    StageFailed(name + ": the new version could not be downloaded: " + e.Message());
    return;
  }

  const std::string script = FWorkDir + "Update.bat";
  // Only the window replaces the very program that runs; the script ends every process of
  // that name, so no other front end may start it.
  const bool handOver = FScriptedSelfUpdate && SameText(name, ProgramFileName());
  try {
    // Removed on the way out unless it is in place or the script takes it over.
    platform::TempFile fresh(local + ".New");
    std::string sha256;
    {
      TDownloadToUnpack source(local + working::kDownload);
      TFileStream target(fresh);
      TSpaceGuard space(GetVolumeQuery(), fresh.Path());
      if (integrity.Known) {
        THashingStream hashed(target, true);
        UnpackStream(source.Stream(), hashed, integrity.Size, &space);
        sha256 = hashed.Sha256Hex();
      } else {
        UnpackStream(source.Stream(), target, kNoLimit, &space);
      }
    }
    // Checked exactly as step 4 compares: a new version that never matches would be fetched
    // and started again on every start.
    const std::string actual = FileDigestHex(fresh.Path());
    if (actual != self.Digest)
      throw ESelfUpdateError("digest mismatch (listed " + Printable(self.Digest) + ", received " +
                             actual + ")");
    if (integrity.Known && sha256 != integrity.Sha256)
      throw ESelfUpdateError("SHA-256 mismatch (listed " + integrity.Sha256 + ", received " +
                             sha256 + ")");
    if (handOver) {
      WriteUpdateScript(name);
      RunProgram(script);
      fresh.Leave();
    } else if (const int error = fresh.Keep(local)) {
      throw ESelfUpdateError("it cannot be replaced (" + platform::SysErrorMessage(error) + ")");
    }
  } catch (const Exception& e) {
    if (handOver) platform::DeleteFile(script);  // nothing was started
    StageFailed(name + ": the new version was not put in place: " + e.Message());
  }
}

}  // namespace korvath
