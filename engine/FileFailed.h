// How the replacement pass gives up on one file: the reason goes to the log and the pass goes
// on with the next file.
#pragma once

#include <string>

#include "platform/File.h"
#include "runtime/SysUtils.h"

namespace korvath {

// Why one file could not be replaced.
class EFileFailed : public Exception {
  using Exception::Exception;
};

// Creates the folders above Path that are missing; raises EFileFailed when it cannot.
inline void ForceFolderOf(const std::string& path) {
  if (!platform::ForceFolderOf(path))
    throw EFileFailed("its folder cannot be created (" +
                      platform::SysErrorMessage(platform::LastError()) + ")");
}

}  // namespace korvath
