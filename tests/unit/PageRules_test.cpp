// Which pages of the browser pane run scripts: those that come over https, and no other.
#include "runtime/PageRules.h"

#include <gtest/gtest.h>

namespace korvath {
namespace {

TEST(PageRules, ScriptsRunOverHttpsOnlyAndActiveXAndJavaNowhere) {
  const std::pair<const char*, bool> cases[] = {
      {"https://www.korvath.example/updater", true},
      {"HTTPS://News.Example/a?b=c#d", true},
      {"https://10.0.0.1:8443/", true},
      {"http://www.korvath.example/updater", false},
      {"http://www.korvath.example/https://x", false},
      {"about:blank", false},
      {"file:///C:/news.html", false},
      {"javascript:alert(1)", false},
      {"res://ieframe.dll/navcancl.htm", false},
      {"https:news.example", false},
      {"https:/news.example", false},
      {"https://", false},
      {"https:///C:/x.html", false},
      {"https:\\\\host\\x", false},
      {" https://news.example/", false},
      {"httpsx://news.example/", false},
      {"", false},
  };
  for (const auto& [address, scripts] : cases) {
    const TPageRules rules = PageRulesFor(address);
    EXPECT_EQ(rules.Scripts, scripts) << address;
    EXPECT_FALSE(rules.ActiveX) << address;
    EXPECT_FALSE(rules.Java) << address;
  }
}

}  // namespace
}  // namespace korvath
