// A player behind a caching proxy with its default freshness rules: a release published a week
// after the one the proxy holds reaches the player, list and files, at the next run.
#include <gtest/gtest.h>
#include <httplib.h>
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
#include "tests/support/UpdateRunner.h"
#include "tests/support/posix/Background.h"

namespace korvath {
namespace {

// An origin server that sends what static servers send: a Last-Modified well in the past and
// no word on caching, which lets a proxy keep its answers for a day or more by heuristic.
class Origin {
 public:
  Origin() {
    FServer.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      const std::lock_guard lock(FLock);
      const auto body = FBodies.find(request.path.substr(1));
      if (body == FBodies.end()) {
        response.status = 404;
        return;
      }
      response.set_header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
      response.set_content(body->second, "application/octet-stream");
    });
    FPort = FServer.bind_to_any_port("127.0.0.1");
    FThread = std::thread([this] { FServer.listen_after_bind(); });
    while (!FServer.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Origin() {
    FServer.stop();
    FThread.join();
  }
  // Through the proxy, by a name the client does not keep off proxies (127.0.0.1 it does).
  std::string BaseUrl() const { return "http://localhost:" + std::to_string(FPort) + "/"; }
  void Release(int rev, const std::map<std::string, std::string>& files) {
    std::vector<std::string> entries;
    const std::lock_guard lock(FLock);
    for (const auto& [path, content] : files) {
      FBodies[path + ".bz2"] = test::Bz2Compress(content);
      entries.push_back(path + "|" + test::Md5Hex(content) + "|" +
                        std::to_string(FBodies[path + ".bz2"].size()));
    }
    FBodies["files.lst.bz2"] = test::Bz2Compress(test::ListText(rev, 0, entries, {}));
  }

 private:
  httplib::Server FServer;
  std::mutex FLock;
  std::map<std::string, std::string> FBodies;
  int FPort = 0;
  std::thread FThread;
};

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

  Origin origin;
  origin.Release(1, {{"game.dat", "release one"}, {"data/map.dat", "map one"}});
  test::RunOutcome run = test::RunUpdate(origin.BaseUrl());
  ASSERT_EQ(run.Status, kAllUpdated) << test::ReadFileBytes(proxyDir / "cache.log");
  // A week later; the proxy still holds the first release's answers as fresh.
  origin.Release(2, {{"game.dat", "release two"}, {"data/map.dat", "map one"}});
  run = test::RunUpdate(origin.BaseUrl(), [](GFilesThread& worker) { worker.FRevision = 1; });
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(test::ReadFileBytes(FGame / "game.dat"), "release two");
  EXPECT_EQ(test::ReadFileBytes(FGame / "data/map.dat"), "map one");
  EXPECT_NE(test::ReadFileBytes(proxyDir / "access.log").find("localhost:"), std::string::npos)
      << "the runs went through the proxy";
}

}  // namespace
}  // namespace korvath
