// A new file's whole content mapped for writing: a producer that writes anywhere in its output
// (a patch that copies from any place of the old file) writes the file in place, and what it
// writes lives in the system's file cache, never in the program's own memory.
#pragma once

#include <cstdint>
#include <span>

#include "platform/File.h"
#include "platform/Handle.h"

namespace korvath::platform {

class MappedOutput {
 public:
  MappedOutput() = default;
  MappedOutput(MappedOutput&&) noexcept = default;
  MappedOutput& operator=(MappedOutput&&) noexcept = default;
  ~MappedOutput() { Close(); }

  // Takes over File (open for reading and writing), makes it Size bytes long with its disk space
  // taken, and maps all of it. Returns 0 or the error code (8, not enough memory, when the
  // address space has no room for the view). An empty file is not mapped: Data() is empty.
  [[nodiscard]] static int Map(File file, uint64_t size, MappedOutput& result);

  std::span<char> Data() const { return {FView.Get().Data, FView.Get().Size}; }

  // Drops the view, then the mapping, then the file; what was written stays in the file.
  void Close();

 private:
  // Each system's MappedOutput.cpp says how these are closed.
  struct MappingTraits {  // Windows only: POSIX maps straight from the file
    using Type = intptr_t;
    static constexpr intptr_t Empty() noexcept { return 0; }
    static void Close(intptr_t mapping) noexcept;
  };
  struct View {
    char* Data = nullptr;
    size_t Size = 0;
    bool operator==(const View&) const = default;
  };
  struct ViewTraits {
    using Type = View;
    static constexpr View Empty() noexcept { return {}; }
    static void Close(View view) noexcept;
  };

  // Declared in the order they are made, so that they go in the reverse one.
  File FFile;
  UniqueHandle<MappingTraits> FMapping;
  UniqueHandle<ViewTraits> FView;
};

}  // namespace korvath::platform
