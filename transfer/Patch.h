// Patches between releases: a file rebuilt from the version a player already has (the base) and
// a small patch, instead of fetched whole. One zstd frame whose matches reach into the base.
#pragma once

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

// How hard MakePatch searches; see Patch.cpp for why this level.
inline constexpr int kPatchLevel = 19;

// A patch that turns Base into Target.
std::string MakePatch(std::span<const char> base, std::span<const char> target,
                      int level = kPatchLevel);

}  // namespace korvath
