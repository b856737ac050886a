#include "engine/DecodeStage.h"

#include <memory>
#include <new>

#include "platform/File.h"
#include "transfer/HashingStream.h"

namespace korvath {
namespace {

// Why a rebuilding failed, when the whole copy may take its place: anything but a stop or a
// discard.
std::string PatchGaveWay(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const ECancelled&) {
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (...) {
  }
  return {};
}

void Rebuild(TFileJob& job, const TDecodeContext& context, TDecoded& decoded,
             platform::TempFile& temporary) {
  TSpaceGuard space(context.VolumeQuery, job.Names.Unpacked);
  space.HoldWith(context.Hold);
  const TRebuilt rebuilt = RebuildFile(
      job.Names.Local, job.Names.Patch, temporary, job.Integrity.Size,
      [&](const TGaugeCall& call) { job.DecodeTape.Record(call); }, space);
  // A patch made for other bytes than the player's may still rebuild something: only the
  // listed digests make it the file.
  if (DigestToHex(rebuilt.Md5) != job.Md5 || rebuilt.Sha256 != job.Integrity.Sha256)
    throw EPatchUnusable("the rebuilt file's digest is not the listed one");
  decoded.Md5 = rebuilt.Md5;
  decoded.Sha256 = rebuilt.Sha256;
}

void UnpackCopy(TFileJob& job, const TDecodeContext& context, TDecoded& decoded,
                platform::TempFile& temporary) {
  TDownloadToUnpack source(job.Names.Download);
  TFileStream target(temporary);
  THashingStream hashed(target, job.Integrity.Known);
  TSpaceGuard space(context.VolumeQuery, job.Names.Unpacked);
  space.HoldWith(context.Hold);
  Unpack(
      source.Stream(), hashed, [&](const TGaugeCall& call) { job.DecodeTape.Record(call); },
      job.Integrity.Known ? job.Integrity.Size : kNoLimit, &space, context.Decoders,
      job.Fetched.Format);
  decoded.Md5 = hashed.Final();
  decoded.Sha256 = hashed.Sha256Hex();
}

}  // namespace

TDecoded DecodeFile(TFileJob& job, const TDecodeContext& context) {
  const bool rebuild = job.Fetched.Kind == TFetched::TKind::Patch;
  TDecoded decoded;
  try {
    auto temporary = std::make_unique<platform::TempFile>(job.Names.Unpacked);
    if (rebuild)
      Rebuild(job, context, decoded, *temporary);
    else
      UnpackCopy(job, context, decoded, *temporary);
    decoded.Temporary = std::move(temporary);
  } catch (...) {
    // Out of memory, too, is this file's failure alone.
    decoded.Error = std::current_exception();
  }
  if (rebuild) {
    platform::DeleteFile(job.Names.Patch);  // read once, whatever came of it
    if (decoded.Error) {
      decoded.PatchFailure = PatchGaveWay(decoded.Error);
      if (!decoded.PatchFailure.empty()) decoded.Error = nullptr;
    } else if (!job.Names.Record.empty()) {
      // A partial whole copy kept from an earlier run is of no more use.
      platform::DeleteFile(job.Names.Download);
      platform::DeleteFile(job.Names.Record);
    }
  }
  return decoded;
}

}  // namespace korvath
