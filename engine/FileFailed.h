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

// The copy an address served is not the listed file (damaged, too long, another content):
// another address may serve it right.
class EBadCopy : public EFileFailed {
  using EFileFailed::EFileFailed;
};

// Raises EFileFailed when a folder below WorkDir on the way to Path is a link made by another
// account. The player's own links (a data folder moved to another drive) are followed; nothing
// is written, replaced or deleted through one that someone else who can write the game folder
// planted, wherever it leads, while the program runs with the player's rights.
inline void RefuseLinksOnTheWay(const std::string& workDir, const std::string& path) {
  if (const std::string link = platform::ForeignLinkOnTheWay(workDir, path); !link.empty())
    throw EFileFailed("refused path: '" + link + "' is a link made by another account");
}

// Creates the folders between WorkDir and Path that are missing, never through another
// account's link; raises EFileFailed when it cannot.
inline void ForceFolderOf(const std::string& workDir, const std::string& path) {
  RefuseLinksOnTheWay(workDir, path);
  if (!platform::ForceFolderOf(path))
    throw EFileFailed("its folder cannot be created (" +
                      platform::SysErrorMessage(platform::LastError()) + ")");
}

}  // namespace korvath
