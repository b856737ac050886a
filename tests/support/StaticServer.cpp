#include "tests/support/StaticServer.h"

// GCC 12 with the sanitizers reports std::regex, which the server uses, as maybe uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <httplib.h>

#include <chrono>
#include <vector>

#include "tests/support/Bz2Compress.h"
#include "tests/support/Release.h"

namespace korvath::test {

StaticServer::StaticServer(size_t answersPerConnection, time_t idleSeconds)
    : FServer(std::make_unique<httplib::Server>()) {
  FServer->set_keep_alive_max_count(answersPerConnection);
  FServer->set_keep_alive_timeout(idleSeconds);
  FServer->set_socket_options([this](socket_t) { ++FConnections; });
  FServer->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(FLock);
    const auto body = FBodies.find(request.path.substr(1));
    if (body == FBodies.end()) {
      response.status = 404;
      return;
    }
    response.set_header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
    response.set_content(body->second, "application/octet-stream");
  });
  FPort = FServer->bind_to_any_port("127.0.0.1");
  FThread = std::thread([this] { FServer->listen_after_bind(); });
  while (!FServer->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

StaticServer::~StaticServer() {
  FServer->stop();
  FThread.join();
}

std::string StaticServer::BaseUrl(const std::string& host) const {
  return "http://" + host + ":" + std::to_string(FPort) + "/";
}

void StaticServer::Release(int rev, const std::map<std::string, std::string>& files) {
  std::vector<std::string> entries;
  const std::lock_guard lock(FLock);
  for (const auto& [path, content] : files) {
    const std::string copy = Bz2Compress(content);
    FBodies[path + ".bz2"] = copy;
    entries.push_back(path + "|" + Md5Hex(content) + "|" + std::to_string(copy.size()));
  }
  FBodies["files.lst.bz2"] = Bz2Compress(ListText(rev, 0, entries, {}));
}

}  // namespace korvath::test
