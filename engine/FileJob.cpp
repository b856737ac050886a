#include "engine/FileJob.h"

#include "engine/ListKey.h"
#include "list/LocalPath.h"
#include "platform/Ascii.h"

namespace korvath {

std::unique_ptr<TFileJob> MakeFileJob(const std::string& line, const std::string& server,
                                      const std::vector<std::string>& mirrors,
                                      const std::set<std::string>& listedPaths, bool createBackup,
                                      const TPatchPlan* patch) {
  auto job = std::make_unique<TFileJob>();
  try {
    const TFileEntry entry = SplitFileEntry(line);
    if (!RefusedPathReason(entry.Path).empty()) return job;
    job->Size = EntrySize(entry.Size);
    job->Integrity = EntryIntegrity(entry);
    job->Md5 = LowerCase(entry.Digest);
    const auto listed = [&](const std::string& suffix) {
      return listedPaths.count(ListKey(entry.Path + suffix)) != 0;
    };
    // A patch kept under a listed file's name would overwrite that file: the whole copy comes.
    if (job->Integrity.Known && patch != nullptr && !listed(kPatchSuffix)) job->Patch = *patch;
    for (std::string* suffix : {&job->DownloadSuffix, &job->UnpackSuffix})
      while (listed(*suffix)) *suffix += "~";
    job->Addresses = FileAddresses(PublishedName(entry.Path), mirrors, server);
    job->MirrorBases = mirrors;
    // A further copy is decoded within the unpacked size the entry gives, so only such an entry
    // takes one.
    const std::vector<TListedCopy> copies = ListedCopies(entry);
    if (const TListedCopy* preferred = PreferredCopy(copies, job->Size);
        preferred != nullptr && job->Integrity.Known) {
      const TCopyFormatTraits& traits = CopyFormatTraits(preferred->Format);
      job->Preferred = *preferred;
      job->PreferredAddresses =
          FileAddresses(PublishedCopyName(entry.Path, preferred->Format), mirrors, server);
      job->PreferredSuffix = traits.Suffix;
      while (listed(job->PreferredSuffix)) job->PreferredSuffix += "~";
      job->PreferredResumable = !listed(traits.Suffix) && !listed(traits.ResumeSuffix);
    }
    // A temporary that carries the name of a listed file, or a download that a backup copy
    // could land on, must wait until every file before it is done.
    job->RunsAhead =
        !listed(kDownloadSuffix) && !listed(kUnpackSuffix) && !listed(kPatchSuffix) &&
        (!job->Preferred || !listed(CopyFormatTraits(job->Preferred->Format).Suffix)) &&
        !(createBackup && ListKey(entry.Path).rfind("backup\\", 0) == 0);
    job->Resumable = !listed(kDownloadSuffix) && !listed(kResumeSuffix);
    job->Path = entry.Path;
  } catch (const Exception&) {
    job->Path.clear();
  }
  return job;
}

}  // namespace korvath
