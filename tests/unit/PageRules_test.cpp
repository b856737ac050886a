// Which pages of the browser pane run scripts: those that come over https, and no other.
#include "runtime/PageRules.h"

#include <gtest/gtest.h>

namespace korvath {
namespace {

TEST(PageRules, ScriptsRunOverHttpsOnlyAndActiveXAndJavaNowhere) {
  const std::pair<const char*, bool> cases[] = {{"https://www.korvath.example/updater", true},
                                                {"HTTPS://News.Example/a?b", true},
                                                {"http://www.korvath.example/https://x", false},
                                                {"about:blank", false},
                                                {"https:news.example", false},
                                                {"https://", false},
                                                {" https://news.example/", false},
                                                {"", false}};
  for (const auto& [address, scripts] : cases) {
    const TPageRules rules = PageRulesFor(address);
    EXPECT_EQ(rules, (TPageRules{scripts, false, false})) << address;
  }
}

}  // namespace
}  // namespace korvath
