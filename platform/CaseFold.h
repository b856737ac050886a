// Finding an existing folder entry by a name given in any letter case, as Windows matches names.
#pragma once

#include <string>

namespace korvath::platform {

// The name of the entry of Folder that equals Name ignoring ASCII letter case: Name itself when
// it exists as written, else the first such entry in byte order, else Name unchanged (also when
// Folder is missing). Where the file system already ignores case (Windows) it returns Name.
std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name);

// True when Path needs no matching at any level: it exists exactly as written (or the file
// system ignores case), so that resolving it name by name would give Path itself.
bool ExistsAsWritten(const std::string& path);

}  // namespace korvath::platform
