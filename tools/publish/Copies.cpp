#include "tools/publish/Copies.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <memory>

#include "list/CopyFormats.h"
#include "runtime/Classes.h"
#include "tools/publish/Problems.h"
#include "tools/publish/Progress.h"
#include "tools/publish/WorkPool.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

// The client reads the size field as a 31-bit integer and fails the whole run on a larger one.
constexpr uint64_t kMaxCompressedSize = INT32_MAX;

// One copy to make: the pool takes the bzip2 and the zstd copy of a file as separate work, so
// that a large file's two copies are made on two cores.
struct TWork {
  TCopyJob* Job = nullptr;
  bool Zstd = false;
};

}  // namespace

void MakeCopies(std::vector<TCopyJob>& jobs, TStaging& staging, unsigned workers, std::FILE* out) {
  // Parent folders first, one at a time: a file in the way fails here, before any work.
  for (const TCopyJob& job : jobs) fs::create_directories(fs::path(job.Target).parent_path());
  // The largest files first, so that no core is left with a big one at the end.
  std::vector<TWork> order;
  for (TCopyJob& job : jobs) {
    order.push_back({&job, false});
    if (!job.ZstdTarget.empty()) order.push_back({&job, true});
  }
  std::stable_sort(order.begin(), order.end(), [](const TWork& a, const TWork& b) {
    return a.Job->SourceSize > b.Job->SourceSize;
  });
  uint64_t bytes = 0;
  for (const TCopyJob& job : jobs) bytes += job.SourceSize;
  TProgress progress(out, jobs.size(), bytes);
  // A file is done when all of its copies are.
  const auto left = std::make_unique<std::atomic<int>[]>(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) left[i] = jobs[i].ZstdTarget.empty() ? 1 : 2;
  std::vector<TZstdCompressed> zstd(jobs.size());
  ForEachParallel(order.size(), workers, [&](size_t i) {
    TCopyJob& job = *order[i].Job;
    const auto index = static_cast<size_t>(&job - jobs.data());
    if (order[i].Zstd) {
      TFileStream output(staging.Stage(job.ZstdTarget));
      zstd[index] = CompressFileZstd(job.File->SourcePath, output);
    } else {
      TFileStream output(staging.Stage(job.Target));
      job.Result = CompressFile(job.File->SourcePath, output);
      if (job.Result.CompressedSize > kMaxCompressedSize)
        throw EPublishError(
            Printable(job.File->ListPath) +
            ": its compressed copy is larger than the list's size field can hold (2 GiB)");
    }
    if (--left[index] == 0) progress.FileDone(job.SourceSize);
  });
  for (size_t i = 0; i < jobs.size(); ++i) {
    TCopyJob& job = jobs[i];
    if (job.ZstdTarget.empty()) continue;
    if (zstd[i].Digest != job.Result.Digest)
      throw EPublishError(Printable(job.File->ListPath) +
                          ": the file changed while its copies were made; publish again");
    const TListedCopy copy{TCopyFormat::Zstd, static_cast<int64_t>(zstd[i].CompressedSize)};
    if (PreferredCopy({copy}, static_cast<int64_t>(job.Result.CompressedSize)) != nullptr)
      job.ZstdSize = zstd[i].CompressedSize;
    else
      staging.Discard(job.ZstdTarget);
  }
}

}  // namespace korvath::publish
