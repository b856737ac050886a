// HTTP through the Windows internet functions (WinINet) with the system's proxy settings,
// redirects and cache as WinINet applies them.
#include "platform/Http.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/Ascii.h"
#include "platform/Handle.h"

// wininet.h maps the name onto its A/W variants, which would rename the interface's method.
#undef DeleteUrlCacheEntry

namespace korvath::platform {
namespace {

// One HINTERNET; closing a session handle also ends what was opened through it.
struct InetTraits {
  using Type = HINTERNET;
  static constexpr HINTERNET Empty() noexcept { return nullptr; }
  static void Close(HINTERNET handle) noexcept { InternetCloseHandle(handle); }
};
using InetHandle = UniqueHandle<InetTraits>;

// A header of the answer as text; empty when it has none.
std::string QueryText(HINTERNET request, DWORD info) {
  std::string value(256, '\0');
  DWORD size = static_cast<DWORD>(value.size());
  if (!HttpQueryInfoA(request, info, value.data(), &size, nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    value.assign(size + 1, '\0');
    if (!HttpQueryInfoA(request, info, value.data(), &size, nullptr)) return {};
  }
  value.resize(size);
  return value;
}

HttpAnswer ReadAnswer(HINTERNET request) {
  HttpAnswer answer;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                     nullptr))
    answer.Status = static_cast<long>(status);
  const std::string length = QueryText(request, HTTP_QUERY_CONTENT_LENGTH);
  if (!length.empty() && length.size() < 19 &&
      length.find_first_not_of("0123456789") == std::string::npos)
    answer.ContentLength = std::stoll(length);
  answer.ContentRange = ParseContentRange(QueryText(request, HTTP_QUERY_CONTENT_RANGE));
  answer.ETag = QueryText(request, HTTP_QUERY_ETAG);
  answer.LastModified = QueryText(request, HTTP_QUERY_LAST_MODIFIED);
  return answer;
}

class InetResponse final : public HttpResponse {
 public:
  // The session's handle is shared so that it outlives this one, whichever owner goes first.
  InetResponse(std::shared_ptr<InetHandle> session, InetHandle url)
      : FSession(std::move(session)), FUrl(std::move(url)), FAnswer(ReadAnswer(FUrl.Get())) {}

  size_t Read(char* buffer, size_t count) override {
    DWORD got = 0;
    // A failed read delivers nothing, which ends the body.
    if (!InternetReadFile(FUrl.Get(), buffer, static_cast<DWORD>(std::min<size_t>(count, MAXDWORD)),
                          &got))
      FFailed = true;
    FReceived += got;
    return got;
  }
  HttpAnswer Answer() const override { return FAnswer; }
  bool BrokeOff() const override {
    return FFailed ||
           (FAnswer.ContentLength && FReceived < static_cast<uint64_t>(*FAnswer.ContentLength));
  }

 private:
  std::shared_ptr<InetHandle> FSession;
  InetHandle FUrl;  // declared after the session: closed before the session's reference goes
  HttpAnswer FAnswer;
  uint64_t FReceived = 0;
  bool FFailed = false;
};

// Whether a server answered at all. Windows fails the open of a connection that the server
// closes without a word, but Wine hands out a handle with no status line behind it; such a
// handle is no answer either. Any real status, error or not, counts as an answer.
bool Answered(HINTERNET request) {
  DWORD type = 0;
  DWORD size = sizeof type;
  if (!InternetQueryOptionA(request, INTERNET_OPTION_HANDLE_TYPE, &type, &size) ||
      type != INTERNET_HANDLE_TYPE_HTTP_REQUEST)
    return true;
  DWORD status = 0;
  size = sizeof status;
  return HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) &&
         status != 0;
}

// Redirects are followed here rather than by WinINet, whose Wine version follows a redirect
// loop for ever, and by the rule libcurl's client follows too.

// For a redirecting answer, the address it leads to, made absolute against From (empty when
// it cannot be made); nothing for any other answer.
std::optional<std::string> RedirectTarget(HINTERNET request, const std::string& from) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr) ||
      !IsRedirectStatus(static_cast<long>(status)))
    return std::nullopt;
  std::string location(2048, '\0');
  size = static_cast<DWORD>(location.size());
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    location.assign(size + 1, '\0');
    if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr))
      return std::nullopt;
  }
  location.resize(size);
  std::string combined(4096, '\0');
  size = static_cast<DWORD>(combined.size());
  if (!InternetCombineUrlA(from.c_str(), location.c_str(), combined.data(), &size, ICU_NO_ENCODE))
    return std::string();
  combined.resize(size);
  return combined;
}

// The internet handle of the run: every session opened while another one lives shares it, so
// that WinINet keeps each server's connections alive from one request and one session to the
// next. It goes with the last session.
std::shared_ptr<InetHandle> SharedInternet(const std::string& agent) {
  static std::mutex lock;
  static std::weak_ptr<InetHandle> shared;
  const std::lock_guard guard(lock);
  if (std::shared_ptr<InetHandle> handle = shared.lock()) return handle;
  auto handle = std::make_shared<InetHandle>(
      InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  // Options set on a null handle would change the defaults of the whole process; a session
  // that could not be opened simply fails its opens.
  if (handle->Get() == nullptr) return handle;
  const HttpTimeouts timeouts = CurrentHttpTimeouts();
  DWORD connect = static_cast<DWORD>(timeouts.ConnectSeconds) * 1000;
  DWORD receive = static_cast<DWORD>(timeouts.StallSeconds) * 1000;
  InternetSetOptionA(handle->Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionA(handle->Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
  // WinINet holds HTTP/1.1 to two connections a server by default; the run asks for up to
  // kMaxConnectionsPerServer files at once, each session one after the other.
  DWORD perServer = kMaxConnectionsPerServer;
  InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &perServer, sizeof perServer);
  InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &perServer,
                     sizeof perServer);
  shared = handle;
  return handle;
}

class InetSession final : public HttpSession {
 public:
  explicit InetSession(const std::string& agent) : FInternet(SharedInternet(agent)) {}

  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url,
                                        const HttpRequest& request) override {
    const std::string headers = RangeHeaders(request);
    // Every answer comes from the server, revalidated by any proxy on the way (pragma no-cache),
    // and none goes into the user's internet cache: a cached copy may be an older one, and a
    // game's files have no business there. Connections are kept for the next request.
    const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                        INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_KEEP_CONNECTION;
    std::string address = url;
    for (int redirects = 0;; ++redirects) {
      InetHandle handle = Open(address, headers, flags);
      // A kept connection that the server closed meanwhile answers nothing: that is no verdict on
      // the address, which is asked once more, on a new connection by then. The first request
      // of a session has no kept connection, and an address that cannot be reached at all is
      // not waited for twice.
      if (FOpened && handle.Get() != nullptr && !Answered(handle.Get()))
        handle = Open(address, headers, flags);
      FOpened = true;
      if (handle.Get() == nullptr || !Answered(handle.Get())) return nullptr;
      const std::optional<std::string> target = RedirectTarget(handle.Get(), address);
      if (!target) return std::make_unique<InetResponse>(FInternet, std::move(handle));
      if (redirects == kMaxRedirects || !MayFollowRedirect(address, *target)) return nullptr;
      address = *target;
    }
  }

  void DeleteUrlCacheEntry(const std::string& url) override {
    DeleteUrlCacheEntryA(url.c_str());  // an address that is not cached is no error here
  }

 private:
  InetHandle Open(const std::string& address, const std::string& headers, DWORD flags) {
    return InetHandle(InternetOpenUrlA(FInternet->Get(), address.c_str(),
                                       headers.empty() ? nullptr : headers.c_str(),
                                       static_cast<DWORD>(headers.size()), flags, 0));
  }

  std::shared_ptr<InetHandle> FInternet;
  bool FOpened = false;  // a request went out before: a connection of it may have been kept
};

}  // namespace

std::unique_ptr<HttpSession> OpenInternet(const std::string& agent) {
  return std::make_unique<InetSession>(agent);
}

}  // namespace korvath::platform
