// Verify reads the published folder as clients do (the client's list reader, path check, size
// conversion and copy decoders), so a folder it passes is one the client can use.
#include "tools/publish/Verify.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "list/FileEntry.h"
#include "list/HostsEntry.h"
#include "list/Limits.h"
#include "list/LocalPath.h"
#include "list/Mirrors.h"
#include "list/PublishedNames.h"
#include "list/SelfName.h"
#include "platform/Ascii.h"
#include "tools/publish/Codec.h"
#include "tools/publish/ListText.h"
#include "tools/publish/Patches.h"
#include "tools/publish/Problems.h"
#include "tools/publish/ReleaseScan.h"
#include "tools/publish/WorkPool.h"
#include "transfer/BZip2.h"
#include "transfer/Patch.h"
#include "transfer/Sha256.h"
#include "transfer/Signature.h"
#include "transfer/Zstd.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

struct TCheck {
  std::string Path;
  std::string Digest;
  uint64_t Size = 0;
  TIntegrity Integrity;
  int64_t ZstdSize = 0;  // of the zstd copy the entry names; 0: none
};

bool IsDigestText(const std::string& text) {
  if (text.size() != 32) return false;
  for (char c : text)
    if (!IsHexDigit(c) || IsUpper(c)) return false;
  return true;
}

void CheckSettings(const TPublishedList& list, std::vector<std::string>& problems) {
  int32_t value = 0;
  if (!TryStrToInt(list.Rev, value))
    problems.push_back("settings: Rev is missing or not an integer ('" + Printable(list.Rev) +
                       "')");
  int32_t modHosts = 0;
  if (!TryStrToInt(list.ModHosts, modHosts)) {
    problems.push_back("settings: ModHosts is missing or not an integer ('" +
                       Printable(list.ModHosts) + "')");
    return;
  }
  if (modHosts != 1) return;
  if (list.Hosts.front() == "FAIL") {
    problems.push_back("hosts: ModHosts is 1 but the section is missing or empty");
    return;
  }
  for (const std::string& line : list.Hosts) {
    const TStringList fields = SplitFromEnd(line, "|");
    if (fields.size() < 2)
      problems.push_back("hosts: entry '" + Printable(line) + "' has fewer than two fields");
    else if (const std::string reason = RefusedHostsEntryReason(fields[1], fields[0]);
             !reason.empty())
      problems.push_back("hosts: entry '" + Printable(line) + "' is refused by the client (" +
                         reason + ")");
  }
}

// Clients skip a mirror they cannot use, and every one past kMaxMirrors.
void CheckMirrors(const TStringList& section, TVerifyReport& report) {
  if (section.front() == "FAIL") return;
  for (const std::string& line : section)
    if (const std::string reason = RefusedMirrorReason(line); !reason.empty())
      report.Problems.push_back("mirrors: '" + Printable(line) + "' is skipped by clients (" +
                                reason + ")");
  if (section.size() > kMaxMirrors)
    report.Problems.push_back(
        Format("mirrors: %zu listed, clients use the first %zu", section.size(), kMaxMirrors));
  report.Mirrors = section;
}

// The entry's fields as the client reads them, or a problem.
bool ReadEntry(const std::string& section, const std::string& line, TCheck& check,
               std::vector<std::string>& problems) {
  const TStringList fields = SplitFromEnd(line, "|");
  if (fields.size() < 3) {
    problems.push_back(section + ": entry '" + Printable(line) +
                       "' is not of the form path|digest|size");
    return false;
  }
  check.Path = fields[2];
  check.Digest = fields[1];
  const std::string name = Printable(check.Path);
  bool good = true;
  try {
    const TFileEntry entry = SplitFileEntry(line);
    check.Integrity = EntryIntegrity(entry);
    for (const TListedCopy& copy : ListedCopies(entry))
      if (copy.Format == TCopyFormat::Zstd) check.ZstdSize = copy.Size;
  } catch (const EConvertError& e) {
    problems.push_back(name + ": the client fails this file (" + e.Message() + ")");
    good = false;
  }
  if (const std::string reason = RefusedPathReason(check.Path); !reason.empty()) {
    problems.push_back(name + ": the client refuses this path (" + reason + ")");
    good = false;
  }
  if (!IsDigestText(check.Digest)) {
    problems.push_back(name + ": the digest '" + Printable(check.Digest) +
                       "' is not 32 lower-case hex digits");
    good = false;
  }
  try {
    check.Size = static_cast<uint64_t>(EntrySize(fields[0]));
  } catch (const EConvertError&) {
    problems.push_back(name + ": the size '" + Printable(fields[0]) +
                       "' is not a decimal integer the client reads");
    good = false;
  }
  return good;
}

// The problems of a decoded copy's content against the entry.
void CompareContent(const std::string& name, const TCompressed& decoded, const TCheck& check,
                    std::vector<std::string>& problems) {
  if (decoded.Digest != check.Digest)
    problems.push_back(name + ": the content's digest is " + decoded.Digest + ", the list says " +
                       check.Digest);
  if (check.Integrity.Known && decoded.Sha256 != check.Integrity.Sha256)
    problems.push_back(name + ": the content's SHA-256 is " + decoded.Sha256 + ", the list says " +
                       check.Integrity.Sha256);
  if (check.Integrity.Known && decoded.Size != static_cast<uint64_t>(check.Integrity.Size))
    problems.push_back(name + Format(": the content is %llu bytes, the list says %lld",
                                     static_cast<unsigned long long>(decoded.Size),
                                     static_cast<long long>(check.Integrity.Size)));
}

// The problems of one listed copy of a file, which must be there with Size bytes.
std::vector<std::string> CheckCopy(const std::string& outDir, const TCheck& check,
                                   TCopyFormat format, uint64_t listedSize) {
  const TCopyFormatTraits& traits = CopyFormatTraits(format);
  const std::string copy = CompressedCopyPath(outDir, check.Path, format);
  // The bzip2 copy's problems keep the words they always had.
  const std::string name =
      Printable(check.Path) +
      (format == TCopyFormat::Bzip2 ? "" : ": the " + std::string(traits.Name) + " copy");
  const std::string copyWord = format == TCopyFormat::Bzip2 ? ": the compressed copy" : "";
  std::error_code ec;
  if (!fs::is_regular_file(copy, ec)) return {name + copyWord + " " + copy + " is missing"};
  std::vector<std::string> problems;
  const uint64_t size = fs::file_size(copy, ec);
  if (size != listedSize)
    problems.push_back(name + copyWord +
                       Format(" is %llu bytes, the list says %llu",
                              static_cast<unsigned long long>(size),
                              static_cast<unsigned long long>(listedSize)));
  try {
    const int64_t maxContent = check.Integrity.Known ? check.Integrity.Size : kNoLimit;
    CompareContent(name, DecodedCopyDigest(copy, format, maxContent), check, problems);
  } catch (const EBZip2Error& e) {
    problems.push_back(name + copyWord + " does not decode as one bzip2 stream (" + e.Message() +
                       ")");
  } catch (const EZstdError& e) {
    problems.push_back(name + copyWord + " does not decode as one zstd frame (" + e.Message() +
                       ")");
  } catch (const std::exception& e) {
    problems.push_back(name + copyWord + " cannot be read (" + std::string(e.what()) + ")");
  }
  return problems;
}

// The problems of every copy the entry names.
std::vector<std::string> CheckCopies(const std::string& outDir, const TCheck& check) {
  std::vector<std::string> problems = CheckCopy(outDir, check, TCopyFormat::Bzip2, check.Size);
  if (check.ZstdSize > 0) {
    const std::vector<std::string> zstd =
        CheckCopy(outDir, check, TCopyFormat::Zstd, static_cast<uint64_t>(check.ZstdSize));
    problems.insert(problems.end(), zstd.begin(), zstd.end());
  }
  return problems;
}

struct TPatchCheck {
  const TCheck* File = nullptr;
  std::string BaseDigest;
  std::string PatchDigest;
  uint64_t PatchSize = 0;
};

// The patch line's fields as the client reads them, or a problem. Files maps the lower-case
// path of every file entry that was read to its check.
bool ReadPatch(const std::string& line, const std::map<std::string, const TCheck*>& files,
               TPatchCheck& patch, std::vector<std::string>& problems) {
  const TStringList fields = SplitFromEnd(line, "|");
  if (fields.size() < 4) {
    problems.push_back("patches: entry '" + Printable(line) +
                       "' is not of the form path|base digest|patch digest|size");
    return false;
  }
  const std::string name = Printable(fields[3]);
  const auto file = files.find(LowerCase(fields[3]));
  if (file == files.end()) {
    problems.push_back(name + ": a patch for a file the list does not name");
    return false;
  }
  patch.File = file->second;
  if (!patch.File->Integrity.Known) {
    problems.push_back(name +
                       ": a patch for an entry without the integrity field, which "
                       "clients never use");
    return false;
  }
  patch.BaseDigest = fields[2];
  patch.PatchDigest = fields[1];
  if (!IsDigestText(patch.BaseDigest) || !IsDigestText(patch.PatchDigest)) {
    problems.push_back(name + ": the patch's digests '" + Printable(patch.BaseDigest) + "' and '" +
                       Printable(patch.PatchDigest) + "' are not 32 lower-case hex digits");
    return false;
  }
  try {
    patch.PatchSize = static_cast<uint64_t>(EntrySize(fields[0]));
  } catch (const EConvertError&) {
    problems.push_back(name + ": the patch size '" + Printable(fields[0]) +
                       "' is not a decimal integer the client reads");
    return false;
  }
  return true;
}

// The problems of one listed patch; Applied tells whether it was applied to its base.
std::vector<std::string> CheckPatch(const std::string& outDir,
                                    const std::vector<std::string>& baseDirs,
                                    const TPatchCheck& patch, bool& applied) {
  const std::string name = Printable(patch.File->Path) + ": the patch from " + patch.BaseDigest;
  const std::string path = PatchPath(outDir, patch.File->Path, patch.BaseDigest);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return {name + " (" + path + ") is missing"};
  const uint64_t size = fs::file_size(path, ec);
  if (size != patch.PatchSize)
    return {name + Format(" is %llu bytes, the list says %llu",
                          static_cast<unsigned long long>(size),
                          static_cast<unsigned long long>(patch.PatchSize))};
  try {
    const TWholeFile bytes(path);
    if (const std::string digest = DigestOfBytes(bytes.Bytes()); digest != patch.PatchDigest)
      return {name + " has the digest " + digest + ", the list says " + patch.PatchDigest};
    for (const std::string& dir : baseDirs) {
      const fs::path basePath = fs::path(dir) / ReplaceAll(patch.File->Path, "\\", "/");
      if (!fs::is_regular_file(basePath, ec) || fs::file_size(basePath, ec) == 0) continue;
      const TWholeFile base(basePath.string());
      if (DigestOfBytes(base.Bytes()) != patch.BaseDigest) continue;
      // Verify runs where the release is made, so the rebuilt file is held in memory here.
      std::string result(static_cast<size_t>(patch.File->Integrity.Size), '\0');
      ApplyPatch(base.Bytes(), bytes.Bytes(), result);
      applied = true;
      if (DigestOfBytes(result) != patch.File->Digest ||
          Sha256Hex(result) != patch.File->Integrity.Sha256)
        return {name + " rebuilds other content than the listed file's"};
      break;
    }
  } catch (const EPatchError& e) {
    return {name + " does not apply to its base in a --base folder (" + e.Message() + ")"};
  } catch (const std::exception& e) {
    return {name + " cannot be checked (" + std::string(e.what()) + ")"};
  }
  return {};
}

// The list is small (the client reads no more than kMaxListBytes) and its signature smaller.
std::string FileBytes(const std::string& path) {
  std::string bytes;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) return bytes;
  char block[64 * 1024];
  for (size_t n; (n = std::fread(block, 1, sizeof block, file.get())) > 0;) bytes.append(block, n);
  return bytes;
}

// A client built with the key fetches the signature right after the list and refuses the list
// unless the signature is of its exact bytes by that key.
void CheckSignature(const std::string& listPath, const std::string& publicKeyHex,
                    std::vector<std::string>& problems) {
  const std::string signaturePath = listPath + kSignatureSuffix;
  if (!fs::is_regular_file(signaturePath)) {
    problems.push_back(signaturePath + ": missing; clients built with the key refuse the list");
    return;
  }
  try {
    if (!VerifyListSignature(FileBytes(listPath), FileBytes(signaturePath), publicKeyHex))
      problems.push_back(signaturePath + ": not a signature of the list by the key " +
                         Printable(publicKeyHex) + "; clients built with it refuse the list");
  } catch (const ESignatureError& e) {
    problems.push_back("--key " + Printable(publicKeyHex) + ": " + e.Message());
  }
}

}  // namespace

TVerifyReport VerifyPublished(const std::string& outDir, unsigned jobs,
                              const std::string& publicKeyHex,
                              const std::vector<std::string>& baseDirs) {
  TVerifyReport report;
  const std::string listPath = (fs::path(outDir) / published::kList).string();
  if (!fs::is_regular_file(listPath)) {
    report.Problems.push_back(listPath + ": missing");
    return report;
  }
  TPublishedList list;
  try {
    list = ReadPublishedList(listPath);
  } catch (const EBZip2Error& e) {
    report.Problems.push_back(listPath + ": does not decode as one bzip2 stream (" + e.Message() +
                              ")");
    return report;
  } catch (const std::exception& e) {
    report.Problems.push_back(listPath + ": cannot be read (" + std::string(e.what()) + ")");
    return report;
  }
  report.Rev = list.Rev;
  CheckSettings(list, report.Problems);
  CheckMirrors(list.Mirrors, report);
  if (!publicKeyHex.empty()) CheckSignature(listPath, publicKeyHex, report.Problems);

  std::vector<TCheck> checks;
  std::map<std::string, std::string> seen;  // lower-case path, as first listed
  auto add = [&](const std::string& section, const std::string& line) {
    TCheck check;
    if (!ReadEntry(section, line, check, report.Problems)) return;
    if (const auto [at, added] = seen.emplace(LowerCase(check.Path), check.Path); !added)
      report.Problems.push_back(Printable(check.Path) +
                                ": listed more than once (letter case ignored)");
    checks.push_back(std::move(check));
  };
  if (list.Self.front() != "FAIL") {
    const TStringList fields = SplitFromEnd(list.Self.front(), "|");
    if (fields.size() >= 3 && !IsSafeSelfName(fields[2]))
      report.Problems.push_back("self: '" + Printable(fields[2]) +
                                "' is not a plain name of an .exe file");
    else
      add("self", list.Self.front());
  }
  for (const auto* section : {&list.Critical, &list.Normal})
    if (section->front() != "FAIL")
      for (const std::string& line : *section)
        add(section == &list.Critical ? "files_critical" : "files_normal", line);

  std::vector<std::vector<std::string>> found(checks.size());
  ForEachParallel(checks.size(), WorkerCount(jobs),
                  [&](size_t i) { found[i] = CheckCopies(outDir, checks[i]); });
  for (const auto& problems : found)
    report.Problems.insert(report.Problems.end(), problems.begin(), problems.end());
  report.Files = checks.size();

  std::map<std::string, const TCheck*> files;
  for (const TCheck& check : checks) files.emplace(LowerCase(check.Path), &check);
  std::vector<TPatchCheck> patches;
  std::set<std::pair<std::string, std::string>> patchesSeen;  // lower-case path, base digest
  if (list.Patches.front() != "FAIL")
    for (const std::string& line : list.Patches) {
      TPatchCheck patch;
      if (!ReadPatch(line, files, patch, report.Problems)) continue;
      if (!patchesSeen.emplace(LowerCase(patch.File->Path), patch.BaseDigest).second)
        report.Problems.push_back(Printable(patch.File->Path) + ": the patch from " +
                                  patch.BaseDigest + " is listed more than once");
      patches.push_back(std::move(patch));
    }
  std::vector<std::vector<std::string>> patchProblems(patches.size());
  std::vector<char> applied(patches.size(), 0);
  ForEachParallel(patches.size(), WorkerCount(jobs), [&](size_t i) {
    bool done = false;
    patchProblems[i] = CheckPatch(outDir, baseDirs, patches[i], done);
    applied[i] = done;
  });
  for (size_t i = 0; i < patches.size(); ++i) {
    report.Problems.insert(report.Problems.end(), patchProblems[i].begin(), patchProblems[i].end());
    report.PatchesApplied += applied[i] != 0;
  }
  report.Patches = patches.size();
  return report;
}

}  // namespace korvath::publish
