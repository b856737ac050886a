#include "runtime/PageRules.h"

#include "platform/Ascii.h"

namespace korvath {

TPageRules PageRulesFor(const std::string& address) {
  // SECURITY: only the scheme written out in full, at the very start, with a host after it.
  // Do NOT loosen this to "contains https" or a scheme after blanks: the browser may read such
  // an address otherwise than this test does.
  constexpr std::string_view kHttps = "https://";
  TPageRules rules;
  rules.Scripts = StartsWithText(address, kHttps) && address.size() > kHttps.size() &&
                  address[kHttps.size()] != '/' && address[kHttps.size()] != '\\';
  return rules;
}

}  // namespace korvath
