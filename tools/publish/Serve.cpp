// The server answers GET and HEAD for the files of one folder and nothing else: no listings,
// no paths a client could not have been sent by a list (the client's own path check decides),
// and file bodies streamed from disk rather than read whole into memory.
#include "tools/publish/Serve.h"

// GCC 12 reports std::regex, which the server's routing uses, as maybe uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "list/LocalPath.h"
#include "platform/File.h"
#include "tools/publish/Problems.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

constexpr size_t kBlock = 64 * 1024;

const std::string kNotFound =
    "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n";

void Answer(const fs::path& root, const httplib::Request& request, httplib::Response& response) {
  const std::string relative = request.path.empty() ? "" : request.path.substr(1);
  std::shared_ptr<platform::File> file = std::make_shared<platform::File>();
  int64_t size = 0;
  std::error_code ec;
  const fs::path path = root / relative;
  // Files a publish is still writing (".part") are not published yet.
  const bool unfinished =
      relative.size() >= 5 && relative.compare(relative.size() - 5, 5, ".part") == 0;
  if (!RefusedPathReason(relative).empty() || unfinished || !fs::is_regular_file(path, ec) ||
      platform::File::Open(path.string(), platform::Access::Read, platform::Share::ReadWrite,
                           platform::Disposition::OpenExisting, *file) != 0 ||
      file->Size(size) != 0) {
    response.status = 404;
    response.set_content(kNotFound, "text/html");
    return;
  }
  // The body is whatever the file holds now; a publish in progress renames files into place,
  // so an open file keeps the content it had.
  response.set_content_provider(
      static_cast<size_t>(size), "application/octet-stream",
      [file](size_t offset, size_t length, httplib::DataSink& sink) {
        std::vector<char> block(std::min(length, kBlock));
        int64_t position = 0;
        size_t done = 0;
        if (file->Seek(static_cast<int64_t>(offset), platform::SeekFrom::Begin, position) != 0 ||
            file->Read(block.data(), block.size(), done) != 0 || done == 0)
          return false;  // the file shrank or failed: the connection is dropped short
        return sink.write(block.data(), done);
      });
}

std::string RequestLine(const httplib::Request& request, const httplib::Response& response) {
  size_t bytes = response.body.size();
  if (response.content_provider_ && request.method != "HEAD") bytes = response.content_length_;
  return Printable(request.remote_addr + " \"" + request.method + " " + request.target + " " +
                   request.version + "\" " + std::to_string(response.status) + " " +
                   std::to_string(bytes) + " \"" + request.get_header_value("User-Agent") + "\"");
}

// SIGINT and SIGTERM are taken by a thread of their own that stops the server: the server may
// not be stopped from a signal handler. A signal that comes before the server runs waits for it.
class TStopOnSignal {
 public:
  explicit TStopOnSignal(httplib::Server& server) {
    sigemptyset(&FSignals);
    sigaddset(&FSignals, SIGINT);
    sigaddset(&FSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &FSignals, &FPrevious);
    FWaiter = std::thread([this, &server] {
      int signal = 0;
      sigwait(&FSignals, &signal);
      while (!FDone) {
        if (server.is_running()) {
          server.stop();  // once only: a second stop while it winds down is not allowed
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
  }
  ~TStopOnSignal() {
    // Ends the wait when the server stopped, or never started, without a signal.
    FDone = true;
    pthread_kill(FWaiter.native_handle(), SIGTERM);
    FWaiter.join();
    pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr);
  }
  TStopOnSignal(const TStopOnSignal&) = delete;
  TStopOnSignal& operator=(const TStopOnSignal&) = delete;

 private:
  sigset_t FSignals;
  sigset_t FPrevious;
  std::atomic<bool> FDone{false};
  std::thread FWaiter;
};

}  // namespace

void Serve(const std::string& folder, const std::string& bind, int port, std::FILE* out) {
  const fs::path root = fs::absolute(folder);
  if (!fs::is_directory(root)) throw EPublishError(folder + ": no such folder");
  httplib::Server server;
  std::mutex outMutex;
  server.Get(".*", [&root](const httplib::Request& request, httplib::Response& response) {
    Answer(root, request, response);
  });
  server.set_logger([&](const httplib::Request& request, const httplib::Response& response) {
    std::lock_guard lock(outMutex);
    std::fprintf(out, "%s\n", RequestLine(request, response).c_str());
    std::fflush(out);
  });
  // Before any thread of the server starts, so that every thread inherits the blocked signals.
  TStopOnSignal stopper(server);
  if (port == 0)
    port = server.bind_to_any_port(bind);
  else if (!server.bind_to_port(bind, port))
    port = -1;
  if (port <= 0) throw EPublishError(Format("Cannot listen on %s port %d", bind.c_str(), port));
  const std::string host = bind.find(':') != std::string::npos ? "[" + bind + "]" : bind;
  {
    std::lock_guard lock(outMutex);
    std::fprintf(out, "korvath-publish: serving %s at http://%s:%d/ (Ctrl-C stops)\n",
                 root.string().c_str(), host.c_str(), port);
    std::fflush(out);
  }
  server.listen_after_bind();
}

}  // namespace korvath::publish
