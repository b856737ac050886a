// A file mapped read-only into memory for hashing in place, one view (window) at a time, so that
// files larger than the address space allows in one view are still read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvath::platform {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Close(); }

  // Opens an existing file for reading (others may go on reading and writing it) with the
  // sequential-scan hint, and makes its read-only mapping. False when the file cannot be opened
  // or mapped; an empty file cannot be mapped. Why it failed does not matter to the one caller:
  // a file that cannot be read hashes as empty input.
  static bool Open(const std::string& path, MappedFile& result);

  // The file's length when it was opened.
  uint64_t Size() const { return FSize; }

  // Shows the bytes [offset, offset + length) of the file at Data(), after dropping the previous
  // view. Offset is a multiple of Granularity(); the length is cut at the end of the file.
  // False when the view cannot be made (or the file has shrunk below offset + length); the
  // previous view is gone either way.
  bool MapView(uint64_t offset, size_t length);
  const unsigned char* Data() const { return FView; }
  size_t ViewSize() const { return FViewSize; }

  // Copies Length bytes from Offset of the file into Buffer, without a view: cheaper than a
  // mapping for a small file. False when they cannot all be read (the file has shrunk).
  bool ReadAt(uint64_t offset, void* buffer, size_t length) const;

  // The alignment the system requires of a view's offset.
  static size_t Granularity();

  // Drops the view, then the mapping, then the file, in that order.
  void Close();

 private:
  void Unmap();

  static constexpr intptr_t kInvalid = -1;
  intptr_t FFile = kInvalid;
  intptr_t FMapping = 0;  // the mapping object; Windows only
  const unsigned char* FView = nullptr;
  size_t FViewSize = 0;
  uint64_t FSize = 0;
};

}  // namespace korvath::platform
