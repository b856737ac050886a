// Turning a path of the update list into a local file name inside the game folder, and refusing
// paths that would name anything outside it (or a device, or a name Windows cannot hold).
#pragma once

#include <string>

namespace korvath {

// Empty when ListPath names a file inside the game folder; otherwise a short English reason for
// the console ("absolute path", "'..' segment", ...). The reason never echoes control characters.
std::string RefusedPathReason(const std::string& listPath);

// WorkDir (ending in the separator) + ListPath with both "\" and "/" turned into the local
// separator. Where names ignore letter case only by convention (POSIX), each folder and file
// name is matched against what already exists, as the game sees it under Windows. Only call it
// for paths that RefusedPathReason accepts.
std::string LocalPathOf(const std::string& workDir, const std::string& listPath);

}  // namespace korvath
