// A player behind a caching proxy with its default freshness rules: a release published a week
// after the one the proxy holds reaches the player, list and files, at the next run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <thread>

#include "engine/GetFilesThr.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Release.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/StaticServer.h"
#include "tests/support/UpdateRunner.h"
#include "tests/support/posix/Background.h"

namespace korvath {
namespace {

std::string FindSquid() {
  for (const char* candidate : {"/usr/sbin/squid", "/usr/bin/squid"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

class CachingProxy : public SettingsFixture {};

TEST_F(CachingProxy, ANewerReleaseReachesThePlayerThroughTheProxy) {
  const std::string squid = FindSquid();
  if (squid.empty()) GTEST_SKIP() << "squid is not installed (scripts/setup installs it)";
  test::TempDir proxyDir;
  // Squid started as root runs as its own user, which must be able to write here.
  chmod(proxyDir.Path().c_str(), 0777);
  const int port = test::FreePort();
  const std::string config =
      "http_port 127.0.0.1:" + std::to_string(port) +
      "\nhttp_access allow all\ncache_mem 16 MB\nmaximum_object_size_in_memory 4 MB\n"
      "pid_filename " +
      proxyDir.Path() + "/squid.pid\ncache_log " + proxyDir.Path() + "/cache.log\naccess_log " +
      proxyDir.Path() + "/access.log\ncoredump_dir " + proxyDir.Path() +
      "\nshutdown_lifetime 0 seconds\n";
  test::WriteFileBytes(proxyDir / "squid.conf", config);
  test::BackgroundProcess proxy({squid, "-N", "-f", proxyDir / "squid.conf"},
                                proxyDir / "stdout.log");
  ASSERT_TRUE(proxy.Started());
  if (!test::WaitForPort(port))
    GTEST_SKIP() << "squid did not start: " << test::ReadFileBytes(proxyDir / "cache.log");
  const test::ScopedEnv httpProxy("http_proxy", "http://127.0.0.1:" + std::to_string(port) + "/");
  const test::ScopedEnv noProxy("no_proxy", ""), noProxyUpper("NO_PROXY", "");

  test::StaticServer origin;
  origin.Release(1, {{"game.dat", "release one"}, {"data/map.dat", "map one"}});
  test::RunOutcome run = test::RunUpdate(origin.BaseUrl("localhost"));
  ASSERT_EQ(run.Status, kAllUpdated) << test::ReadFileBytes(proxyDir / "cache.log");
  // A week later; the proxy still holds the first release's answers as fresh.
  origin.Release(2, {{"game.dat", "release two"}, {"data/map.dat", "map one"}});
  run = test::RunUpdate(origin.BaseUrl("localhost"),
                        [](GFilesThread& worker) { worker.FRevision = 1; });
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(test::ReadFileBytes(FGame / "game.dat"), "release two");
  EXPECT_EQ(test::ReadFileBytes(FGame / "data/map.dat"), "map one");
  EXPECT_NE(test::ReadFileBytes(proxyDir / "access.log").find("localhost:"), std::string::npos)
      << "the runs went through the proxy";
}

}  // namespace
}  // namespace korvath
