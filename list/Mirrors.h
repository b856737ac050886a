// The list's "mirrors" section: base addresses of web servers that hold the published files as
// the update server does. Clients fetch each game file from them first, in the list's order, and
// from the update server last; the list and its signature come from the update server alone.
#pragma once

#include <cstddef>
#include <string>

namespace korvath {

inline constexpr const char* kMirrorsSection = "mirrors";
// A file that every mirror serves wrongly costs one attempt per mirror; a list names at most
// this many, and a client uses no more than the first ones.
inline constexpr size_t kMaxMirrors = 8;

// Empty when Address is a mirror base a client uses: "http://" or "https://" (any letter case),
// a host, then printable ASCII without "?", "#", "|" or "\" (file names are appended to it).
// Otherwise a short English reason that does not echo the address.
std::string RefusedMirrorReason(const std::string& address);
// The address as a base that file names follow: with "/" at its end.
std::string MirrorBase(const std::string& address);

}  // namespace korvath
