// Keeps two update runs out of one game folder at the same time. The operating system drops the
// guard when its holder ends, however it ends, and nothing is written into the folder.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace korvath::platform {

class RunGuard {
 public:
  RunGuard() = default;
  RunGuard(RunGuard&& other) noexcept : FHandle(std::exchange(other.FHandle, kNone)) {}
  RunGuard& operator=(RunGuard&& other) noexcept {
    if (this != &other) {
      Release();
      FHandle = std::exchange(other.FHandle, kNone);
    }
    return *this;
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;
  ~RunGuard() { Release(); }

  // Takes the guard of Folder into Out. False when another process, or another guard of this
  // process, holds it. Raises std::system_error when the folder cannot carry a guard at all
  // (missing, not a folder, no access).
  static bool TryAcquire(const std::string& folder, RunGuard& out);

  bool IsHeld() const { return FHandle != kNone; }
  void Release();

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t FHandle = kNone;
};

}  // namespace korvath::platform
