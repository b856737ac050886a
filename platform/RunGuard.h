// Keeps two update runs out of one game folder at the same time. The operating system drops the
// guard when its holder ends, however it ends, and nothing is written into the folder.
#pragma once

#include <string>

#include "platform/File.h"
#include "platform/Handle.h"

namespace korvath::platform {

class RunGuard {
 public:
  // Takes the guard of Folder into Out. False when another process, or another guard of this
  // process, holds it. Raises std::system_error when the folder cannot carry a guard at all
  // (missing, not a folder, no access).
  [[nodiscard]] static bool TryAcquire(const std::string& folder, RunGuard& out);

  bool IsHeld() const { return FHandle.IsOpen(); }
  // Closing the guard's only handle drops the guard.
  void Release() { FHandle.Reset(); }

 private:
  // What holds the guard: the folder's descriptor on POSIX, a named mutex on Windows; both
  // are closed as a file's handle is.
  UniqueHandle<FileHandleTraits> FHandle;
};

}  // namespace korvath::platform
