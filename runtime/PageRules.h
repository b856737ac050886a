// What a page in the program's browser pane may run, picked from the address it comes from.
#pragma once

#include <string>

namespace korvath {

struct TPageRules {
  bool Scripts = false;  // the page's scripts run
  bool ActiveX = false;  // ActiveX controls are downloaded and run
  bool Java = false;     // Java applets run
  bool operator==(const TPageRules&) const = default;
};

// Scripts run in a page that comes over https, as its site wrote it; anyone on the way could
// add their own to a plain http page, so no other address gets them. ActiveX controls and Java
// run in no page: either reaches far beyond the pane.
TPageRules PageRulesFor(const std::string& address);

}  // namespace korvath
