// The worker's side of the replacement pass: each collected file in list order, shown as a
// file-by-file replacement shows it while its transfers ran ahead, checked against the list, and
// put in place or sent round again from its next address.
#include <new>

#include "engine/BatchedCalls.h"
#include "engine/FileFailed.h"
#include "engine/FileSources.h"
#include "engine/GetFilesThr.h"
#include "engine/TransferRoad.h"
#include "list/LocalPath.h"
#include "platform/File.h"
#include "runtime/SysUtils.h"
#include "transfer/HashingStream.h"

namespace korvath {
namespace {

// What the checks make of a decoding's failure: the copy is not the file (another address may
// serve it right), or the file cannot be written here (no address can help).
[[noreturn]] void RaiseDecodeFailure(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EUnpackWrite& e) {
    throw EFileFailed("cannot be unpacked (" + e.Message() + ")");
  } catch (const EOutOfSpace& e) {
    throw EFileFailed("cannot be unpacked (" + e.Message() + ")");
  } catch (const EFileFailed&) {
    throw;
  } catch (const EUnpackTooLong& e) {
    throw EBadCopy("unpacked size exceeded (" + e.Message() + ")");
  } catch (const Exception& e) {
    throw EBadCopy("damaged archive (" + e.Message() + ")");
  } catch (const std::bad_alloc&) {
    throw EBadCopy("out of memory while unpacking");
  } catch (const std::exception& e) {
    throw EBadCopy(std::string("cannot be unpacked (") + e.what() + ")");
  }
}

// A fetch's failure as the file's: the run's own exceptions as they are, and any other (out of
// memory, say) as a copy that could not be taken from that address.
[[noreturn]] void RaiseFetchFailure(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw EBadCopy("out of memory while downloading");
  } catch (const std::exception& e) {
    throw EBadCopy(std::string("cannot be downloaded (") + e.what() + ")");
  }
}

// The decoded content is the listed file: its MD5, and its SHA-256 where the list gives one
// (MD5 digests can be made to collide; the SHA-256 beside it cannot).
void CheckDigests(const TFileEntry& entry, const TDecoded& decoded) {
  const std::string actual = DigestToHex(decoded.Md5);
  if (!SameText(actual, entry.Digest))
    throw EBadCopy("digest mismatch (listed " + entry.Digest + ", received " + actual + ")");
  if (const TIntegrity integrity = EntryIntegrity(entry);
      integrity.Known && decoded.Sha256 != integrity.Sha256)
    throw EBadCopy("SHA-256 mismatch (listed " + integrity.Sha256 + ", received " + decoded.Sha256 +
                   ")");
}

// A copy that is not the listed file is fetched again: from the same address, whole, when bytes
// were joined on without the server's word (they may be the fault); from the next address
// otherwise. False when the server's copy was the last chance.
bool NextAddress(TTransferRoad& road, size_t index, const TFetched& turn, const EBadCopy& why,
                 std::vector<TFailedAddress>& failed) {
  const TFileJob& job = road.Job(index);
  const bool again = turn.UncheckedJoin;
  if (!again && turn.Source + 1 >= job.Addresses.size()) return false;
  failed.push_back({job.Addresses[turn.Source], why.Message(), true});
  road.Refetch(index, TFetchPlan{again ? turn.Source : turn.Source + 1, false, false, false});
  return true;
}

}  // namespace

// A preferred copy (zstd) that is not the listed file gives way to the bzip2 copy, fetched from
// every address in the same turn; false for the bzip2 copy itself.
bool GFilesThread::PreferredGaveWay(TTransferRoad& road, size_t index, const TFetched& turn,
                                    const EBadCopy& why) {
  if (turn.Format == TCopyFormat::Bzip2) return false;
  const TFileJob& job = road.Job(index);
  ReportCopyGaveWay(job.Path, job.Preferred,
                    job.PreferredAddresses[turn.Source] + ": " + why.Message());
  road.Refetch(index, TFetchPlan{0, false, true, false});
  return true;
}

bool GFilesThread::ReplaceFile(TTransferRoad& road, size_t index, bool& stopPass) {
  const TFileEntry entry = SplitFileEntry(FUpdateList[index]);
  if (const std::string reason = RefusedPathReason(entry.Path); !reason.empty()) {
    ReportFileFailed(entry.Path, "refused path: " + reason);
    return false;
  }
  const auto showDownload = [&] {
    FStatus = kDownloading + entry.Path;
    ShowStatus();
    FGaugeIndex = kFileGauge;
    FGaugeValue = EntrySize(entry.Size);
    SetGaugeMax();
  };
  const TGaugeTape::TPlay play = [this](std::span<const TGaugeCall> taken) {
    ReplayGaugeCalls(taken);
  };
  showDownload();
  // Every address given up so far, over every turn of the file.
  std::vector<TFailedAddress> failed;
  const TFetched* fetched = nullptr;
  bool backedUp = false;
  try {
    // A malformed integrity field fails its file here; nothing of it was fetched.
    EntryIntegrity(entry);
    for (;;) {
      fetched = nullptr;
      const TFetched& turn = road.PlayDownload(index, play);
      fetched = &turn;
      failed.insert(failed.end(), turn.Failed.begin(), turn.Failed.end());
      if (turn.Error) {
        try {
          RaiseFetchFailure(turn.Error);
        } catch (const EBadCopy& e) {
          if (!PreferredGaveWay(road, index, turn, e) && !NextAddress(road, index, turn, e, failed))
            throw;
          showDownload();
          continue;
        }
      }
      if (turn.Kind == TFetched::TKind::NoAnswer) {
        ReportNotOpened(entry.Path, failed, stopPass);
        return false;
      }
      // A patch, or a preferred copy, that could not be fetched gave way to the bzip2 copy,
      // fetched in its place.
      ReportPatchGaveWay(entry.Path, turn.PatchFailure);
      ReportCopyGaveWay(entry.Path, road.Job(index).Preferred, turn.CopyFailure);
      if (FCreateBackup == 1 && !backedUp) BackUp(entry.Path, road.Job(index).Names.Local);
      backedUp = true;
      FStatus = (turn.Kind == TFetched::TKind::Patch ? kPatching : kExtracting) + entry.Path;
      ShowStatus();
      const TDecoded& decoded = road.PlayDecode(index, play);
      if (!decoded.PatchFailure.empty()) {
        // The patch gave way once it came: the whole copy is fetched, from every address.
        ReportPatchGaveWay(entry.Path, decoded.PatchFailure);
        road.Refetch(index, TFetchPlan{0, false, true, false});
        showDownload();
        continue;
      }
      try {
        if (decoded.Error) RaiseDecodeFailure(decoded.Error);
        CheckDigests(entry, decoded);
      } catch (const EBadCopy& e) {
        if (!PreferredGaveWay(road, index, turn, e) && !NextAddress(road, index, turn, e, failed))
          throw;
        showDownload();
        continue;
      }
      // The player's file is replaced only by the listed content, and in one step.
      if (const int error = road.Keep(index))
        throw EFileFailed("cannot be replaced (" + platform::SysErrorMessage(error) + ")");
      return true;
    }
  } catch (const Exception& e) {
    const std::string reason = e.Message();
    road.Discard(index);
    ReportFileFailed(entry.Path, fetched != nullptr
                                     ? NamingAddresses(reason, failed,
                                                       road.Job(index).Addresses[fetched->Source])
                                     : reason);
    return false;
  }
}

void GFilesThread::ReportNotOpened(const std::string& path, std::vector<TFailedAddress> failed,
                                   bool& stopPass) {
  // No server answered anywhere: the pass ends here, as it does without mirrors.
  if (NoneAnswered(failed)) {
    std::string addresses;
    for (const TFailedAddress& address : failed)
      addresses += (addresses.empty() ? "" : ", ") + address.Address;
    ReportFileFailed(path, "could not be opened: " + addresses);
    stopPass = true;
    return;
  }
  const std::string last = failed.back().Address;
  failed.pop_back();
  ReportFileFailed(path, NamingAddresses("could not be opened", failed, last));
}

void GFilesThread::ReplayGaugeCalls(std::span<const TGaugeCall> taken) {
  // The transfers ran ahead; the window sees their gauge calls now, in the order they were made,
  // each made on the window's thread as SetGaugeMax and SetFileProgress make it. Calls go over
  // in batches: a download makes a call per KiB, and a hand-off per call would cost more than
  // the gauge is worth.
  TBatchedCalls calls([this](const std::function<void()>& batch) { Synchronize(batch); });
  for (const TGaugeCall& call : taken) calls.Add([this, call] { MakeGaugeCall(call); });
  calls.Flush();
}

}  // namespace korvath
