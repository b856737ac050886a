// Hosts entries come from the network and go into a file every program on the machine trusts,
// so each part must be exactly an address or a name, with nothing a resolver could read twice.
#include "list/HostsEntry.h"

#include "platform/Ascii.h"

namespace korvath {
namespace {

// Counts the groups of one side of an IPv6 address ("" counts none); the last group may be an
// IPv4 address, which stands for two.
bool CountIPv6Groups(std::string_view part, bool mayEndInIPv4, int& groups) {
  if (part.empty()) return true;
  size_t start = 0;
  while (true) {
    const size_t colon = part.find(':', start);
    const std::string_view group = part.substr(
        start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
    if (colon == std::string_view::npos && mayEndInIPv4 &&
        group.find('.') != std::string_view::npos) {
      groups += 2;
      return IsIPv4Address(group);
    }
    if (group.empty() || group.size() > 4) return false;
    for (char c : group)
      if (!IsHexDigit(c)) return false;
    ++groups;
    if (colon == std::string_view::npos) return true;
    start = colon + 1;
  }
}

// The names a machine gives itself. Every program on the player's machine that talks to itself
// looks them up, so the list never maps them anywhere, not even to a loopback address.
constexpr std::string_view kOwnMachineNames[] = {
    "localhost",  "localhost.localdomain",   "localhost4",    "localhost4.localdomain4",
    "localhost6", "localhost6.localdomain6", "ip6-localhost", "ip6-loopback",
};
// Resolvers answer every name below "localhost" with the machine itself.
constexpr std::string_view kOwnMachineDomain = ".localhost";

bool IsOwnMachineName(std::string_view hostName) {
  for (std::string_view name : kOwnMachineNames)
    if (SameText(hostName, name)) return true;
  return hostName.size() > kOwnMachineDomain.size() &&
         SameText(hostName.substr(hostName.size() - kOwnMachineDomain.size()), kOwnMachineDomain);
}

}  // namespace

bool IsIPv4Address(std::string_view text) {
  int parts = 0;
  size_t i = 0;
  while (true) {
    const size_t start = i;
    int value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 4)
      value = value * 10 + (text[i++] - '0');
    const size_t length = i - start;
    if (length == 0 || length > 3 || value > 255 || (length > 1 && text[start] == '0'))
      return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
}

bool IsIPv6Address(std::string_view text) {
  const size_t gap = text.find("::");
  if (gap != std::string_view::npos && text.find("::", gap + 1) != std::string_view::npos)
    return false;
  int groups = 0;
  if (gap == std::string_view::npos) return CountIPv6Groups(text, true, groups) && groups == 8;
  return CountIPv6Groups(text.substr(0, gap), false, groups) &&
         CountIPv6Groups(text.substr(gap + 2), true, groups) && groups <= 7;
}

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > 253) return false;
  size_t label = 0;
  for (char c : text) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (IsAlnum(c) || c == '-') {
      if (++label > 63) return false;
    } else {
      return false;
    }
  }
  return label != 0;
}

std::string RefusedHostsEntryReason(std::string_view address, std::string_view hostName) {
  if (!IsIPv4Address(address) && !IsIPv6Address(address)) return "not an IPv4 or IPv6 address";
  if (!IsHostName(hostName)) return "not a host name of letters, digits, '-' and '.'";
  if (IsOwnMachineName(hostName)) return "a name of the player's own machine";
  return "";
}

}  // namespace korvath
