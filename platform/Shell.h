// Starting programs and deleting folder trees, the two things the program asks of the shell.
#pragma once

#include <string>

namespace korvath::platform {

// Deletes Path with everything in it, silently and without confirmation. True on success.
[[nodiscard]] bool DeleteTree(const std::string& path);

// Starts a program with its window hidden; the command line is the program's full path,
// passed through whole (and quoted, on Windows). The start's outcome is not reported.
void StartHidden(const std::string& programPath);

// The characters after which a program's folder ends in a command line ("\" and the drive's
// ":" on Windows, "/" elsewhere).
const char* FolderEndChars();

}  // namespace korvath::platform
