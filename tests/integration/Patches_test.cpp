// Runs where the list has a patch for the player's copy of a file: a good patch rebuilds it
// without its whole copy being fetched; any bad one gives way to the whole copy in the same run.
#include <functional>
#include <string>

#include "list/FileEntry.h"
#include "tests/integration/HostileServer.h"
#include "tests/integration/UpdateRun.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/System.h"
#include "transfer/Patch.h"
#include "transfer/Sha256.h"

namespace korvath::test {
namespace {

const std::string& OldBig() {
  static const std::string content = NoiseBytes(50000, 7);
  return content;
}
const std::string& NewBig() {
  static const std::string content = OldBig().substr(0, 20000) + "changed" + OldBig().substr(20000);
  return content;
}
std::string GoodPatch() {
  return MakePatch(OldBig(), NewBig());
}
// Made from a version the player never had: its copies reach the wrong bytes of the player's.
std::string OtherBasePatch() {
  return MakePatch(OldBig() + "grown at its end", NewBig());
}
const std::string kPatchPath = "big.dat." + Md5Hex(OldBig()) + ".patch";

// Lists big.dat with its integrity field and a patch from the old version with Listed's digest
// and size; Serve puts whatever it likes at the patch's address.
void PublishWithPatch(TestServer& server, const std::string& listed,
                      const std::function<void(HttpFixture&)>& serve,
                      const std::string& moreSections = "") {
  const std::string entry = IntegrityField(Sha256Hex(NewBig()), NewBig().size()) + "|" +
                            server.PublishFile("big.dat", NewBig());
  server.PublishList(ListWith("Rev|5\r\nModHosts|0\r\n", entry + "\r\n",
                              "[patches]\r\nbig.dat|" + Md5Hex(OldBig()) + "|" + Md5Hex(listed) +
                                  "|" + std::to_string(listed.size()) + "\r\n[/patches]\r\n" +
                                  moreSections));
  serve(server.Http());
}

HostileCase PatchCase(std::string name, const std::string& listed,
                      std::function<void(HttpFixture&)> serve) {
  return {std::move(name),
          [listed, serve](HostileScene& s) {
            s.Plant("big.dat", OldBig());
            PublishWithPatch(s.Server, listed, serve);
            s.AfterRun = [&server = s.Server] { EXPECT_EQ(server.RequestsFor("big.dat.bz2"), 1); };
          },
          AllUpdated({{"big.dat", NewBig()}})};
}

std::function<void(HttpFixture&)> Serve(const std::string& body) {
  return [body](HttpFixture& http) { http.ServeBody(kPatchPath, body); };
}

TEST_F(HostileServer, PatchesThatGiveWayToTheWholeCopy) {
  const std::string good = GoodPatch();
  std::string damaged = good;
  damaged[damaged.size() / 2] ^= 0x55;
  const std::string half = good.substr(0, good.size() / 2);
  const std::string otherBase = OtherBasePatch();
  const std::string expands = MakePatch(OldBig(), NewBig() + NoiseBytes(100000, 9));
  RunCases({
      PatchCase("damaged, listed as it is", damaged, Serve(damaged)),
      PatchCase("damaged on the way", good, Serve(damaged)),
      PatchCase("cut off, listed as it is", half, Serve(half)),
      PatchCase("broken off on the way", good,
                [&](HttpFixture& http) { http.ServeBrokenBody(kPatchPath, half, good.size()); }),
      PatchCase("not found", good, [](HttpFixture&) {}),
      PatchCase("an error page with status 200", good, Serve("<html>maintenance</html>")),
      PatchCase("longer than listed", good, Serve(good + "more")),
      PatchCase("made for another base", otherBase, Serve(otherBase)),
      PatchCase("makes more than the file", expands, Serve(expands)),
  });
}

}  // namespace
}  // namespace korvath::test

namespace korvath {
namespace {

TEST_F(UpdateRun, APatchRebuildsTheFileWithoutItsWholeCopy) {
  test::WriteFileBytes(Game("big.dat"), test::OldBig());
  test::PublishWithPatch(FServer, test::GoodPatch(), test::Serve(test::GoodPatch()));
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(run.FailedFiles.empty() && run.Patches.empty());
  EXPECT_EQ(GameFiles(), (std::map<std::string, std::string>{{"big.dat", test::NewBig()}}));
  EXPECT_EQ(FServer.RequestsFor(test::kPatchPath), 1);
  EXPECT_EQ(FServer.RequestsFor("big.dat.bz2"), 0);
  const std::vector<std::string> statuses{"status:Downloading big.dat", "status:Patching big.dat",
                                          "status:" + std::string(kAllUpdated)};
  const auto shown = test::Only(run.Calls, "status:");
  EXPECT_EQ(std::vector<std::string>(shown.end() - 3, shown.end()), statuses);
}

TEST_F(UpdateRun, APatchIsTakenFromTheFirstAddressThatServesItRight) {
  test::WriteFileBytes(Game("big.dat"), test::OldBig());
  test::TestServer mirror;
  std::string damaged = test::GoodPatch();
  damaged[damaged.size() / 2] ^= 0x55;
  mirror.Http().ServeBody(test::kPatchPath, damaged);
  test::PublishWithPatch(FServer, test::GoodPatch(), test::Serve(test::GoodPatch()),
                         "[mirrors]\r\n" + mirror.BaseUrl() + "\r\n[/mirrors]\r\n");
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(run.FailedFiles.empty() && run.Patches.empty());
  EXPECT_EQ(GameFiles(), (std::map<std::string, std::string>{{"big.dat", test::NewBig()}}));
  EXPECT_EQ(mirror.RequestsFor(test::kPatchPath), 1);
  EXPECT_EQ(FServer.RequestsFor(test::kPatchPath), 1);
  EXPECT_EQ(mirror.RequestsFor("big.dat.bz2") + FServer.RequestsFor("big.dat.bz2"), 0);
}

TEST_F(UpdateRun, APatchThatDoesNotRebuildTheFileGivesWayWithOneLine) {
  test::WriteFileBytes(Game("big.dat"), test::OldBig());
  const std::string otherBase = test::OtherBasePatch();
  test::PublishWithPatch(FServer, otherBase, test::Serve(otherBase));
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(run.FailedFiles.empty());
  ASSERT_EQ(run.Patches.size(), 1u);
  EXPECT_EQ(run.Patches[0].rfind("big.dat: ", 0), 0u) << run.Patches[0];
  EXPECT_EQ(GameFiles(), (std::map<std::string, std::string>{{"big.dat", test::NewBig()}}));
  EXPECT_EQ(FServer.RequestsFor("big.dat.bz2"), 1);
  const std::vector<std::string> statuses{"status:Downloading big.dat", "status:Patching big.dat",
                                          "status:Downloading big.dat", "status:Extracting big.dat",
                                          "status:" + std::string(kAllUpdated)};
  const auto shown = test::Only(run.Calls, "status:");
  EXPECT_EQ(std::vector<std::string>(shown.end() - 5, shown.end()), statuses);
}

}  // namespace
}  // namespace korvath
