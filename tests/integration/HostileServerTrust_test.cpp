// The hostile-server corpus, third part: a server or a network that tries to get more out of a
// run than a well-behaved one ever asks for: content that is not what the list promises, output
// without end, links out of the game folder, redirects to weaker schemes, and signed lists
// served again. Each case fails the way its comment says and costs the player nothing.
#include <map>
#include <string>
#include <vector>

#include "tests/integration/HostileServer.h"

namespace korvath::test {
namespace {

// Content that is not what the entry promises, and output without end.

// Links out of the game folder, and redirects.

// f.dat is listed and in place in an older version; its address redirects by Hops.
HostileCase RedirectCase(std::string name, std::map<std::string, std::string> hops) {
  return {std::move(name),
          [hops](HostileScene& s) {
            s.Plant("f.dat", "old f");
            s.Server.PublishList(
                ListWith("Rev|5\r\nModHosts|0\r\n", "f.dat|" + Md5Hex("f") + "|9\r\n"));
            for (const auto& [from, to] : hops) s.Server.Http().ServeRedirect(from, to);
          },
          Failed({{"f.dat", "old f"}}, {"could not be opened"})};
}

// Signed lists served again.

}  // namespace

TEST_F(HostileServer, ServersThatMustNotGetIn) {
  RunCases({
      // Content that is not what the entry promises, and output without end.

      // Links out of the game folder, and redirects.
      RedirectCase("redirected to ftp:", {{"f.dat.bz2", "ftp://127.0.0.1/f.dat.bz2"}}),
      RedirectCase("redirected to file:", {{"f.dat.bz2", "file:///f.dat.bz2"}}),
      RedirectCase("redirected in a loop", {{"f.dat.bz2", "loop.bz2"}, {"loop.bz2", "f.dat.bz2"}}),

      // Signed lists served again.

  });
}

}  // namespace korvath::test
