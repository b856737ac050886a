#include "transfer/HashingStream.h"

namespace korvath {

int32_t THashingStream::Read(void* /*buffer*/, int32_t /*count*/) {
  throw EReadError("Stream read error");
}

int32_t THashingStream::Write(const void* buffer, int32_t count) {
  const int32_t done = FTarget.Write(buffer, count);
  if (done < count && FTarget.LastWriteError() != 0) throw EUnpackWrite(FTarget.LastWriteError());
  if (done > 0) DigestUpdate(FContext, buffer, static_cast<uint32_t>(done));
  if (done > 0 && FSha256) FSha256->Update(buffer, static_cast<size_t>(done));
  return done;
}

int64_t THashingStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::soCurrent)
    throw EStreamError("Invalid stream operation");
  return FTarget.Seek(offset, origin);
}

TDigestBytes THashingStream::Final() {
  TDigestBytes digest;
  DigestFinal(FContext, digest);
  return digest;
}

std::string THashingStream::Sha256Hex() {
  return FSha256 ? FSha256->FinalHex() : std::string();
}

}  // namespace korvath
