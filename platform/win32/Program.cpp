// Windows: the running program's executable from its module handle.
#include "platform/Program.h"

#include <windows.h>

#include <vector>

namespace korvath::platform {

std::string ProgramFilePath() {
  std::vector<char> buffer(MAX_PATH);
  while (buffer.size() <= 32768) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // cut short: ask again with more room
  }
  return std::string();
}

}  // namespace korvath::platform
