// The one policy for where a file's bytes are asked for, whether a whole copy, a patch or a copy
// fetched again: its addresses in order (the list's mirrors, the update server last), past the
// mirrors that did not answer anyone in this run. A silent mirror costs one connect timeout per
// run, not one per file.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvath {

// The run-wide record of mirrors that could not be opened; shared by every transfer thread.
class TMirrorHealth {
 public:
  bool Unreachable(const std::string& base) const;
  void MarkUnreachable(const std::string& base);

 private:
  mutable std::mutex FLock;
  std::set<std::string> FUnreachable;
};

// Walks a file's addresses from First on. Bases[i] is address i's mirror base; the addresses
// from Bases.size() on are the update server's, which is always asked.
class TAddressCursor {
 public:
  TAddressCursor(const std::vector<std::string>& bases, size_t addresses, size_t first,
                 TMirrorHealth& health)
      : FBases(bases), FCount(addresses), FNext(first), FHealth(health) {}

  // The index of the next address to ask; none when all are done.
  std::optional<size_t> Next();
  // Address Index could not be opened: a mirror's is not asked again in this run.
  void NotOpened(size_t index);
  bool IsMirror(size_t index) const { return index < FBases.size(); }

 private:
  const std::vector<std::string>& FBases;
  size_t FCount;
  size_t FNext;
  TMirrorHealth& FHealth;
};

}  // namespace korvath
