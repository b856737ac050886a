// The hostile-server corpus, third part: a server or a network that tries to get more out of a
// run than a well-behaved one ever asks for: content that is not what the list promises, output
// without end, links out of the game folder, redirects to weaker schemes, and signed lists
// served again. Each case fails the way its comment says and costs the player nothing.
#include <string>
#include <vector>

#include "tests/integration/HostileServer.h"

namespace korvath::test {
namespace {

// Content that is not what the entry promises, and output without end.

// Links out of the game folder, and redirects.

// Signed lists served again.

}  // namespace

TEST_F(HostileServer, ServersThatMustNotGetIn) {
  RunCases({
      // Content that is not what the entry promises, and output without end.

      // Links out of the game folder, and redirects.

      // Signed lists served again.

  });
}

}  // namespace korvath::test
