// Runs with mirrors: each file comes from the first address that serves it right, a file no
// address serves fails with every address named, and a mirror that falls silent is left.
#include <algorithm>
#include <map>

#include "engine/TransferRoad.h"
#include "tests/integration/UpdateRun.h"
#include "tests/support/Bz2Compress.h"

namespace korvath {
namespace {

using Strings = std::vector<std::string>;

Strings SortedPaths(const test::HttpFixture& http) {
  Strings paths;
  for (const test::HttpRequestRecord& request : http.Requests()) paths.push_back(request.Path);
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST_F(UpdateRun, MirrorsServeTheFilesInTheirOrderAndTheServerTheList) {
  test::TestServer first, second;
  const std::string mirrors = "[mirrors]\r\nftp://skipped.example/\r\n" + first.BaseUrl() + "\r\n" +
                              second.BaseUrl() + "\r\n[/mirrors]\r\n";
  // The first mirror serves a.dat, another content for b.dat and nothing for c.dat; the second
  // serves the other two; the server none.
  const std::string a = first.PublishFile("a.dat", "alpha");
  first.Http().ServeBody("sub/b.dat.bz2", test::Bz2Compress("not bravo"));
  const std::string b = second.PublishFile("sub\\b.dat", "bravo");
  const std::string c = second.PublishFile("c.dat", "charlie");
  FServer.PublishList(test::ListText(1, 0, {a, b}, {c}, mirrors));
  Outcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(GameFiles(), (std::map<std::string, std::string>{
                             {"a.dat", "alpha"}, {"c.dat", "charlie"}, {"sub/b.dat", "bravo"}}));
  EXPECT_EQ(SortedPaths(FServer.Http()), Strings{"files.lst.bz2"});
  EXPECT_EQ(SortedPaths(first.Http()), (Strings{"a.dat.bz2", "c.dat.bz2", "sub/b.dat.bz2"}));
  EXPECT_EQ(SortedPaths(second.Http()), (Strings{"c.dat.bz2", "sub/b.dat.bz2"}));
  EXPECT_EQ(run.Notices, Strings{"the mirror 'ftp://skipped.example/' is skipped: not an http:// "
                                 "or https:// address"});

  // d.dat: 404 on the first mirror, another content on the second, a page from the server.
  const std::string d = test::Md5Hex("delta");
  second.Http().ServeBody("d.dat.bz2", test::Bz2Compress("not delta"));
  FServer.PublishList(test::ListText(2, 0, {a, b, "d.dat|" + d + "|100"}, {c}, mirrors));
  run = Run();
  ASSERT_EQ(run.FailedFiles.size(), 1u);
  EXPECT_EQ(run.FailedFiles[0].rfind("d.dat: damaged archive (", 0), 0u) << run.FailedFiles[0];
  EXPECT_NE(run.FailedFiles[0].find(
                "; addresses tried: " + first.BaseUrl() + "d.dat.bz2 (answered with status 404), " +
                second.BaseUrl() + "d.dat.bz2 (digest mismatch (listed " + d + ", received " +
                test::Md5Hex("not delta") + ")), " + FServer.BaseUrl() + "d.dat.bz2"),
            std::string::npos)
      << run.FailedFiles[0];
}

// A mirror that stops answering halfway through the run: the files it no longer serves come from
// the update server, and the mirror is asked again only by transfers already on their way to it.
TEST_F(UpdateRun, AMirrorFallingSilentHalfwayIsLeftForTheRestOfTheRun) {
  test::TestServer mirror;
  Strings entries, silent;
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    expected[name] = test::NoiseBytes(3000, static_cast<uint32_t>(i));
    entries.push_back(FServer.PublishFile(name, expected[name]));
    if (i < 20) {
      mirror.PublishFile(name, expected[name]);
    } else {
      mirror.Http().ServeNoAnswer(name + ".bz2");
      silent.push_back(name + ".bz2");
    }
  }
  FServer.PublishList(
      test::ListText(1, 0, entries, {}, "[mirrors]\r\n" + mirror.BaseUrl() + "\r\n[/mirrors]\r\n"));
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(GameFiles(), expected);
  // Each transfer thread finds the silence once, with at most one more try on a new connection.
  size_t askedInVain = 0;
  for (const std::string& path : SortedPaths(mirror.Http()))
    askedInVain += std::ranges::count(silent, path);
  EXPECT_GE(askedInVain, 1u);
  EXPECT_LE(askedInVain, 2 * kDefaultConnections);
}

}  // namespace
}  // namespace korvath
