// Links in the game folder: the player's own folder links are followed; another account's
// fail the file and nothing outside changes; a link in a file's own place is never written
// through, nor is a kept partial download that is not a plain file of one link.
#include <filesystem>
#include <tuple>

#include "engine/Resume.h"
#include "tests/integration/UpdateRun.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/System.h"

namespace korvath {

TEST_F(UpdateRun, LinksInTheGameFolder) {
  if (const std::string why = test::WhyNoLinksOrModes(); !why.empty()) GTEST_SKIP() << why;
  const std::string whyNotOthers = test::WhyLinksCannotChangeOwner();
  using Outside = std::map<std::string, std::string>;
  const Outside untouched{{"f", "out"}, {"d/g", "out"}};
  // Link, target, whose (another account's or the player's), revision (the list's keeps
  // backup/), backups, failures and why, f.dat after, the folder outside after.
  const std::vector<std::tuple<std::string, std::string, bool, int, int, size_t, std::string,
                               std::string, Outside>>
      cases{
          // The player's: followed, the file lands in the moved folder, the link stays.
          {"sub", "d", false, 0, 0, 0, "", "new", {{"f", "out"}, {"d/g", "new"}}},
          {"backup", "d", false, 5, 1, 0, "", "new", untouched},
          // Another account's: refused, nothing written there, the other files installed.
          {"sub", "d", true, 0, 0, 1, "'sub' is a link made by another account", "new", untouched},
          {"backup", "d", true, 5, 1, 2, "'backup' is a link made by another account", "",
           untouched},
          // In a file's own place, whoever made it: replaced as a name.
          {"f.dat", "f", true, 0, 0, 0, "", "new", untouched},
          {"f.dat.bz2", "f", false, 0, 0, 0, "", "new", untouched},
          {"f.dat.unpack", "f", false, 0, 0, 0, "", "new", untouched},
          {"files.lst.bz2", "f", false, 0, 0, 0, "", "new", untouched},
          {"backup", "d", true, 0, 1, 0, "", "new", untouched},
      };
  FServer.PublishList(test::ListText(
      5, 0, {FServer.PublishFile("f.dat", "new"), FServer.PublishFile("sub\\g", "new")}, {}));
  for (const auto& [link, target, others, revision, backup, failures, reason, f, after] : cases) {
    if (others && !whyNotOthers.empty()) continue;
    const test::TempDir outside;
    test::WriteFileBytes(outside / "f", "out");
    test::WriteFileBytes(outside / "d/g", "out");
    for (const char* name : {"f.dat", "sub", "backup"}) std::filesystem::remove_all(Game(name));
    std::filesystem::create_symlink(outside / target, Game(link));
    if (others) test::GiveLinkToAnotherAccount(Game(link));
    const Outcome run = Run(false, revision, backup);
    EXPECT_EQ(test::FolderContents(outside.Path()), after) << link;
    EXPECT_EQ(test::ReadFileBytes(Game("f.dat")), f) << link;
    EXPECT_EQ(run.FailedFiles.size(), failures) << link;
    for (const std::string& failure : run.FailedFiles)
      EXPECT_NE(failure.find("refused path: " + reason), std::string::npos) << failure;
    if (link == "sub") {
      EXPECT_TRUE(std::filesystem::is_symlink(Game(link)));
    }
  }
  if (!whyNotOthers.empty()) GTEST_SKIP() << "links of another account: " << whyNotOthers;
}

// A kept partial download whose name leads elsewhere, with a record naming the real address
// and the server's validator: the file starts over as a new file, asked for whole, and what the
// name led to keeps its bytes.
TEST_F(UpdateRun, KeptPartialThatIsNotAPlainFileStartsOver) {
  if (const std::string why = test::WhyNoLinksOrModes(); !why.empty()) GTEST_SKIP() << why;
  const std::string content = test::NoiseBytes(20000, 5);
  const std::string archive = test::Bz2Compress(content);
  const std::string half = archive.substr(0, archive.size() / 2);
  FServer.PublishList(test::ListText(
      1, 0, {"r.dat|" + test::Md5Hex(content) + "|" + std::to_string(archive.size())}, {}));
  FServer.Http().ServeScript("r.dat.bz2", {{200, archive, archive.size(), "", "\"v1\""}});
  for (const bool hard : {false, true}) {
    const test::TempDir outside;
    test::WriteFileBytes(outside / "kept", half);
    std::filesystem::remove(Game("r.dat"));
    if (hard)
      std::filesystem::create_hard_link(outside / "kept", Game("r.dat.bz2"));
    else
      std::filesystem::create_symlink(outside / "kept", Game("r.dat.bz2"));
    test::WriteFileBytes(Game("r.dat.bz2.resume"),
                         FormatResumeRecord({FServer.BaseUrl() + "r.dat.bz2", "\"v1\"",
                                             static_cast<int64_t>(archive.size())}));
    const size_t before = FServer.Http().Requests().size();
    EXPECT_EQ(Run(false, 1).Status, kAllUpdated) << hard;
    EXPECT_EQ(test::ReadFileBytes(outside / "kept"), half) << hard;
    EXPECT_EQ(test::ReadFileBytes(Game("r.dat")), content) << hard;
    const auto requests = FServer.Http().Requests();
    for (size_t i = before; i < requests.size(); ++i)
      if (requests[i].Path == "r.dat.bz2") {
        EXPECT_EQ(requests[i].Range, "") << hard;
      }
  }
}

}  // namespace korvath
