#include "tools/publish/Patches.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <utility>

#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "tools/publish/Progress.h"
#include "tools/publish/ReleaseScan.h"
#include "tools/publish/WorkPool.h"
#include "transfer/Misc.h"
#include "transfer/Patch.h"
#include "transfer/md5.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

// A patch is kept only when it is at most this share of the file's compressed copy. A client
// that takes a patch also reads its base and writes the result, and one whose patch fails falls
// back to the copy, having fetched both: at one half such a failure costs at most one and a half
// copies, while a patch that works saves at least half of one. The small edits patches are for
// make patches of a few thousandths of the copy, far below the line.
constexpr double kPatchAtMost = 0.5;

struct TCandidate {
  const TPatchTarget* Target = nullptr;
  std::string BasePath;
  std::string BaseDigest;
  uint64_t BaseSize = 0;
  uint64_t TargetSize = 0;
  TPatchEntry Entry;  // PatchSize 0 while none is kept
};

std::string FileDigestHex(const std::string& path) {
  TDigestBytes digest;
  FileDigest(path, digest);
  return DigestToHex(digest);
}

// Every version of every target in the bases that is not empty: mapping needs bytes, and a
// patch from nothing is a copy.
std::vector<TCandidate> FindBases(const std::vector<std::string>& baseDirs,
                                  const std::vector<TPatchTarget>& targets) {
  std::vector<TCandidate> candidates;
  for (const TPatchTarget& target : targets) {
    std::error_code ec;
    const uint64_t targetSize = fs::file_size(target.SourcePath, ec);
    if (ec || targetSize == 0) continue;
    for (const std::string& dir : baseDirs) {
      const fs::path base = fs::path(dir) / ReplaceAll(target.ListPath, "\\", "/");
      const uint64_t baseSize = fs::is_regular_file(base, ec) ? fs::file_size(base, ec) : 0;
      if (!ec && baseSize > 0)
        candidates.push_back({&target, base.string(), {}, baseSize, targetSize, {}});
    }
  }
  return candidates;
}

}  // namespace

TWholeFile::TWholeFile(const std::string& path) {
  if (!platform::MappedFile::Open(path, FFile) ||
      !FFile.MapView(0, static_cast<size_t>(FFile.Size())) || FFile.ViewSize() != FFile.Size())
    throw Exception(path + ": it cannot be mapped for reading");
}

std::span<const char> TWholeFile::Bytes() const {
  return {reinterpret_cast<const char*>(FFile.Data()), FFile.ViewSize()};
}

std::string DigestOfBytes(std::span<const char> bytes) {
  TDigestContext context;
  DigestInit(context);
  for (size_t at = 0; at < bytes.size();) {
    const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(bytes.size() - at, 1u << 30));
    DigestUpdate(context, bytes.data() + at, piece);
    at += piece;
  }
  TDigestBytes digest;
  DigestFinal(context, digest);
  return DigestToHex(digest);
}

TPatchesMade MakePatches(const std::vector<std::string>& baseDirs,
                         const std::vector<TPatchTarget>& targets, const std::string& outDir,
                         const std::function<platform::TempFile&(const std::string&)>& stage,
                         unsigned workers, std::FILE* out) {
  std::vector<TCandidate> found = FindBases(baseDirs, targets);
  ForEachParallel(found.size(), workers,
                  [&](size_t i) { found[i].BaseDigest = FileDigestHex(found[i].BasePath); });
  // One patch per version: the same bytes in two bases are one base.
  std::vector<TCandidate> candidates;
  std::map<std::pair<std::string, std::string>, bool> seen;
  for (TCandidate& c : found)
    if (c.BaseDigest != c.Target->Digest &&
        seen.emplace(std::pair(c.Target->ListPath, c.BaseDigest), true).second)
      candidates.push_back(std::move(c));

  std::vector<TCandidate*> order;
  uint64_t bytes = 0;
  for (TCandidate& c : candidates) {
    order.push_back(&c);
    bytes += c.TargetSize;
  }
  std::stable_sort(order.begin(), order.end(), [](const TCandidate* a, const TCandidate* b) {
    return a->TargetSize > b->TargetSize;
  });
  for (const TCandidate* c : order)
    fs::create_directories(
        fs::path(PatchPath(outDir, c->Target->ListPath, c->BaseDigest)).parent_path());
  std::atomic<size_t> dropped{0};
  {
    TProgress progress(out, order.size(), bytes, "patched");
    ForEachParallel(order.size(), workers, [&](size_t i) {
      TCandidate& c = *order[i];
      const TWholeFile base(c.BasePath), target(c.Target->SourcePath);
      const std::string patch = MakePatch(
          base.Bytes(), target.Bytes(), kPatchLevel,
          static_cast<size_t>(static_cast<double>(c.Target->CompressedSize) * kPatchAtMost));
      // A file cut short under its mapping reads as zeros past its new end.
      if (!base.Intact() || !target.Intact())
        throw Exception(c.BasePath + " or " + c.Target->SourcePath +
                        ": cut short while a patch was made from it");
      if (patch.empty()) {
        ++dropped;
      } else {
        TFileStream file(stage(PatchPath(outDir, c.Target->ListPath, c.BaseDigest)));
        file.WriteBuffer(patch.data(), static_cast<int32_t>(patch.size()));
        c.Entry = {c.Target->ListPath, c.BaseDigest, DigestOfBytes(patch), patch.size()};
      }
      progress.FileDone(c.TargetSize);
    });
  }
  TPatchesMade made;
  made.Dropped = dropped;
  for (const TCandidate& c : candidates)
    if (c.Entry.PatchSize > 0) {
      made.Entries.push_back(c.Entry);
      made.Bytes += c.Entry.PatchSize;
    }
  return made;
}

}  // namespace korvath::publish
