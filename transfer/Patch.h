// Patches between releases: a file rebuilt from the version a player already has (the base) and
// a small patch, instead of fetched whole. One zstd frame whose matches reach into the base.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "runtime/SysUtils.h"

namespace korvath {

class EPatchError : public Exception {
  using Exception::Exception;
};

// Rebuilds a file from Base and Patch into Result, which is exactly the rebuilt file's size
// (from the entry's integrity field). Raises EPatchError (with a reason) when the patch is
// damaged or cut off, was made for another base, or makes more or fewer bytes. Progress, when
// given, hears the patch bytes consumed so far. Holds nothing the size of the file in private
// memory: Base and Result are meant to be mapped files (no window buffer of the base's size).
void ApplyPatch(std::span<const char> base, std::span<const char> patch, std::span<char> result,
                const std::function<void(int64_t consumed)>& progress = {});

// How hard MakePatch searches. Over releases edited in a few places per file, levels 3 to 12
// make patches within 0.2% of each other (the new bytes are most of a patch); the levels above
// index the whole base in their slower matchfinders, take ten times as long or more and lose
// long matches (bench/patch_formats.sh). 9 squeezes the new bytes harder than 3 for a time
// near that of the bzip2 copy.
inline constexpr int kPatchLevel = 9;

// A patch that turns Base into Target; empty when it would be longer than AtMost bytes (making
// it stops there, so a file rewritten throughout costs neither the time nor the memory).
std::string MakePatch(std::span<const char> base, std::span<const char> target,
                      int level = kPatchLevel, size_t atMost = SIZE_MAX);

}  // namespace korvath
