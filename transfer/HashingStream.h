// A write-only stream that passes what is written on to a file and takes its MD5 digest (and,
// when asked, its SHA-256) on the way, so that what was written need not be read again to be
// checked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "transfer/Sha256Behind.h"
#include "transfer/md5.h"

namespace korvath {

// The file refused a write: the system's reason (a full disk above all), not a damaged source.
class EUnpackWrite : public EInOutError {
  using EInOutError::EInOutError;
};

class THashingStream final : public TStream {
 public:
  explicit THashingStream(TFileStream& target, bool withSha256 = false) : FTarget(target) {
    DigestInit(FContext);
    if (withSha256) FSha256.emplace();
  }

  int32_t Read(void* buffer, int32_t count) override;
  // A write the file refuses raises EUnpackWrite with the system's code rather than a bare
  // "Stream write error".
  int32_t Write(const void* buffer, int32_t count) override;
  // Only appending is possible; a position query goes to the target.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;

  // The digest of everything written so far.
  TDigestBytes Final();
  // The SHA-256 of everything written so far; empty when it was not asked for.
  std::string Sha256Hex();

 private:
  TFileStream& FTarget;
  TDigestContext FContext;
  std::optional<TSha256Behind> FSha256;
};

}  // namespace korvath
