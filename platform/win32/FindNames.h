// The names a FindFirstFileExA pattern finds, for the folder listing and the walk below a folder.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace korvath::platform {

struct FindTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE find) noexcept { FindClose(find); }
};
using UniqueFind = UniqueHandle<FindTraits>;

// Calls Found with what Pattern ("folder\*") finds, "." and ".." left out. False when the
// pattern finds nothing or its folder cannot be read.
template <class Found>
bool ForEachFound(const std::string& pattern, Found found) {
  WIN32_FIND_DATAA data;
  const UniqueFind find(FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return false;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") found(name, data.dwFileAttributes);
  } while (FindNextFileA(find.Get(), &data));
  return true;
}

}  // namespace korvath::platform
