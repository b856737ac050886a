// Windows file mapping: CreateFileA, CreateFileMappingA and MapViewOfFile.
#include "platform/MappedFile.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace korvath::platform {
namespace {

HANDLE H(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

bool MappedFile::Open(const std::string& path, MappedFile& result) {
  result.Close();
  // Read and write sharing: a file another program holds open (and lets others read) can
  // still be checked.
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  result.FFile.Reset(reinterpret_cast<intptr_t>(file));
  // Size 0 maps the whole file; an empty file cannot be mapped and fails here.
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    result.Close();
    return false;
  }
  result.FMapping.Reset(reinterpret_cast<intptr_t>(mapping));
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    result.Close();
    return false;
  }
  result.FSize = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool MappedFile::ReadAt(uint64_t offset, void* buffer, size_t length) const {
  if (!FFile.IsOpen()) return false;
  auto* out = static_cast<char*>(buffer);
  while (length > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
    DWORD done = 0;
    if (!ReadFile(H(FFile.Get()), out, ask, &done, &at) || done == 0) return false;
    out += done;
    offset += done;
    length -= done;
  }
  return true;
}

bool MappedFile::MapView(uint64_t offset, size_t length) {
  FView.Reset();
  if (!FMapping.IsOpen() || offset >= FSize || offset % Granularity() != 0) return false;
  length = static_cast<size_t>(std::min<uint64_t>(length, FSize - offset));
  void* view = MapViewOfFile(H(FMapping.Get()), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                             static_cast<DWORD>(offset), length);
  if (view == nullptr) return false;
  FView.Reset({static_cast<const unsigned char*>(view), length, -1});
  return true;
}

bool MappedFile::Intact() const {
  // Windows refuses to cut short a file while a mapping of it exists.
  return FFile.IsOpen();
}

size_t MappedFile::Granularity() {
  static const size_t granularity = [] {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return static_cast<size_t>(info.dwAllocationGranularity);
  }();
  return granularity;
}

void MappedFile::MappingTraits::Close(intptr_t mapping) noexcept {
  CloseHandle(H(mapping));
}

void MappedFile::ViewTraits::Close(View view) noexcept {
  UnmapViewOfFile(view.Data);
}

void MappedFile::Close() {
  FView.Reset();
  FMapping.Reset();
  FFile.Reset();
  FSize = 0;
}

}  // namespace korvath::platform
