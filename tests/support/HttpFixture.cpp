#include "tests/support/HttpFixture.h"

// GCC 12 with the sanitizers reports std::regex, which the server uses, as maybe uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "engine/Transfer.h"
#include "tests/support/System.h"

namespace korvath::test {

const std::string HttpFixture::kNotFoundPage =
    "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>";

using Handler = std::function<void(httplib::Response&)>;

// Clients talk to a small front of our own, which writes each request down and then either
// drops the connection (a path without an answer: the server in front cannot do that) or
// passes the request to the server behind it and relays the answer back until the server
// closes. The server answers one request per connection, so nothing follows the request.
struct HttpFixture::Impl {
  httplib::Server Server;
  std::thread ServerThread;
  socket_t Front = INVALID_SOCKET;
  int Port = -1;
  int ServerPort = -1;
  std::thread FrontThread;
  std::atomic<bool> Stopping{false};

  mutable std::mutex Mutex;
  std::map<std::string, Handler> Routes;
  std::set<std::string> Silent;  // paths that get no answer
  std::vector<HttpRequestRecord> Requests;
  std::vector<std::thread> Connections;

  void Route(const std::string& path, Handler handler) {
    std::lock_guard lock(Mutex);
    Silent.erase(path);
    Routes[path] = std::move(handler);
  }

  void Answer(const httplib::Request& request, httplib::Response& response) {
    const std::string path = request.path.empty() ? "" : request.path.substr(1);
    Handler handler;
    {
      std::lock_guard lock(Mutex);
      const auto found = Routes.find(path);
      if (found != Routes.end()) handler = found->second;
    }
    if (handler) {
      handler(response);
    } else {
      response.status = 404;
      response.set_content(kNotFoundPage, "text/html");
    }
  }

  void OpenFront();
  void AcceptLoop();
  void Relay(socket_t client);
};

namespace {

const int kSendFlags = QuietSendFlags();  // a client that went away must not end the tests
constexpr size_t kMaxRequestHead = 64 * 1024;
// Waits are short rounds, so that stopping never waits long for a thread to notice.
constexpr long kRoundMicroseconds = 20000;
constexpr int kRequestWaitRounds = 250;  // five seconds for a request to come in

bool SendAll(socket_t sock, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = httplib::detail::send_socket(sock, data, size, kSendFlags);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void CloseSocket(socket_t sock) {
  httplib::detail::shutdown_socket(sock);
  httplib::detail::close_socket(sock);
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// The request line's path, decoded and without the leading "/", and the User-Agent header.
HttpRequestRecord ParseRequestHead(const std::string& head) {
  HttpRequestRecord record;
  const size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const size_t targetStart = line.find(' ');
  const size_t targetEnd = line.find(' ', targetStart + 1);
  if (targetStart != std::string::npos) {
    std::string target = line.substr(targetStart + 1, targetEnd - targetStart - 1);
    target = target.substr(0, target.find('?'));
    if (!target.empty() && target[0] == '/') target.erase(0, 1);
    record.Path = httplib::detail::decode_url(target, false);
  }
  for (size_t at = lineEnd; at != std::string::npos && at + 2 < head.size();) {
    const size_t next = head.find("\r\n", at + 2);
    const std::string header = head.substr(at + 2, next - at - 2);
    const size_t colon = header.find(':');
    if (colon != std::string::npos) {
      std::string name = header.substr(0, colon);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const size_t valueStart = header.find_first_not_of(' ', colon + 1);
      const std::string value = valueStart == std::string::npos ? "" : header.substr(valueStart);
      if (name == "user-agent") record.UserAgent = value;
      if (name == "range") record.Range = value;
      if (name == "if-range") record.IfRange = value;
    }
    at = next;
  }
  return record;
}

// Head without its Range and If-Range lines.
std::string WithoutRangeHeaders(const std::string& head) {
  std::string result;
  for (size_t at = 0; at < head.size();) {
    const size_t next = std::min(head.find("\r\n", at), head.size()) + 2;
    std::string name = head.substr(at, std::min(head.find(':', at), next) - at);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "range" && name != "if-range") result += head.substr(at, next - at);
    at = next;
  }
  return result;
}

}  // namespace

void HttpFixture::Impl::OpenFront() {
  Front = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (Front == INVALID_SOCKET) return;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(Front, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(Front, 64) != 0 ||
      getsockname(Front, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    httplib::detail::close_socket(Front);
    Front = INVALID_SOCKET;
    return;
  }
  Port = ntohs(address.sin_port);
}

void HttpFixture::Impl::AcceptLoop() {
  while (!Stopping) {
    if (httplib::detail::select_read(Front, 0, kRoundMicroseconds) <= 0) continue;
    const socket_t client = accept(Front, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    std::lock_guard lock(Mutex);
    Connections.emplace_back([this, client] { Relay(client); });
  }
}

void HttpFixture::Impl::Relay(socket_t client) {
  std::string head;
  std::array<char, 16 * 1024> buffer{};
  for (int round = 0; head.find("\r\n\r\n") == std::string::npos; ++round) {
    if (Stopping || round == kRequestWaitRounds || head.size() > kMaxRequestHead) {
      CloseSocket(client);
      return;
    }
    if (httplib::detail::select_read(client, 0, kRoundMicroseconds) <= 0) continue;
    const ssize_t n = httplib::detail::read_socket(client, buffer.data(), buffer.size(), 0);
    if (n <= 0) {
      CloseSocket(client);
      return;
    }
    head.append(buffer.data(), static_cast<size_t>(n));
  }
  const HttpRequestRecord record = ParseRequestHead(head);
  bool silent = false;
  {
    std::lock_guard lock(Mutex);
    Requests.push_back(record);
    silent = Silent.count(record.Path) != 0;
  }
  const socket_t server = silent ? INVALID_SOCKET : socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (server != INVALID_SOCKET) {
    const sockaddr_in address = Loopback(ServerPort);
    const std::string forwarded = WithoutRangeHeaders(head);
    if (connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        SendAll(server, forwarded.data(), forwarded.size())) {
      while (!Stopping) {
        const ssize_t ready = httplib::detail::select_read(server, 0, kRoundMicroseconds);
        if (ready < 0) break;
        if (ready == 0) continue;
        const ssize_t n = httplib::detail::read_socket(server, buffer.data(), buffer.size(), 0);
        if (n <= 0 || !SendAll(client, buffer.data(), static_cast<size_t>(n))) break;
      }
    }
    CloseSocket(server);
  }
  CloseSocket(client);
}

HttpFixture::HttpFixture() : FImpl(std::make_unique<Impl>()) {
  static const bool loopbackDirect = (KeepLoopbackOffProxies(), true);
  static_cast<void>(loopbackDirect);
  // Bodies broken off on purpose are asked for again at once: the pauses between attempts
  // would only make the tests slow.
  SetDownloadRetryForTests({kDownloadAttempts, std::chrono::milliseconds(1)});
  // One request per connection: nothing lingers between downloads, and stopping never waits
  // for an idle connection of the client's.
  FImpl->Server.set_keep_alive_max_count(1);
  FImpl->Server.Get(
      ".*", [impl = FImpl.get()](const httplib::Request& request, httplib::Response& response) {
        impl->Answer(request, response);
      });
  FImpl->ServerPort = FImpl->Server.bind_to_any_port("127.0.0.1");
  FImpl->OpenFront();
  if (FImpl->ServerPort <= 0 || FImpl->Front == INVALID_SOCKET) {
    ADD_FAILURE() << "the test HTTP server cannot listen on 127.0.0.1";
    return;
  }
  FImpl->ServerThread = std::thread([impl = FImpl.get()] { impl->Server.listen_after_bind(); });
  // Stopping a server that has not started running yet would leave it running for good.
  while (!FImpl->Server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  FImpl->FrontThread = std::thread([impl = FImpl.get()] { impl->AcceptLoop(); });
}

HttpFixture::~HttpFixture() {
  FImpl->Stopping = true;
  if (FImpl->FrontThread.joinable()) FImpl->FrontThread.join();
  if (FImpl->Front != INVALID_SOCKET) httplib::detail::close_socket(FImpl->Front);
  for (auto& connection : FImpl->Connections) connection.join();
  if (FImpl->ServerThread.joinable()) {
    FImpl->Server.stop();
    FImpl->ServerThread.join();
  }
}

std::string HttpFixture::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(FImpl->Port) + "/";
}

void HttpFixture::ServeBody(const std::string& path, const std::string& body, int status,
                            const std::string& contentType) {
  FImpl->Route(path, [body, status, contentType](httplib::Response& response) {
    response.status = status;
    if (body.empty())
      response.set_header("Content-Type", contentType);  // Content-Length: 0 comes by itself
    else
      response.set_content(body, contentType);
  });
}

void HttpFixture::ServeBrokenBody(const std::string& path, const std::string& sentPart,
                                  size_t announcedLength) {
  FImpl->Route(path, [sentPart, announcedLength](httplib::Response& response) {
    response.set_content_provider(
        announcedLength, "application/octet-stream",
        [sentPart](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset == 0 && !sentPart.empty()) sink.write(sentPart.data(), sentPart.size());
          return false;  // the server gives up: the connection is closed short of the length
        });
  });
}

void HttpFixture::ServeSlowBody(const std::string& path, const std::vector<std::string>& pieces,
                                std::chrono::milliseconds pause) {
  size_t total = 0;
  for (const auto& piece : pieces) total += piece.size();
  FImpl->Route(path, [pieces, pause, total](httplib::Response& response) {
    response.set_content_provider(total, "application/octet-stream",
                                  [pieces, pause](size_t offset, size_t, httplib::DataSink& sink) {
                                    // Each call sends one whole piece, so offset is where the next
                                    // piece starts.
                                    size_t start = 0;
                                    for (const auto& piece : pieces) {
                                      if (start == offset && !piece.empty()) {
                                        std::this_thread::sleep_for(pause);
                                        return sink.write(piece.data(), piece.size());
                                      }
                                      start += piece.size();
                                    }
                                    return false;
                                  });
  });
}

void HttpFixture::ServeRedirect(const std::string& path, const std::string& target, int status) {
  const std::string location = target.find(':') == std::string::npos ? BaseUrl() + target : target;
  FImpl->Route(path, [location, status](httplib::Response& response) {
    response.set_redirect(location, status);
  });
}

void HttpFixture::ServeNoAnswer(const std::string& path) {
  std::lock_guard lock(FImpl->Mutex);
  FImpl->Routes.erase(path);
  FImpl->Silent.insert(path);
}

void HttpFixture::ServeScript(const std::string& path, std::vector<HttpScriptedAnswer> answers) {
  auto next = std::make_shared<std::atomic<size_t>>(0);
  FImpl->Route(path, [answers = std::move(answers), next](httplib::Response& response) {
    const HttpScriptedAnswer& a = answers[std::min((*next)++, answers.size() - 1)];
    response.status = a.Status;
    if (!a.ContentRange.empty()) response.set_header("Content-Range", a.ContentRange);
    if (!a.ETag.empty()) response.set_header("ETag", a.ETag);
    response.set_content_provider(
        a.ContentLength, "application/octet-stream",
        [sent = a.Sent, whole = a.Sent.size() >= a.ContentLength](size_t offset, size_t,
                                                                  httplib::DataSink& sink) {
          if (offset == 0 && !sent.empty()) sink.write(sent.data(), sent.size());
          return whole;  // short of the length the server gives up, and the connection closes
        });
  });
}

std::vector<HttpRequestRecord> HttpFixture::Requests() const {
  std::lock_guard lock(FImpl->Mutex);
  return FImpl->Requests;
}

}  // namespace korvath::test
