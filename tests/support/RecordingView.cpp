#include "tests/support/RecordingView.h"

namespace korvath::test {

std::vector<std::string> Only(const std::vector<std::string>& calls, const std::string& prefix) {
  std::vector<std::string> result;
  for (const auto& c : calls)
    if (c.rfind(prefix, 0) == 0) result.push_back(c);
  return result;
}

std::vector<std::string> RecordingView::Only(const std::string& prefix) const {
  return test::Only(Calls, prefix);
}

}  // namespace korvath::test
