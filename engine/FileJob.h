// One collected file on its way from the servers into the game folder: what the list says of it,
// the names it works under, the gauge tapes of its transfers, and what each stage made of it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/DiskBudget.h"
#include "engine/FileSources.h"
#include "engine/GaugeTape.h"
#include "engine/Patching.h"
#include "list/CopyFormats.h"
#include "list/FileEntry.h"
#include "list/WorkingNames.h"
#include "platform/TempFile.h"
#include "transfer/md5.h"

namespace korvath {

// Temporaries beside a game file: its download, its unpacked (or rebuilt) content until the
// digest is right, and the patch it is rebuilt from; while the download is partial, the record
// a later run continues it by. The names are kept with the publisher's check of them.
inline constexpr const char* kDownloadSuffix = working::kDownload;
inline constexpr const char* kUnpackSuffix = working::kUnpack;
inline constexpr const char* kPatchSuffix = working::kPatch;
inline constexpr const char* kResumeSuffix = working::kResume;

struct TFileNames {
  std::string Local;
  std::string Download;  // Local + the suffix of the copy's format (".bz2", ".zst")
  std::string Unpacked;  // Local + ".unpack"
  std::string Patch;     // Local + ".patch"; empty when the file takes no patch
  // Local + the copy's resume suffix (".bz2.resume"); empty when the download is not to outlive
  // the run
  std::string Record;
};

// How a file is fetched (again): from which of its addresses on, whether its patch is still to
// be tried, and whether a part kept from earlier may be continued.
struct TFetchPlan {
  size_t FirstAddress = 0;
  bool TryPatch = true;
  bool MayResume = true;
  // Whether the copy the list names beside the bzip2 one (a zstd copy) is still to be tried.
  bool TryPreferred = true;
};

// What the fetch stage made of a file.
struct TFetched {
  enum class TKind { Copy, Patch, NoAnswer } Kind = TKind::NoAnswer;
  size_t Source = 0;                   // of the file's addresses, the one the copy came from
  std::vector<TFailedAddress> Failed;  // those that failed before it, or all when none gave one
  std::string PatchFailure;            // why the patch gave way before the whole copy came
  TCopyFormat Format = TCopyFormat::Bzip2;  // of the copy that came
  std::string CopyFailure;     // why the preferred copy gave way before the bzip2 copy came
  bool UncheckedJoin = false;  // parts joined without a validator of the server's
  std::exception_ptr Error;
};

// What the decode stage made of a fetched file.
struct TDecoded {
  std::unique_ptr<platform::TempFile> Temporary;  // the unpacked or rebuilt content
  TDigestBytes Md5{};
  std::string Sha256;        // empty when the entry carries no integrity field
  std::string PatchFailure;  // the patch came but gave way: the whole copy is wanted
  std::exception_ptr Error;
};

struct TFileJob {
  // From the list; Path is empty when the entry is refused or unreadable.
  std::string Path;
  std::vector<std::string> Addresses;    // mirrors' copies first, the server's last
  std::vector<std::string> MirrorBases;  // the bases of the addresses before the server's
  int64_t Size = 0;                      // the listed (compressed) size
  TIntegrity Integrity;
  std::string Md5;  // the listed digest, lower case
  TPatchPlan Patch;
  // Whether it may be worked on before the files ahead of it are done: not when a temporary of
  // it carries a listed file's name, or its download could land on a backup copy.
  bool RunsAhead = true;
  // Neither its download's name nor its record's is a listed file's, so the download may be
  // kept with its record across runs.
  bool Resumable = true;
  // The suffixes of its download and unpacked temporaries: the usual ones, or, where that name
  // is another listed file's, one that is not (a listed file is never taken for a temporary).
  std::string DownloadSuffix = kDownloadSuffix;
  std::string UnpackSuffix = kUnpackSuffix;
  // The copy the list names beside the bzip2 one that the client fetches first (only for an
  // entry that gives its unpacked size), with its addresses and download suffix as above.
  std::optional<TListedCopy> Preferred;
  std::vector<std::string> PreferredAddresses;
  std::string PreferredSuffix;
  bool PreferredResumable = true;

  TFetchPlan Plan;
  TFileNames Names;
  TGaugeTape DownloadTape, DecodeTape;
  THeld Held;
  std::atomic<bool> Cancelled{false};  // discarded by the worker
  TFetched Fetched;
  TDecoded Decoded;
};

}  // namespace korvath

namespace korvath {

// The job of a list line, already checked by the checking pass. A refused or unreadable entry
// gets a job without a path: nothing of it is fetched, and the worker raises its error itself.
std::unique_ptr<TFileJob> MakeFileJob(const std::string& line, const std::string& server,
                                      const std::vector<std::string>& mirrors,
                                      const std::set<std::string>& listedPaths, bool createBackup,
                                      const TPatchPlan* patch);

}  // namespace korvath
