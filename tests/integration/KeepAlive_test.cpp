// Connections kept alive for the run: a release of many small files comes over a few
// connections, at most one per file fetched at once plus the list's, and servers that close
// their connections after every answer, or soon after it, get the same files.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "engine/GetFilesThr.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {
namespace {

// A plain HTTP/1.1 server that keeps connections open as configured and counts those accepted.
class KeepAliveServer {
 public:
  explicit KeepAliveServer(size_t answersPerConnection, time_t idleSeconds) {
    FServer.set_keep_alive_max_count(answersPerConnection);
    FServer.set_keep_alive_timeout(idleSeconds);
    FServer.set_socket_options([this](socket_t) { ++FConnections; });
    FServer.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      const std::lock_guard lock(FLock);
      const auto body = FBodies.find(request.path.substr(1));
      if (body == FBodies.end()) {
        response.status = 404;
        return;
      }
      response.set_content(body->second, "application/octet-stream");
    });
    FPort = FServer.bind_to_any_port("127.0.0.1");
    FThread = std::thread([this] { FServer.listen_after_bind(); });
    while (!FServer.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~KeepAliveServer() {
    FServer.stop();
    FThread.join();
  }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }
  std::string Publish(const std::string& path, const std::string& content) {
    const std::string compressed = test::Bz2Compress(content);
    const std::lock_guard lock(FLock);
    FBodies[path + ".bz2"] = compressed;
    return path + "|" + test::Md5Hex(content) + "|" + std::to_string(compressed.size());
  }
  void PublishList(const std::string& text) {
    const std::lock_guard lock(FLock);
    FBodies["files.lst.bz2"] = test::Bz2Compress(text);
  }
  int Connections() const { return FConnections; }

 private:
  httplib::Server FServer;
  std::mutex FLock;
  std::map<std::string, std::string> FBodies;
  std::atomic<int> FConnections{0};
  int FPort = 0;
  std::thread FThread;
};

class KeepAlive : public SettingsFixture {};

TEST_F(KeepAlive, FiftyFilesComeOverAConnectionPerFileInFlightWhateverTheServerKeeps) {
  struct Case {
    const char* Name;
    size_t AnswersPerConnection;
    time_t IdleSeconds;
    int MostConnections;  // over the list and 50 files
  };
  const int most = static_cast<int>(kDefaultConnections) + 1;
  const std::vector<Case> cases{
      {"kept alive", 100, 5, most},
      {"closed after every answer", 1, 5, 51},
      {"closed after a few answers", 7, 5, 51},
      {"idle connections dropped at once", 100, 0, 51},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    KeepAliveServer server(c.AnswersPerConnection, c.IdleSeconds);
    std::vector<std::string> entries;
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 50; ++i) {
      const std::string name = "f" + std::to_string(i) + ".dat";
      expected[name] =
          std::string(static_cast<size_t>(100 + i * 37), static_cast<char>('a' + i % 26));
      entries.push_back(server.Publish(name, expected[name]));
    }
    server.PublishList(test::ListText(1, 0, entries, {}));
    for (const auto& [name, content] : expected) std::remove((FGame / name).c_str());

    const test::RunOutcome run = test::RunUpdate(server.BaseUrl());
    EXPECT_EQ(run.Status, kAllUpdated);
    EXPECT_EQ(test::FolderContents(FGame.Path()), expected);
    EXPECT_LE(server.Connections(), c.MostConnections);
  }
}

}  // namespace
}  // namespace korvath
