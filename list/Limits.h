// How much a server can make a run take in: every input has a limit, and going past one is a
// failed file or a failed run with its reason, never a stuck or flooded client.
#pragma once

#include <cstdint>

namespace korvath {

inline constexpr int64_t kMiB = 1024 * 1024;
// The unpacked update list.
inline constexpr int64_t kMaxListBytes = 64 * kMiB;
// The compressed list: bzip2 never grows data by more than a small fraction.
inline constexpr int64_t kMaxListDownload = kMaxListBytes + kMiB;
// The list's signature is 64 bytes; a little more is read so that an error page in its place
// is seen for what it is, and no more than that.
inline constexpr int64_t kMaxSignatureDownload = 1024;
// A file's body may exceed the size its entry gives (a list published before a re-compression)
// by this much, and no more.
inline constexpr int64_t kBodyAllowanceFactor = 4;
inline constexpr int64_t kBodyAllowance = kMiB;

inline int64_t MaxBodyFor(int32_t sizeField) {
  return kBodyAllowanceFactor * sizeField + kBodyAllowance;
}

// Means "no limit" where a limit is optional.
inline constexpr int64_t kNoLimit = -1;

}  // namespace korvath
