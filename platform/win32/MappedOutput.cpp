// Windows writable mapping: CreateFileMappingA and MapViewOfFile of the whole file.
#include "platform/MappedOutput.h"

#include <windows.h>

#include <cstdint>
#include <utility>

namespace korvath::platform {

int MappedOutput::Map(File file, uint64_t size, MappedOutput& result) {
  result.Close();
  if (static_cast<size_t>(size) != size) return ERROR_NOT_ENOUGH_MEMORY;
  if (const int error = file.Allocate(static_cast<int64_t>(size))) return error;
  result.FFile = std::move(file);
  if (size == 0) return 0;
  HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(result.FFile.FHandle.Get()), nullptr,
                                      PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                      static_cast<DWORD>(size), nullptr);
  if (mapping == nullptr) {
    const int error = static_cast<int>(GetLastError());
    result.Close();
    return error;
  }
  result.FMapping.Reset(reinterpret_cast<intptr_t>(mapping));
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, static_cast<size_t>(size));
  if (view == nullptr) {
    const int error = static_cast<int>(GetLastError());
    result.Close();
    return error;
  }
  result.FView.Reset({static_cast<char*>(view), static_cast<size_t>(size)});
  return 0;
}

void MappedOutput::MappingTraits::Close(intptr_t mapping) noexcept {
  CloseHandle(reinterpret_cast<HANDLE>(mapping));
}

void MappedOutput::ViewTraits::Close(View view) noexcept {
  UnmapViewOfFile(view.Data);
}

void MappedOutput::Close() {
  FView.Reset();
  FMapping.Reset();
  FFile.Close();
}

}  // namespace korvath::platform
