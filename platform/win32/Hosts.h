// Where below a Windows folder the system keeps its host-name mappings.
#pragma once

#include <string>

namespace korvath::platform {

// The hosts file below a Windows folder: "hosts.msn" when that file exists there, else "hosts".
std::string HostsFileBelow(const std::string& windowsFolder);

}  // namespace korvath::platform
