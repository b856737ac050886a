#include "runtime/Classes.h"

#include <algorithm>
#include <cstring>

#include "runtime/SysUtils.h"

namespace korvath {

int32_t TStream::Seek(int32_t offset, uint16_t origin) {
  const TSeekOrigin o = origin == soFromBeginning ? TSeekOrigin::soBeginning
                        : origin == soFromCurrent ? TSeekOrigin::soCurrent
                                                  : TSeekOrigin::soEnd;
  return static_cast<int32_t>(Seek(int64_t{offset}, o));
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::Size() {
  const int64_t position = Seek(int64_t{0}, TSeekOrigin::soCurrent);
  const int64_t size = Seek(int64_t{0}, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : FFileName(fileName) {
  using namespace platform;
  if (mode == fmCreate) {
    if (const int e =
            File::Open(fileName, Access::ReadWrite, Share::None, Disposition::CreateAlways, FFile))
      throw EFCreateError(
          Format("Cannot create file \"%s\". %s", fileName.c_str(), SysErrorMessage(e).c_str()));
    return;
  }
  const uint16_t accessBits = mode & 0x0003;
  const Access access = accessBits == fmOpenWrite       ? Access::Write
                        : accessBits == fmOpenReadWrite ? Access::ReadWrite
                                                        : Access::Read;
  const uint16_t shareBits = mode & 0x00F0;
  const Share share = shareBits == fmShareExclusive   ? Share::None
                      : shareBits == fmShareDenyWrite ? Share::Read
                                                      : Share::ReadWrite;
  if (const int e = File::Open(fileName, access, share, Disposition::OpenExisting, FFile))
    throw EFOpenError(
        Format("Cannot open file \"%s\". %s", fileName.c_str(), SysErrorMessage(e).c_str()));
}

TFileStream::TFileStream(platform::TempFile& temporary) : FFileName(temporary.Path()) {
  if (const int e = temporary.Create())
    throw EFCreateError(Format("Cannot create file \"%s\". %s", FFileName.c_str(),
                               platform::SysErrorMessage(e).c_str()));
  FFile = temporary.TakeOutput();
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  size_t done = 0;
  // A read that fails ends the data there, as the file's end would: every reader checks the
  // size or digest of what it read.
  static_cast<void>(FFile.Read(buffer, static_cast<size_t>(count), done));
  return static_cast<int32_t>(done);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  size_t done = 0;
  FLastWriteError = FFile.Write(buffer, static_cast<size_t>(count), done);
  return static_cast<int32_t>(done);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  using platform::SeekFrom;
  const SeekFrom from = origin == TSeekOrigin::soBeginning ? SeekFrom::Begin
                        : origin == TSeekOrigin::soCurrent ? SeekFrom::Current
                                                           : SeekFrom::End;
  int64_t position = -1;
  return FFile.Seek(offset, from, position) == 0 ? position : -1;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  const int64_t size = static_cast<int64_t>(FData.size());
  if (count <= 0 || FPosition >= size) return 0;
  const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, size - FPosition));
  std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const size_t end = static_cast<size_t>(FPosition) + static_cast<size_t>(count);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                       : origin == TSeekOrigin::soCurrent ? FPosition
                                                          : static_cast<int64_t>(FData.size());
  FPosition = std::max<int64_t>(0, base + offset);
  return FPosition;
}

}  // namespace korvath
