#include "list/Mirrors.h"

#include "platform/Ascii.h"

namespace korvath {

std::string RefusedMirrorReason(const std::string& address) {
  size_t hostStart = 0;
  if (StartsWithText(address, "http://"))
    hostStart = 7;
  else if (StartsWithText(address, "https://"))
    hostStart = 8;
  else
    return "not an http:// or https:// address";
  if (hostStart == address.size() || address[hostStart] == '/') return "no host name";
  for (const char c : address) {
    if (c <= ' ' || c > '~') return "a character outside printable ASCII";
    if (c == '?' || c == '#' || c == '|' || c == '\\')
      return "a query, fragment, '|' or backslash, which file names cannot follow";
  }
  return "";
}

std::string MirrorBase(const std::string& address) {
  return !address.empty() && address.back() == '/' ? address : address + "/";
}

}  // namespace korvath
