#include "tests/support/RecordingView.h"

namespace korvath::test {

std::vector<std::string> RecordingView::Only(const std::string& prefix) const {
  std::vector<std::string> result;
  for (const auto& c : Calls)
    if (c.rfind(prefix, 0) == 0) result.push_back(c);
  return result;
}

}  // namespace korvath::test
