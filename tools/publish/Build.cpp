// The order of writing is what keeps clients safe while a folder is being published over: the
// compressed copies go in under temporary names first, take their real names only when all of
// them are complete, and the list that names them comes last. Until then clients keep reading
// the previous list, which names only files that are in place.
#include "tools/publish/Build.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "list/FileEntry.h"
#include "list/HostsEntry.h"
#include "list/Limits.h"
#include "list/LocalPath.h"
#include "list/Mirrors.h"
#include "list/PublishedNames.h"
#include "runtime/Classes.h"
#include "tools/publish/Codec.h"
#include "tools/publish/Copies.h"
#include "tools/publish/ListText.h"
#include "tools/publish/Patches.h"
#include "tools/publish/Problems.h"
#include "tools/publish/ReleaseScan.h"
#include "tools/publish/Sign.h"
#include "tools/publish/Staging.h"
#include "tools/publish/WorkPool.h"
#include "transfer/Signature.h"
#include "transfer/md5.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

using THosts = std::vector<std::pair<std::string, std::string>>;

THosts ParseHosts(const std::vector<std::string>& pairs, std::vector<std::string>& problems) {
  THosts hosts;
  for (const std::string& pair : pairs) {
    const size_t equals = pair.find('=');
    if (equals == std::string::npos) {
      problems.push_back("--hosts " + Printable(pair) + ": not of the form ADDRESS=HOSTNAME");
      continue;
    }
    std::string address = pair.substr(0, equals), host = pair.substr(equals + 1);
    if (const std::string reason = RefusedHostsEntryReason(address, host); !reason.empty())
      problems.push_back("--hosts " + Printable(pair) + ": the client refuses this entry (" +
                         reason + ")");
    else
      hosts.emplace_back(std::move(address), std::move(host));
  }
  return hosts;
}

// The bases clients get: a malformed one would be skipped by every client, so it is refused
// here, where the one who can mend it sees it.
std::vector<std::string> ParseMirrors(const std::vector<std::string>& addresses,
                                      std::vector<std::string>& problems) {
  std::vector<std::string> bases;
  for (const std::string& address : addresses) {
    if (const std::string reason = RefusedMirrorReason(address); !reason.empty())
      problems.push_back("--mirror " + Printable(address) + ": " + reason);
    else
      bases.push_back(MirrorBase(address));
  }
  if (addresses.size() > kMaxMirrors)
    problems.push_back(
        Format("--mirror: %zu given, clients use at most %zu", addresses.size(), kMaxMirrors));
  return bases;
}

// True when Inner is Outer or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
  auto folder = [](const fs::path& path) {
    fs::path result = fs::weakly_canonical(path);
    return result.has_filename() ? result : result.parent_path();  // no trailing separator
  };
  const fs::path a = folder(inner), b = folder(outer);
  return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

void CheckFolders(const TBuildOptions& options, std::vector<std::string>& problems) {
  if (!fs::is_directory(options.ReleaseDir)) {
    problems.push_back(options.ReleaseDir + ": no such folder");
    return;
  }
  if (Within(options.OutDir, options.ReleaseDir))
    problems.push_back(options.OutDir +
                       ": the output folder must not lie inside the release folder");
  else if (Within(options.ReleaseDir, options.OutDir))
    problems.push_back(options.ReleaseDir +
                       ": the release folder must not lie inside the output folder");
  if (fs::exists(options.OutDir) && !fs::is_directory(options.OutDir))
    problems.push_back(options.OutDir + ": exists and is not a folder");
}

// What the list already published in the output folder says, as far as this publish needs it.
struct TPrevious {
  bool Readable = false;
  bool RevKnown = false;
  int32_t Rev = 0;
  std::set<std::pair<std::string, std::string>> Entries;  // path, digest of every file entry
  std::set<std::string> Paths;                            // of every entry, the self one too
  std::set<std::string> ZstdPaths;                        // of every entry that lists a zstd copy
  std::set<std::pair<std::string, std::string>> Patches;  // path, base digest
  std::string Text;                                       // the whole list as clients read it
};

TPrevious ReadPrevious(const std::string& listPath, std::FILE* out) {
  TPrevious previous;
  if (!fs::exists(listPath)) return previous;
  TPublishedList list;
  try {
    list = ReadPublishedList(listPath);
    previous.Text = DecodeText(listPath, kMaxListBytes);
  } catch (const std::exception& e) {
    std::fprintf(
        out,
        "korvath-publish: warning: the published list %s cannot be read (%s); the revision "
        "check and the removal of old copies are skipped\n",
        listPath.c_str(), e.what());
    return previous;
  }
  previous.Readable = true;
  previous.RevKnown = TryStrToInt(list.Rev, previous.Rev);
  for (const TStringList* section : {&list.Self, &list.Critical, &list.Normal}) {
    for (const std::string& line : *section) {
      const TStringList fields = SplitFromEnd(line, "|");
      if (fields.size() < 3) continue;  // "FAIL", or an entry no client could use either
      previous.Paths.insert(fields[2]);
      for (const TListedCopy& copy : ListedCopies(SplitFileEntry(line)))
        if (copy.Format == TCopyFormat::Zstd) previous.ZstdPaths.insert(fields[2]);
      if (section != &list.Self) previous.Entries.emplace(fields[2], fields[1]);
    }
  }
  for (const std::string& line : list.Patches) {
    const TStringList fields = SplitFromEnd(line, "|");
    if (fields.size() >= 4) previous.Patches.emplace(fields[3], fields[2]);
  }
  return previous;
}

std::string DigestOf(const std::string& path) {
  TDigestBytes digest;
  FileDigest(path, digest);
  return DigestToHex(digest);
}

// Clients that reached the published revision check only the critical files; a normal file
// that is new or different reaches them only with a higher revision.
void CheckRevision(const TBuildOptions& options, const TPrevious& previous, const TRelease& release,
                   unsigned workers, std::vector<std::string>& problems) {
  if (!previous.Readable || !previous.RevKnown || options.Rev > previous.Rev) return;
  std::vector<const TReleaseFile*> normal;
  for (const TReleaseFile& file : release.Files)
    if (!file.Critical) normal.push_back(&file);
  std::vector<std::string> digests(normal.size());
  ForEachParallel(normal.size(), workers,
                  [&](size_t i) { digests[i] = DigestOf(normal[i]->SourcePath); });
  for (size_t i = 0; i < normal.size(); ++i) {
    if (previous.Entries.count({normal[i]->ListPath, digests[i]}) != 0) continue;
    problems.push_back(
        Format("--rev %d: the normal file %s is new or changed, but clients that reached the "
               "published revision %d check normal files only when the revision rises; "
               "publish with --rev %lld or higher",
               options.Rev, Printable(normal[i]->ListPath).c_str(), previous.Rev,
               static_cast<long long>(previous.Rev) + 1));
    return;
  }
}

// A client that applied a signed list refuses another signed list of the same revision (an old
// one served again would take it back), so a signed list that changes anything at all needs a
// higher revision. Known only once the copies are made: their sizes are part of the list.
void CheckSignedChange(const TBuildOptions& options, const TPrevious& previous,
                       const std::string& text) {
  if (options.SignKeyFile.empty() || !previous.Readable || !previous.RevKnown ||
      options.Rev > previous.Rev || text == previous.Text)
    return;
  throw EPublishError(
      Format("--rev %d: the signed list differs from the published list of revision %d, and "
             "clients that applied a signed list refuse another one of the same revision; "
             "publish with --rev %lld or higher",
             options.Rev, previous.Rev, static_cast<long long>(previous.Rev) + 1));
}

// The list that the compressed copies make, with the sizes and paths it names.
struct TPublished {
  TListContent Content;
  std::string Text;
  std::set<std::string> Paths;
  std::set<std::string> ZstdPaths;  // of the entries that list a zstd copy
  uint64_t Size = 0, Compressed = 0, ZstdCompressed = 0;
  TPatchesMade Patches;
  std::set<std::pair<std::string, std::string>> PatchKeys;  // path, base digest
};

// Removes the compressed copies and patches that only the previous list named, and folders
// left empty; returns how many of each.
std::pair<size_t, size_t> RemoveStale(const std::string& outDir, const TPrevious& previous,
                                      const TPublished& published) {
  const fs::path root = fs::weakly_canonical(outDir);
  auto remove = [&](const fs::path& file) -> size_t {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec)) || !fs::remove(file, ec)) return 0;
    for (fs::path folder = file.parent_path(); fs::weakly_canonical(folder, ec) != root;
         folder = folder.parent_path())
      if (!fs::is_empty(folder, ec) || ec || !fs::remove(folder, ec)) break;
    return 1;
  };
  size_t copies = 0, stalePatches = 0;
  // The previous list is read back from disk: only paths inside the folder are acted on.
  for (const std::string& path : previous.Paths)
    if (published.Paths.count(path) == 0 && RefusedPathReason(path).empty())
      copies += remove(CompressedCopyPath(outDir, path));
  // A zstd copy the new list no longer names (--no-zstd, or it no longer pays).
  for (const std::string& path : previous.ZstdPaths)
    if (published.ZstdPaths.count(path) == 0 && RefusedPathReason(path).empty())
      copies += remove(CompressedCopyPath(outDir, path, TCopyFormat::Zstd));
  for (const auto& [path, base] : previous.Patches)
    if (published.PatchKeys.count({path, base}) == 0 && RefusedPathReason(path).empty() &&
        base.find_first_not_of("0123456789abcdef") == std::string::npos && base.size() == 32)
      stalePatches += remove(PatchPath(outDir, path, base));
  return {copies, stalePatches};
}

// Writes every file in full under its temporary name first, then puts them in place one right
// after the other (a list and its signature: clients see the two change together, or nearly).
void WriteFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files) {
  TStaging staging;
  for (const auto& [path, bytes] : files) {
    TFileStream file(staging.Stage(path));
    file.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  staging.Commit();
}

// What a build starts from: the release, its hosts entries and the signing key, read and checked
// as a whole so that every problem is named at once.
struct TInputs {
  THosts Hosts;
  std::vector<std::string> Mirrors;
  std::string SecretKey;
  TRelease Release;
};

TInputs ReadInputs(const TBuildOptions& options) {
  std::vector<std::string> problems;
  TInputs inputs;
  inputs.Hosts = ParseHosts(options.HostsPairs, problems);
  inputs.Mirrors = ParseMirrors(options.Mirrors, problems);
  CheckFolders(options, problems);
  for (const std::string& base : options.BaseDirs)
    if (!fs::is_directory(base)) problems.push_back("--base " + base + ": no such folder");
  if (!options.SignKeyFile.empty()) {
    try {
      inputs.SecretKey = ReadSecretKeyFile(options.SignKeyFile);
    } catch (const EPublishError& e) {
      problems.insert(problems.end(), e.Problems().begin(), e.Problems().end());
    }
  }
  if (fs::is_directory(options.ReleaseDir)) {
    try {
      inputs.Release = ScanRelease(options.ReleaseDir, options.CriticalPatterns, options.SelfName);
    } catch (const EPublishError& e) {
      problems.insert(problems.end(), e.Problems().begin(), e.Problems().end());
    }
  }
  if (!problems.empty()) throw EPublishError(std::move(problems));
  return inputs;
}

// Writes every file's compressed copy and puts the copies in place once all are complete and
// the list they make fits what clients read and, signed, is one they take.
TPublished PublishCopies(const TBuildOptions& options, const TInputs& inputs,
                         const TPrevious& previous, unsigned workers, std::FILE* out) {
  const TRelease& release = inputs.Release;
  std::vector<TCopyJob> jobs;
  // The self entry goes to every client, old ones too, and stays with its bzip2 copy.
  if (release.Self) jobs.push_back({&*release.Self, {}, {}, 0, {}, 0});
  for (const TReleaseFile& file : release.Files) {
    jobs.push_back({&file, {}, {}, 0, {}, 0});
    if (options.Zstd)
      jobs.back().ZstdTarget = CompressedCopyPath(options.OutDir, file.ListPath, TCopyFormat::Zstd);
  }
  for (TCopyJob& job : jobs) {
    job.Target = CompressedCopyPath(options.OutDir, job.File->ListPath);
    job.SourceSize = fs::file_size(job.File->SourcePath);
  }
  fs::create_directories(options.OutDir);
  TPublished published;
  published.Content.Rev = options.Rev;
  published.Content.Hosts = inputs.Hosts;
  published.Content.Mirrors = inputs.Mirrors;
  TStaging staging;
  MakeCopies(jobs, staging, workers, out);
  for (const TCopyJob& job : jobs) {
    const TListEntry entry{
        job.File->ListPath, job.Result.Digest, job.Result.CompressedSize,
        IntegrityField(job.Result.Sha256, static_cast<int64_t>(job.Result.Size)),
        job.ZstdSize == 0 ? "" : CopyField(TCopyFormat::Zstd, static_cast<int64_t>(job.ZstdSize))};
    TListContent& content = published.Content;
    if (release.Self && job.File == &*release.Self)
      content.Self = entry;
    else
      (job.File->Critical ? content.Critical : content.Normal).push_back(entry);
    published.Size += job.Result.Size;
    published.Compressed += job.Result.CompressedSize;
    published.Paths.insert(job.File->ListPath);
    if (job.ZstdSize != 0) published.ZstdPaths.insert(job.File->ListPath);
    published.ZstdCompressed += job.ZstdSize;
  }
  if (!options.BaseDirs.empty()) {
    std::vector<TPatchTarget> targets;
    for (const TCopyJob& job : jobs)
      if (!release.Self || job.File != &*release.Self)
        targets.push_back({job.File->ListPath, job.File->SourcePath, job.Result.Digest,
                           job.Result.CompressedSize});
    published.Patches = MakePatches(
        options.BaseDirs, targets, options.OutDir,
        [&](const std::string& path) -> platform::TempFile& { return staging.Stage(path); },
        workers, out);
    published.Content.Patches = published.Patches.Entries;
    for (const TPatchEntry& patch : published.Patches.Entries)
      published.PatchKeys.emplace(patch.Path, patch.BaseDigest);
  }
  published.Text = ListText(published.Content);
  if (published.Text.size() > static_cast<uint64_t>(kMaxListBytes))
    throw EPublishError(Format("the list would be %zu bytes, more than clients read (%lld)",
                               published.Text.size(), static_cast<long long>(kMaxListBytes)));
  CheckSignedChange(options, previous, published.Text);
  staging.Commit();
  return published;
}

// Puts the compressed list (and its signature, or no stale one) in place; true when an old
// signature was removed.
bool PublishList(const std::string& listPath, const std::string& text,
                 const std::string& secretKey) {
  const std::string list = CompressText(text);
  const std::string signaturePath = listPath + kSignatureSuffix;
  if (!secretKey.empty()) {
    WriteFilesAtomically({{listPath, list}, {signaturePath, SignList(list, secretKey)}});
    return false;
  }
  WriteFilesAtomically({{listPath, list}});
  // The previous list's signature fits no other list.
  std::error_code ec;
  return fs::remove(signaturePath, ec);
}

}  // namespace

void BuildRelease(const TBuildOptions& options, std::FILE* out) {
  const unsigned workers = WorkerCount(options.Jobs);
  const TInputs inputs = ReadInputs(options);
  const std::string listPath = (fs::path(options.OutDir) / published::kList).string();
  const TPrevious previous = ReadPrevious(listPath, out);
  std::vector<std::string> problems;
  CheckRevision(options, previous, inputs.Release, workers, problems);
  if (!problems.empty()) throw EPublishError(std::move(problems));

  const TPublished published = PublishCopies(options, inputs, previous, workers, out);
  const bool signatureRemoved = PublishList(listPath, published.Text, inputs.SecretKey);
  const auto [removed, removedPatches] = RemoveStale(options.OutDir, previous, published);

  const TListContent& content = published.Content;
  std::fprintf(
      out,
      "korvath-publish: revision %d: %zu critical and %zu normal files%s%s%s, %llu bytes (%llu "
      "compressed%s), published in %s\n",
      options.Rev, content.Critical.size(), content.Normal.size(),
      content.Self ? (", self " + content.Self->Path).c_str() : "",
      inputs.Hosts.empty() ? "" : Format(", %zu hosts entries", inputs.Hosts.size()).c_str(),
      inputs.Mirrors.empty() ? "" : Format(", %zu mirrors", inputs.Mirrors.size()).c_str(),
      static_cast<unsigned long long>(published.Size),
      static_cast<unsigned long long>(published.Compressed),
      published.ZstdPaths.empty()
          ? ""
          : Format("; %zu zstd copies, %llu bytes", published.ZstdPaths.size(),
                   static_cast<unsigned long long>(published.ZstdCompressed))
                .c_str(),
      options.OutDir.c_str());
  if (!options.BaseDirs.empty())
    std::fprintf(out,
                 "korvath-publish: %zu patches from %zu earlier releases, %llu bytes; %zu more "
                 "were over half of their file's compressed copy and are not published\n",
                 published.Patches.Entries.size(), options.BaseDirs.size(),
                 static_cast<unsigned long long>(published.Patches.Bytes),
                 published.Patches.Dropped);
  if (!inputs.SecretKey.empty())
    std::fprintf(out, "korvath-publish: list signed with %s (public key %s)\n",
                 options.SignKeyFile.c_str(), HexEncode(PublicKeyOf(inputs.SecretKey)).c_str());
  if (signatureRemoved)
    std::fprintf(out,
                 "korvath-publish: the list is not signed; the previous list's signature "
                 "was removed\n");
  if (removed > 0)
    std::fprintf(
        out, "korvath-publish: removed %zu compressed copies that only the previous list named\n",
        removed);
  if (removedPatches > 0)
    std::fprintf(out, "korvath-publish: removed %zu patches that only the previous list named\n",
                 removedPatches);
}

}  // namespace korvath::publish
