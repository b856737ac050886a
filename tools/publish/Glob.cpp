#include "tools/publish/Glob.h"

#include <string>

namespace korvath::publish {

bool GlobMatch(std::string_view pattern, std::string_view path) {
  // Dynamic programming over (pattern position, path position): patterns and paths are short,
  // and unlike backtracking this never goes exponential on many stars.
  const size_t n = path.size();
  // One flag per path position: whether the pattern read so far can end there.
  std::string current(n + 1, '\0'), next(n + 1, '\0');
  current[0] = 1;
  size_t p = 0;
  while (p < pattern.size()) {
    next.assign(n + 1, '\0');
    if (pattern[p] == '*') {
      const bool crossesFolders = p + 1 < pattern.size() && pattern[p + 1] == '*';
      // "**/" also matches no folder at all, so that "system/**/x" takes "system/x".
      const bool folderPrefix = crossesFolders && p + 2 < pattern.size() && pattern[p + 2] == '/';
      bool reachable = false;
      for (size_t i = 0; i <= n; ++i) {
        if (current[i]) reachable = true;
        if (reachable) next[i] = 1;
        if (i < n && path[i] == '/' && !crossesFolders) reachable = false;
      }
      if (folderPrefix) {
        // Either "**/" as a whole matched nothing, or "**" matched up to a "/" that follows.
        std::string skipped(n + 1, '\0');
        for (size_t i = 0; i <= n; ++i) {
          if (current[i]) skipped[i] = 1;
          if (next[i] && i < n && path[i] == '/') skipped[i + 1] = 1;
        }
        next.swap(skipped);
        p += 3;
      } else {
        p += crossesFolders ? 2 : 1;
      }
    } else {
      for (size_t i = 0; i < n; ++i)
        if (current[i] && (pattern[p] == '?' ? path[i] != '/' : path[i] == pattern[p]))
          next[i + 1] = 1;
      ++p;
    }
    current.swap(next);
  }
  return current[n] != 0;
}

}  // namespace korvath::publish
