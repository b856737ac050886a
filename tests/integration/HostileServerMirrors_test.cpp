// The hostile-server corpus, mirrors: a mirror that answers wrongly in any way costs its file one
// attempt and the next address serves it; only when every address failed does the file fail,
// and only when none could be opened does the pass stop.
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"

namespace korvath::test {
namespace {

const std::string kOld = "old content of f";
const std::string kNew = "new content of f, as listed";
const std::string& Archive() {
  static const std::string archive = Bz2Compress(kNew);
  return archive;
}
// Nothing listens there: connections are refused at once.
const std::string kUnreachable = "http://127.0.0.1:1/";
using Serve = std::function<void(HttpFixture&)>;

// f.dat is listed with Mirrors (names below the test server's base, or whole addresses), the
// folder holds its old version, Serve sets up what the mirrors answer, and the server's own
// address serves the archive when ServerServes.
HostileCase MirrorCase(std::string name, std::vector<std::string> mirrors, Serve serve,
                       bool serverServes, const std::vector<std::string>& reasons = {}) {
  return {std::move(name),
          [=](HostileScene& s) {
            s.Plant("f.dat", kOld);
            std::string section = "[mirrors]\r\n";
            for (const std::string& m : mirrors)
              section += (m.find("://") == std::string::npos ? s.Server.BaseUrl() + m : m) + "\r\n";
            s.Server.PublishList(
                ListWith("Rev|5\r\nModHosts|0\r\n",
                         "f.dat|" + Md5Hex(kNew) + "|" + std::to_string(Archive().size()) + "\r\n",
                         section + "[/mirrors]\r\n"));
            if (serverServes) s.Server.Http().ServeBody("f.dat.bz2", Archive());
            serve(s.Server.Http());
          },
          reasons.empty() ? AllUpdated({{"f.dat", kNew}}) : Failed({{"f.dat", kOld}}, reasons)};
}

Serve OtherFileAt(const std::string& path) {
  return [path](HttpFixture& h) { h.ServeBody(path, Bz2Compress("another file")); };
}

TEST_F(HostileServer, MirrorsThatAnswerWrongly) {
  const auto nothing = [](HttpFixture&) {};
  RunCases({
      MirrorCase("a mirror answers 404 with a page", {"m1"}, nothing, true),
      MirrorCase("a mirror serves another file", {"m1/"}, OtherFileAt("m1/f.dat.bz2"), true),
      MirrorCase(
          "a mirror's body breaks off beyond its retries", {"m1"},
          [](HttpFixture& h) {
            h.ServeBrokenBody("m1/f.dat.bz2", Archive().substr(0, 20), Archive().size());
          },
          true),
      MirrorCase(
          "a mirror redirects to another scheme", {"m1"},
          [](HttpFixture& h) { h.ServeRedirect("m1/f.dat.bz2", "ftp://127.0.0.1/f.dat.bz2"); },
          true),
      MirrorCase("a mirror that cannot be reached", {kUnreachable}, nothing, true),
      MirrorCase("every mirror bad, the server good", {"m1", "m2", kUnreachable},
                 OtherFileAt("m2/f.dat.bz2"), true),
      MirrorCase("every address bad", {"m1", "m2"}, OtherFileAt("m2/f.dat.bz2"), false,
                 {"damaged archive"}),
      MirrorCase("no address can be opened", {kUnreachable},
                 [](HttpFixture& h) { h.ServeNoAnswer("f.dat.bz2"); }, false,
                 {"could not be opened: " + kUnreachable + "f.dat.bz2, http://"}),
  });
}

}  // namespace
}  // namespace korvath::test
