// A file mapped read-only into memory for hashing in place, one view (window) at a time, so that
// files larger than the address space allows in one view are still read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/File.h"
#include "platform/Handle.h"

namespace korvath::platform {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(MappedFile&&) noexcept = default;
  MappedFile& operator=(MappedFile&&) noexcept = default;
  ~MappedFile() { Close(); }

  // Opens an existing file for reading (others may go on reading and writing it) with the
  // sequential-scan hint, and makes its read-only mapping. False when the file cannot be opened
  // or mapped; an empty file cannot be mapped. Why it failed does not matter to the one caller:
  // a file that cannot be read hashes as empty input.
  [[nodiscard]] static bool Open(const std::string& path, MappedFile& result);

  // The file's length when it was opened; 0 while none is open.
  uint64_t Size() const { return FFile.IsOpen() ? FSize : 0; }

  // Shows the bytes [offset, offset + length) of the file at Data(), after dropping the previous
  // view. Offset is a multiple of Granularity(); the length is cut at the end of the file.
  // False when the view cannot be made (or the file has shrunk below offset + length); the
  // previous view is gone either way.
  [[nodiscard]] bool MapView(uint64_t offset, size_t length);
  const unsigned char* Data() const { return FView.Get().Data; }
  size_t ViewSize() const { return FView.Get().Size; }

  // False when the file is shorter now than when it was opened: what was read from a view may
  // then hold zeros where another program cut the file short (on POSIX that does not end the
  // program), and must not be used.
  bool Intact() const;

  // Copies Length bytes from Offset of the file into Buffer, without a view: cheaper than a
  // mapping for a small file. False when they cannot all be read (the file has shrunk).
  [[nodiscard]] bool ReadAt(uint64_t offset, void* buffer, size_t length) const;

  // The alignment the system requires of a view's offset.
  static size_t Granularity();

  // Drops the view, then the mapping, then the file, in that order.
  void Close();

 private:
  // The kinds of handle a mapping holds; each system's MappedFile.cpp says how one is closed.
  struct MappingTraits {  // the mapping object; Windows only: POSIX maps straight from the file
    using Type = intptr_t;
    static constexpr intptr_t Empty() noexcept { return 0; }
    static void Close(intptr_t mapping) noexcept;
  };
  struct View {
    const unsigned char* Data = nullptr;
    size_t Size = 0;
    int Guard = -1;  // POSIX: its place under the bus-error guard
    bool operator==(const View&) const = default;
  };
  struct ViewTraits {
    using Type = View;
    static constexpr View Empty() noexcept { return {}; }
    static void Close(View view) noexcept;
  };

  // Declared in the order they are made, so that they go in the reverse one.
  UniqueHandle<FileHandleTraits> FFile;
  UniqueHandle<MappingTraits> FMapping;
  UniqueHandle<ViewTraits> FView;
  uint64_t FSize = 0;
};

}  // namespace korvath::platform
