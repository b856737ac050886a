// Kept partial downloads that no run would go on with: a file's partial download and its record
// stay beside it only while the list carries the file and the run checks it.
#pragma once

#include <set>
#include <string>

#include "transfer/Misc.h"

namespace korvath {

// Removes, below WorkDir (ending in the separator), every record (name + ".bz2.resume") and its
// partial download (name + ".bz2") whose name this run does not check: the names of Critical
// (the list's critical entries), and every name in Listed when the normal files are checked as
// well. A name in Listed (ListKey) is never removed, whatever it looks like. The backup folder
// and folders behind links are not looked into.
void RemoveForgottenPartials(const std::string& workDir, const TStringList& critical,
                             bool normalChecked, const std::set<std::string>& listed);

}  // namespace korvath
