// The patterns that choose a release's critical files.
#include "tools/publish/Glob.h"

#include <gtest/gtest.h>

#include <string>

namespace korvath::publish {
namespace {

TEST(GlobMatch, StarsStayInOneNameDoubleStarsCrossFolders) {
  struct {
    const char* Pattern;
    const char* Path;
    bool Matches;
  } const cases[] = {
      {"Korvath.exe", "Korvath.exe", true},
      {"Korvath.exe", "korvath.exe", false},
      {"*.exe", "Korvath.exe", true},
      {"*.exe", "bin/Korvath.exe", false},
      {"bin/*", "bin/a.dll", true},
      {"bin/*", "bin/sub/a.dll", false},
      {"**/*.dll", "a.dll", true},
      {"**/*.dll", "bin/sub/a.dll", true},
      {"system/**/x", "system/x", true},
      {"system/**/x", "system/a/b/x", true},
      {"system/**/x", "systemx", false},
      {"system/**", "system/a/b", true},
      {"?.ini", "a.ini", true},
      {"?.ini", "ab.ini", false},
      {"a?b", "a/b", false},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"a*", "a", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GlobMatch(c.Pattern, c.Path), c.Matches) << c.Pattern << " ~ " << c.Path;
}

TEST(GlobMatch, ManyStarsStayFast) {
  // Backtracking would take 2^40 steps here.
  const std::string pattern = std::string(40, '*') + "x";
  const std::string path(200, 'a');
  EXPECT_FALSE(GlobMatch(pattern, path));
  EXPECT_TRUE(GlobMatch(pattern, path + "x"));
}

}  // namespace
}  // namespace korvath::publish
