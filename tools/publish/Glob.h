// Shell-style patterns for choosing the critical files of a release.
#pragma once

#include <string_view>

namespace korvath::publish {

// True when Pattern matches the whole of Path (both with "/" between folders). "*" matches any
// run of characters within one folder or file name, "**" any run including "/", "?" one
// character other than "/"; every other character stands for itself.
bool GlobMatch(std::string_view pattern, std::string_view path);

}  // namespace korvath::publish
