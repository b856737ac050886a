// How much a server can make a run take in: every input has a limit, and going past one is a
// failed file or a failed run with its reason, never a stuck or flooded client.
#pragma once

#include <cstddef>
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
// A file's compressed body, whatever its size field says. The size field is only the file
// gauge's maximum, and a list made by hand may carry a stale one (a self entry of size 0), so it
// bounds nothing: a file it bounded would fail on every run. This bound is twice the largest
// size the field can hold; the free-space reserve keeps such a body from filling the disk.
inline constexpr int64_t kMaxBodyBytes = 4096 * kMiB;
// The body of a file whose entry gives its unpacked size: bzip2 grows data by at most 1% plus
// 600 bytes, so anything longer is not that file's archive.
inline int64_t MaxBodyFor(int64_t unpackedSize) {
  return unpackedSize + unpackedSize / 100 + 600;
}

// File entries of one list, both file sections together. A run keeps a few hundred bytes per
// entry (its line, its key, its place in the passes), so a million costs a few hundred MiB at
// most, and no game is near it: the largest releases list tens of thousands of files. The
// shortest entries would let 64 MiB of list name almost two million.
inline constexpr size_t kMaxListEntries = 1000000;

// Means "no limit" where a limit is optional.
inline constexpr int64_t kNoLimit = -1;

}  // namespace korvath
