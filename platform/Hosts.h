// Where the system keeps its host-name mappings, and putting a new version of that file in
// place in one step.
#pragma once

#include <string>

namespace korvath::platform {

// The hosts file to edit. The environment variable KORVATH_HOSTS_FILE, when set, names it
// (tests, admins); otherwise it is the system's own: "hosts.msn" or "hosts" in the
// "system32\drivers\etc" folder below the Windows folder, or "/etc/hosts". Empty when the
// system cannot tell where its Windows folder is.
std::string HostsFilePath();

// Puts Source, a finished file in the target's folder, in place of the hosts file Target in
// one step, keeping what the system protects the target with (Windows security settings,
// POSIX mode and owner). A target marked read-only is refused. 0 or an error code; on failure
// Target is as it was and Source is left to the caller.
[[nodiscard]] int ReplaceHostsFile(const std::string& source, const std::string& target);

}  // namespace korvath::platform
