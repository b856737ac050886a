// Who made a name, and kept files opened only when their name is a plain file of one link.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/ErrorCodes.h"
#include "platform/File.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

TEST(Links, OwnersAndPlainFiles) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "plain", "kept");
  std::filesystem::create_directory(dir / "folder");
  const bool links = test::WhyNoLinksOrModes().empty();
  if (links) {
    std::filesystem::create_symlink(dir / "plain", dir / "soft");
    test::WriteFileBytes(dir / "first", "kept");
    std::filesystem::create_hard_link(dir / "first", dir / "second");
  }
  // Name, made by the player, what opening it to append gives.
  const std::vector<std::tuple<std::string, bool, int>> cases{
      {"plain", true, 0},
      {"folder", true, platform::kErrorAccessDenied},
      {"missing", false, platform::kErrorFileNotFound},
      {"soft", true, platform::kErrorAccessDenied},
      {"second", true, platform::kErrorAccessDenied},  // the second name of "first"
  };
  for (const auto& [name, players, opened] : cases) {
    if (!links && (name == "soft" || name == "second")) continue;
    EXPECT_EQ(platform::MadeByThePlayer(dir / name), players) << name;
    platform::File file;
    EXPECT_EQ(platform::File::OpenPlainForAppend(dir / name, file), opened) << name;
    EXPECT_EQ(file.IsOpen(), opened == 0) << name;
  }
  if (test::WhyLinksCannotChangeOwner().empty()) {
    test::GiveLinkToAnotherAccount(dir / "soft");
    EXPECT_FALSE(platform::MadeByThePlayer(dir / "soft"));
  }
}

}  // namespace
}  // namespace korvath
