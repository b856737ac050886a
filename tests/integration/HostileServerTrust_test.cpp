// The hostile-server corpus, third part: a server or a network that tries to get more out of a
// run than a well-behaved one ever asks for: content that is not what the list promises, output
// without end, links out of the game folder, redirects to weaker schemes, and signed lists
// served again. Each case fails the way its comment says and costs the player nothing.
#include <string>
#include <vector>

#include "runtime/SettingsStore.h"
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"
#include "transfer/Signature.h"

namespace korvath::test {
namespace {

// Content that is not what the entry promises, and output without end.

// Links out of the game folder, and redirects.

// Signed lists served again.

// A folder at revision 6 with a.dat "a" is served a validly signed list of revision 6 whose a.dat
// is ServedA; the settings name the list last applied there: this one, or another.
HostileCase ServedAgain(std::string name, bool applied, std::string servedA, HostileExpect e) {
  return {
      std::move(name),
      [applied, servedA](HostileScene& s) {
        static const TSigningKeys keys = NewSigningKeys();
        s.Plant("a.dat", "a");
        const std::string text =
            ListWith("Rev|6\r\nModHosts|0\r\n", s.Server.PublishFile("a.dat", servedA) + "\r\n");
        const std::string list = Bz2Compress(text);
        s.Server.Http().ServeBody("files.lst.bz2", list);
        s.Server.Http().ServeBody("files.lst.bz2.sig", SignList(list, keys.SecretKey));
        const std::string recorded = "6:" + ListDigestHex(applied ? text : "another list");
        {
          CurrentDirScope inGame(s.Game);  // the store is the game folder's
          OpenSettingsStore()->WriteString(kSettingsSection, kListDigest, recorded);
        }
        s.Configure = [key = HexEncode(keys.PublicKey)](GFilesThread& w) {
          w.FListPublicKey = key;
          w.FRevision = 6;
        };
        s.AfterRun = [&server = s.Server, recorded] {
          EXPECT_EQ(OpenSettingsStore()->ReadString(kSettingsSection, kListDigest, ""), recorded);
          EXPECT_EQ(server.RequestsFor("a.dat.bz2"), 0);
        };
      },
      std::move(e)};
}

}  // namespace

TEST_F(HostileServer, ServersThatMustNotGetIn) {
  RunCases({
      // Content that is not what the entry promises, and output without end.

      // Links out of the game folder, and redirects.

      // Signed lists served again.
      ServedAgain("signed list of the folder's revision, not the one applied there", false,
                  "older a", Failed({{"a.dat", "a"}}, {"not the list applied"})),
      ServedAgain("signed list of the folder's revision, the one applied there", true, "a",
                  {"", false, {{"a.dat", "a"}}, {}, std::nullopt}),
  });
}

}  // namespace korvath::test
