// Connections kept alive for the run: a release of many small files comes over a few
// connections, at most one per file fetched at once plus the list's, and servers that close
// their connections after every answer, or soon after it, get the same files.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "engine/GetFilesThr.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/StaticServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {
namespace {

class KeepAlive : public SettingsFixture {};

TEST_F(KeepAlive, FiftyFilesComeOverAConnectionPerFileInFlightWhateverTheServerKeeps) {
  struct Case {
    const char* Name;
    size_t AnswersPerConnection;
    time_t IdleSeconds;
    int MostConnections;  // over the list and 50 files; 0: not counted
  };
  // One connection per file in flight, the list's, and one a client may open anew for a kept
  // connection the server closed.
  const int most = static_cast<int>(kDefaultConnections) + 2;
  const std::vector<Case> cases{
      {"kept alive", 100, 5, most},
      // A server that closes connections gets new ones: only the files count there.
      {"closed after every answer", 1, 5, 0},
      {"closed after a few answers", 7, 5, 0},
      {"idle connections dropped at once", 100, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    test::StaticServer server(c.AnswersPerConnection, c.IdleSeconds);
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 50; ++i)
      expected["f" + std::to_string(i) + ".dat"] =
          std::string(static_cast<size_t>(100 + i * 37), static_cast<char>('a' + i % 26));
    server.Release(1, expected);
    for (const auto& [name, content] : expected) std::remove((FGame / name).c_str());

    const test::RunOutcome run = test::RunUpdate(server.BaseUrl());
    EXPECT_EQ(run.Status, kAllUpdated);
    EXPECT_EQ(test::FolderContents(FGame.Path()), expected);
    if (c.MostConnections != 0) {
      EXPECT_LE(server.Connections(), c.MostConnections);
    }
  }
}

}  // namespace
}  // namespace korvath
