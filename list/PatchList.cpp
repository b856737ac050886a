#include "list/PatchList.h"

#include "list/FileEntry.h"
#include "list/Limits.h"
#include "list/PublishedNames.h"
#include "platform/Ascii.h"

namespace korvath {
namespace {

// An MD5 as the list writes it; upper-case digits are taken and folded.
bool ParseMd5(const std::string& field, std::string& md5) {
  constexpr size_t kHexDigits = 32;
  if (field.size() != kHexDigits) return false;
  for (char c : field)
    if (!IsHexDigit(c)) return false;
  md5 = LowerCase(field);
  return true;
}

// A patch's size: decimal digits only, above 0, and never past what any body may be.
bool ParseSize(const std::string& field, int64_t& size) {
  constexpr size_t kMaxDigits = 18;
  if (field.empty() || field.size() > kMaxDigits) return false;
  int64_t value = 0;
  for (char c : field) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  if (value <= 0 || value > kMaxBodyBytes) return false;
  size = value;
  return true;
}

}  // namespace

TPatchList::TPatchList(const TStringList& lines) {
  for (const std::string& line : lines) {
    const TStringList fields = SplitFromEnd(line, "|");
    TPatchEntry entry;
    if (fields.size() < 4 || !ParseMd5(fields[2], entry.BaseMd5) ||
        !ParseMd5(fields[1], entry.PatchMd5) || !ParseSize(fields[0], entry.PatchSize))
      continue;
    FPatches.try_emplace({ListKey(fields[3]), entry.BaseMd5}, entry);
  }
}

const TPatchEntry* TPatchList::Find(const std::string& path, const std::string& currentMd5) const {
  const auto found = FPatches.find({ListKey(path), LowerCase(currentMd5)});
  return found == FPatches.end() ? nullptr : &found->second;
}

std::string PatchAddress(const std::string& base, const std::string& path,
                         const std::string& baseMd5) {
  return base + published::PatchName(path, baseMd5);
}

}  // namespace korvath
