#include "tools/publish/Problems.h"

namespace korvath::publish {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

EPublishError::EPublishError(std::vector<std::string> problems)
    : Exception(Joined(problems)), FProblems(std::move(problems)) {}

std::string Printable(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return result;
}

}  // namespace korvath::publish
