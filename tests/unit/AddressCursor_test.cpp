// Where a file's bytes are asked for: every address in order from the first one not given up,
// past mirrors that did not answer anyone in this run; the update server always.
#include "engine/AddressCursor.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace korvath {
namespace {

TEST(AddressCursor, WalksAddressesPastMirrorsThatDidNotAnswerInThisRun) {
  const std::vector<std::string> bases{"http://a/", "http://b/", "http://c/"};
  struct Case {
    const char* Name;
    size_t First;
    std::vector<std::string> Silent;  // mirrors found unreachable before
    std::vector<size_t> Expected;     // the server's address is index 3
  };
  const std::vector<Case> cases{
      {"all", 0, {}, {0, 1, 2, 3}},
      {"after a bad copy from b", 2, {}, {2, 3}},
      {"silent mirrors skipped", 0, {"http://a/", "http://c/"}, {1, 3}},
      {"the server is always asked", 3, {"http://a/", "http://b/", "http://c/"}, {3}},
  };
  for (const Case& c : cases) {
    TMirrorHealth health;
    for (const std::string& base : c.Silent) health.MarkUnreachable(base);
    TAddressCursor cursor(bases, 4, c.First, health);
    std::vector<size_t> walked;
    while (const std::optional<size_t> at = cursor.Next()) walked.push_back(*at);
    EXPECT_EQ(walked, c.Expected) << c.Name;
  }
}

TEST(AddressCursor, AMirrorThatCannotBeOpenedIsNotAskedAgainByAnyFile) {
  const std::vector<std::string> bases{"http://a/", "http://b/"};
  TMirrorHealth health;
  TAddressCursor first(bases, 3, 0, health);
  first.NotOpened(*first.Next());
  first.NotOpened(2);  // the server's: recorded nowhere, asked again
  TAddressCursor patch(bases, 3, 0, health);
  EXPECT_EQ(patch.Next(), std::optional<size_t>(1));
  EXPECT_EQ(patch.Next(), std::optional<size_t>(2));
  EXPECT_EQ(patch.Next(), std::nullopt);
}

}  // namespace
}  // namespace korvath
