// The error korvath-publish raises for what it refuses: every problem found, one line each, so
// that an admin fixes a release in one go rather than one complaint at a time.
#pragma once

#include <string>
#include <vector>

#include "runtime/SysUtils.h"

namespace korvath::publish {

class EPublishError : public Exception {
 public:
  explicit EPublishError(std::vector<std::string> problems);
  explicit EPublishError(const std::string& problem) : EPublishError(std::vector{problem}) {}
  const std::vector<std::string>& Problems() const { return FProblems; }

 private:
  std::vector<std::string> FProblems;
};

// Text from a release or a list in a message, with control characters made harmless for a
// console.
std::string Printable(const std::string& text);

}  // namespace korvath::publish
