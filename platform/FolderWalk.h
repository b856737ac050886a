// Listing the names below a folder, for the sweeps that look for names of the program's own.
#pragma once

#include <functional>
#include <string>

namespace korvath::platform {

// Calls Visit with the path below Folder (which ends in the separator; the names on the way are
// joined by the separator) of every name in Folder and in the folders below it that is not a
// folder. Links are never followed: a link or junction to a folder is neither looked into nor
// visited, a link to a file is visited as a name. Enter(path of a folder below Folder) says
// whether to look into that folder. Folders that cannot be read are passed over.
void ForEachNameBelow(const std::string& folder,
                      const std::function<bool(const std::string& relative)>& enter,
                      const std::function<void(const std::string& relative)>& visit);

}  // namespace korvath::platform
