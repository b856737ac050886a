// The server answers GET and HEAD for what the folder's current list names and nothing else: the
// list, its signature and the compressed copy of each listed file. No listings, no other files
// that happen to lie in the folder (keys, leftovers, dot files), no symbolic links on the way,
// and file bodies streamed from disk rather than read whole into memory.
#include "tools/publish/Serve.h"

// GCC 12 reports std::regex, which the server's routing uses, as maybe uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "list/FileEntry.h"
#include "list/LocalPath.h"
#include "list/PublishedNames.h"
#include "platform/Handle.h"
#include "tools/publish/ListText.h"
#include "tools/publish/Problems.h"
#include "transfer/Signature.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

constexpr size_t kBlock = 64 * 1024;

const std::string kNotFound =
    "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n";

constexpr const char* kListName = published::kList;

struct TFdTraits {
  using Type = int;
  static constexpr int Empty() noexcept { return -1; }
  static void Close(int fd) noexcept { ::close(fd); }
};
using TUniqueFd = platform::UniqueHandle<TFdTraits>;

// Opens Relative ("/" between folders) below the folder Root without following a symbolic link
// at any step, so that a link put into the folder cannot publish what lies outside it. Only
// regular files open.
TUniqueFd OpenBelow(int root, const std::string& relative) {
  TUniqueFd folder;
  int at = root;
  for (size_t start = 0;;) {
    const size_t slash = relative.find('/', start);
    const std::string name = relative.substr(start, slash - start);
    // Names starting with a dot (".." among them) are the site's own, as nginx is told too.
    if (name.empty() || name.front() == '.') return {};
    if (slash == std::string::npos) {
      TUniqueFd file(::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
      struct stat status {};
      if (!file || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
      return file;
    }
    folder = TUniqueFd(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) return {};
    at = folder.Get();
    start = slash + 1;
  }
}

// The names the current list publishes, read again whenever the list file is another one (a
// publish renames a new list into place) or has changed.
class TPublishedNames {
 public:
  TPublishedNames(const fs::path& rootPath, int root) : FRootPath(rootPath), FRoot(root) {}

  bool Contains(const std::string& relative) {
    if (relative == kListName || relative == std::string(kListName) + kSignatureSuffix) return true;
    std::lock_guard lock(FMutex);
    Refresh();
    return FNames.count(relative) != 0;
  }

 private:
  void Refresh() {
    struct stat status {};
    if (::fstatat(FRoot, kListName, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode)) {
      FNames.clear();
      FStamp = {};
      return;
    }
    const TStamp stamp{status.st_dev,         status.st_ino,          status.st_size,
                       status.st_mtim.tv_sec, status.st_mtim.tv_nsec, true};
    if (stamp == FStamp) return;
    FNames.clear();
    FStamp = stamp;
    TPublishedList published;
    try {
      published = ReadPublishedList((FRootPath / kListName).string());
    } catch (const std::exception&) {
      return;  // a list clients cannot read names nothing they could ask for
    }
    for (const TStringList* section : {&published.Self, &published.Critical, &published.Normal})
      for (const std::string& line : *section) {
        const TStringList fields = SplitFromEnd(line, "|");
        if (fields.size() < 3 || !RefusedPathReason(fields[2]).empty()) continue;
        FNames.insert(published::BzipCopyName(fields[2]));
        for (const TListedCopy& copy : ListedCopies(SplitFileEntry(line)))
          FNames.insert(PublishedCopyName(fields[2], copy.Format));
      }
    // Patches lie beside the copies under the digest of their base, which names no folder.
    for (const std::string& line : published.Patches) {
      const TStringList fields = SplitFromEnd(line, "|");
      if (fields.size() >= 4 && RefusedPathReason(fields[3]).empty() &&
          fields[2].find_first_of("/\\") == std::string::npos)
        FNames.insert(published::PatchName(fields[3], fields[2]));
    }
  }

  struct TStamp {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    time_t Seconds = 0;
    long Nanoseconds = 0;
    bool Present = false;
    bool operator==(const TStamp&) const = default;
  };

  const fs::path FRootPath;
  const int FRoot;
  std::mutex FMutex;
  TStamp FStamp;
  std::set<std::string> FNames;
};

void Answer(int root, TPublishedNames& names, const httplib::Request& request,
            httplib::Response& response) {
  const std::string relative = request.path.empty() ? "" : request.path.substr(1);
  TUniqueFd opened;
  struct stat status {};
  if (names.Contains(relative)) opened = OpenBelow(root, relative);
  if (!opened || ::fstat(opened.Get(), &status) != 0) {
    response.status = 404;
    response.set_content(kNotFound, "text/html");
    return;
  }
  // The body is whatever the file holds now; a publish in progress renames files into place,
  // so an open file keeps the content it had.
  const std::shared_ptr<TUniqueFd> file = std::make_shared<TUniqueFd>(std::move(opened));
  response.set_content_provider(
      static_cast<size_t>(status.st_size), "application/octet-stream",
      [file](size_t offset, size_t length, httplib::DataSink& sink) {
        std::vector<char> block(std::min(length, kBlock));
        const ssize_t done =
            ::pread(file->Get(), block.data(), block.size(), static_cast<off_t>(offset));
        if (done <= 0) return false;  // the file shrank or failed: the connection is dropped short
        return sink.write(block.data(), static_cast<size_t>(done));
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
  const TUniqueFd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!rootFd) throw EPublishError(folder + ": no such folder");
  TPublishedNames names(root, rootFd.Get());
  httplib::Server server;
  std::mutex outMutex;
  server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    Answer(rootFd.Get(), names, request, response);
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
