// POSIX writable mapping: mmap(2) of the whole file, shared, so that the writes reach the file.
#include "platform/MappedOutput.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

#include "platform/ErrorCodes.h"

namespace korvath::platform {

int MappedOutput::Map(File file, uint64_t size, MappedOutput& result) {
  result.Close();
  if (static_cast<size_t>(size) != size) return kErrorNotEnoughMemory;
  if (const int error = file.Allocate(static_cast<int64_t>(size))) return error;
  result.FFile = std::move(file);
  if (size == 0) return 0;
  void* view = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED,
                      static_cast<int>(result.FFile.FHandle.Get()), 0);
  if (view == MAP_FAILED) {
    result.Close();
    return kErrorNotEnoughMemory;
  }
  result.FView.Reset({static_cast<char*>(view), static_cast<size_t>(size)});
  return 0;
}

void MappedOutput::MappingTraits::Close(intptr_t /*mapping*/) noexcept {}

void MappedOutput::ViewTraits::Close(View view) noexcept {
  ::munmap(view.Data, view.Size);
}

void MappedOutput::Close() {
  FView.Reset();
  FMapping.Reset();
  FFile.Close();
}

}  // namespace korvath::platform
