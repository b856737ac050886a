// Links out of the game folder: nothing outside changes, a link on a file's way fails it.
#include <filesystem>
#include <tuple>

#include "tests/integration/UpdateRun.h"
#include "tests/support/System.h"

namespace korvath {

TEST_F(UpdateRun, NothingOutsideIsTouchedThroughALink) {
  if (const std::string why = test::WhyNoLinksOrModes(); !why.empty()) GTEST_SKIP() << why;
  // Link, target, revision (the list's keeps backup/), backups, failures and why, f.dat after.
  const std::vector<
      std::tuple<std::string, std::string, int, int, size_t, std::string, std::string>>
      cases{{"sub", "d", 0, 0, 1, "'sub' is a link", "new"},
            {"f.dat", "f", 0, 0, 0, "", "new"},
            {"f.dat.bz2", "f", 0, 0, 0, "", "new"},
            {"f.dat.unpack", "f", 0, 0, 0, "", "new"},
            {"files.lst.bz2", "f", 0, 0, 0, "", "new"},
            {"backup", "d", 0, 1, 0, "", "new"},
            {"backup", "d", 5, 1, 2, "'backup' is a link", ""}};
  FServer.PublishList(test::ListText(
      5, 0, {FServer.PublishFile("f.dat", "new"), FServer.PublishFile("sub\\g", "new")}, {}));
  for (const auto& [link, target, revision, backup, failures, reason, f] : cases) {
    const test::TempDir outside;
    test::WriteFileBytes(outside / "f", "out");
    test::WriteFileBytes(outside / "d/g", "out");
    for (const char* name : {"f.dat", "sub", "backup"}) std::filesystem::remove_all(Game(name));
    std::filesystem::create_symlink(outside / target, Game(link));
    const Outcome run = Run(false, revision, backup);
    EXPECT_EQ(test::FolderContents(outside.Path()),
              (std::map<std::string, std::string>{{"f", "out"}, {"d/g", "out"}}));
    EXPECT_EQ(test::ReadFileBytes(Game("f.dat")), f) << link;
    EXPECT_EQ(run.FailedFiles.size(), failures) << link;
    for (const std::string& failure : run.FailedFiles)
      EXPECT_NE(failure.find("refused path: " + reason), std::string::npos) << failure;
  }
}

}  // namespace korvath
