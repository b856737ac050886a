// The self name is the one list text that reaches a command interpreter, so the check is a
// short list of what may pass rather than a list of what may not.
#include "list/SelfName.h"

#include "list/LocalPath.h"
#include "platform/Ascii.h"

namespace korvath {
namespace {

bool IsNameCharacter(char c) {
  return IsAlnum(c) || c == '.' || c == '_' || c == '-';
}

bool EndsInExe(std::string_view name) {
  return name.size() >= 4 && SameText(name.substr(name.size() - 4), ".exe");
}

}  // namespace

bool IsSafeSelfName(const std::string& name) {
  if (name.empty() || name.front() == '.' || name.front() == '-') return false;
  for (char c : name)
    if (!IsNameCharacter(c)) return false;
  // The path check adds the device names Windows opens instead of a file ("con.exe").
  return EndsInExe(name) && RefusedPathReason(name).empty();
}

}  // namespace korvath
