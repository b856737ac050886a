// The checks of one entry of the update list's "hosts" section: an IP address and the host name
// it maps. The client refuses anything else before touching the hosts file, and the publisher
// refuses to write it.
#pragma once

#include <string>
#include <string_view>

namespace korvath {

// Dotted decimal, four parts of 0 to 255, without leading zeros (some resolvers read those as
// octal).
bool IsIPv4Address(std::string_view text);
// Groups of one to four hex digits separated by ":", at most one "::", an IPv4 address in place
// of the last two groups; no zone ("%eth0").
bool IsIPv6Address(std::string_view text);
// Letters, digits and "-" in dot-separated labels of 1 to 63 characters, 253 at most in all.
bool IsHostName(std::string_view text);

// Empty when the pair is one the client writes into the hosts file; otherwise a short English
// reason. Names of the machine itself ("localhost", anything below ".localhost") are refused
// whatever the address. The reason never echoes the texts.
std::string RefusedHostsEntryReason(std::string_view address, std::string_view hostName);

}  // namespace korvath
