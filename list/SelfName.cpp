// The self name is the one list text that reaches a command interpreter, so the check is a
// short list of what may pass rather than a list of what may not.
#include "list/SelfName.h"

#include "list/LocalPath.h"

namespace korvath {
namespace {

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

bool EndsInExe(const std::string& name) {
  static constexpr char kExe[] = ".exe";
  constexpr size_t kLength = sizeof kExe - 1;
  if (name.size() < kLength) return false;
  for (size_t i = 0; i < kLength; ++i) {
    char c = name[name.size() - kLength + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExe[i]) return false;
  }
  return true;
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
