#include "engine/AddressCursor.h"

namespace korvath {

bool TMirrorHealth::Unreachable(const std::string& base) const {
  const std::lock_guard lock(FLock);
  return FUnreachable.count(base) != 0;
}

void TMirrorHealth::MarkUnreachable(const std::string& base) {
  const std::lock_guard lock(FLock);
  FUnreachable.insert(base);
}

std::optional<size_t> TAddressCursor::Next() {
  while (FNext < FCount) {
    const size_t index = FNext++;
    if (!IsMirror(index) || !FHealth.Unreachable(FBases[index])) return index;
  }
  return std::nullopt;
}

void TAddressCursor::NotOpened(size_t index) {
  if (IsMirror(index)) FHealth.MarkUnreachable(FBases[index]);
}

}  // namespace korvath
