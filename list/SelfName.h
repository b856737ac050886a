// The check of the updater's own file name as the update list's "self" entry gives it: the name
// goes unquoted into the self-update script and into a process name, so only plain names pass.
#pragma once

#include <string>

namespace korvath {

// True for a bare file name of letters, digits, ".", "_" and "-" that does not start with "."
// or "-", ends in ".exe" (any letter case) and is no device name Windows reserves ("con.exe").
bool IsSafeSelfName(const std::string& name);

}  // namespace korvath
