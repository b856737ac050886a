// Byte streams of the run-time: the abstract TStream, files, and memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/TempFile.h"

namespace korvath {

class TObject {
 public:
  virtual ~TObject() = default;
};

// An event handler with the object that raised it, as window and stream events are delivered.
using TNotifyEvent = std::function<void(TObject* sender)>;

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };
// The 16-bit origins of the older seek form.
inline constexpr uint16_t soFromBeginning = 0;
inline constexpr uint16_t soFromCurrent = 1;
inline constexpr uint16_t soFromEnd = 2;

class TStream : public TObject {
 public:
  // Reads up to count bytes; returns how many arrived (0 at the end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // The older form; by default the same move as the 64-bit one.
  virtual int32_t Seek(int32_t offset, uint16_t origin);

  // Exact transfers: "Stream read error" / "Stream write error" when fewer bytes move.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);

  int64_t Position() { return Seek(int64_t{0}, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
};

// fmXxx modes of TFileStream: an access mode combined with a sharing mode, or fmCreate.
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
inline constexpr uint16_t fmCreate = 0xFFFF;

// A file opened or created as a stream. Raises "Cannot open file "%s". %s" (EFOpenError) or
// "Cannot create file "%s". %s" (EFCreateError) with the system's text for the failure.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, uint16_t mode);
  // Creates Temporary and writes it, raising as fmCreate does when it cannot be created. The
  // stream must be gone before the temporary is kept.
  explicit TFileStream(platform::TempFile& temporary);
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  // The system's error of the last Write that wrote less than asked (0: none), as an I/O error
  // code: WriteBuffer only says "Stream write error", a caller may want to say why.
  int LastWriteError() const { return FLastWriteError; }

 private:
  std::string FFileName;
  platform::File FFile;
  int FLastWriteError = 0;
};

// Bytes held in memory; used for lists read whole and by tests.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : FData(bytes.begin(), bytes.end()) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  const std::vector<char>& Data() const { return FData; }

 private:
  std::vector<char> FData;
  int64_t FPosition = 0;
};

}  // namespace korvath
