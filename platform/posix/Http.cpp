// HTTP through libcurl. One easy transfer per opened address, driven through the session's
// multi handle so that the reader pulls the body: curl is paused whenever the reader falls
// behind. The multi handle outlives the transfers and keeps their connections alive for the
// next request of the session.
#include "platform/Http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Ascii.h"
#include "platform/Handle.h"

namespace korvath::platform {
namespace {

// Bytes kept ahead of the reader. Beyond this curl is paused, so a fast server never makes the
// program hold more than this (plus one chunk of curl's) of a body in memory.
constexpr size_t kBufferLimit = 64 * 1024;
// How long one wait for network activity lasts before curl's own timers are looked at again.
constexpr int kPollMilliseconds = 1000;

void InitCurlOnce() {
  // A function-local static is initialized exactly once, even with several threads racing.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  static_cast<void>(init);  // curl_easy_init reports any failure that matters
}

struct EasyTraits {
  using Type = CURL*;
  static constexpr CURL* Empty() noexcept { return nullptr; }
  static void Close(CURL* handle) noexcept { curl_easy_cleanup(handle); }
};
struct MultiTraits {
  using Type = CURLM*;
  static constexpr CURLM* Empty() noexcept { return nullptr; }
  static void Close(CURLM* handle) noexcept { curl_multi_cleanup(handle); }
};
struct SlistTraits {
  using Type = curl_slist*;
  static constexpr curl_slist* Empty() noexcept { return nullptr; }
  static void Close(curl_slist* list) noexcept { curl_slist_free_all(list); }
};
using EasyHandle = UniqueHandle<EasyTraits>;
using HeaderList = UniqueHandle<SlistTraits>;
using MultiHandle = UniqueHandle<MultiTraits>;

// Keeps an easy handle in a multi handle; the handle must leave before either is cleaned up.
class MultiMembership {
 public:
  MultiMembership() = default;
  MultiMembership(CURLM* multi, CURL* easy) : FMulti(multi), FEasy(easy) {}
  MultiMembership(const MultiMembership&) = delete;
  MultiMembership& operator=(const MultiMembership&) = delete;
  ~MultiMembership() {
    if (FMulti != nullptr) curl_multi_remove_handle(FMulti, FEasy);
  }

 private:
  CURLM* FMulti = nullptr;
  CURL* FEasy = nullptr;
};

// curl refuses addresses with spaces or raw control and 8-bit bytes, which the Windows build
// sends escaped; escaping them here keeps file names with such bytes fetchable.
std::string EscapeUrl(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(url.size());
  for (const char c : url) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7f) {
      result += '%';
      result += kHex[b >> 4];
      result += kHex[b & 0x0f];
    } else {
      result += c;
    }
  }
  return result;
}

// The value of a header line, without its name and the blanks around it.
std::string HeaderValue(std::string_view line) {
  line.remove_prefix(std::min(line.find(':') + 1, line.size()));
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() &&
         (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  return std::string(line);
}

class CurlResponse final : public HttpResponse {
 public:
  // Runs transfers, following redirects, until the final answer's headers are in. False when
  // no answer came at all (no connection, no such host, timeout) or a redirect is refused.
  explicit CurlResponse(CURLM* multi) : FMulti(multi) {}
  bool Open(const std::string& url, const std::string& agent, const HttpRequest& request);
  size_t Read(char* buffer, size_t count) override;
  HttpAnswer Answer() const override { return FAnswer; }
  bool BrokeOff() const override {
    return FDone &&
           (FResult != CURLE_OK ||
            (FAnswer.ContentLength && FReceived < static_cast<uint64_t>(*FAnswer.ContentLength)));
  }

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  // One round of network work: resumes a paused transfer, lets curl run, and waits for
  // activity when there was nothing to do.
  void Drive();
  size_t Buffered() const { return FBuffer.size() - FReadPos; }
  // Starts the transfer of one address and runs it until its answer's headers are in; false as
  // for Open. FRedirect then says whether the answer leads elsewhere.
  bool OpenOne(const std::string& url, const std::string& agent, const HttpRequest& request,
               bool fresh);

  // Declared in this order so that the membership ends first, then the easy handle goes.
  CURLM* FMulti;  // the session's
  EasyHandle FEasy;
  HeaderList FHeaders;  // sent with the request, so kept as long as the transfer
  std::unique_ptr<MultiMembership> FMembership;

  std::string FBuffer;  // bytes received and not yet read, from FReadPos on
  size_t FReadPos = 0;
  bool FPaused = false;
  bool FDone = false;
  CURLcode FResult = CURLE_OK;  // how the transfer ended, once FDone
  bool FHeadersIn = false;      // the final answer's headers are in
  bool FHasLocation = false;    // the answer being received names another address
  bool FRedirect = false;       // the answer whose headers are in redirects
  HttpAnswer FAnswer;           // the head of the answer being received
  uint64_t FReceived = 0;       // body bytes of that answer handed over by curl
};

bool CurlResponse::Open(const std::string& url, const std::string& agent,
                        const HttpRequest& request) {
  std::string address = url;
  for (int redirects = 0;; ++redirects) {
    if (!OpenOne(address, agent, request, false)) {
      // A kept connection the server closed meanwhile, or that broke on this request, is no
      // verdict on the address: it is asked once more on a new connection.
      long connects = 0;
      curl_easy_getinfo(FEasy.Get(), CURLINFO_NUM_CONNECTS, &connects);
      if (connects != 0 || !OpenOne(address, agent, request, true)) return false;
    }
    if (!FRedirect) return true;
    // curl makes the Location absolute without following it.
    const char* target = nullptr;
    curl_easy_getinfo(FEasy.Get(), CURLINFO_REDIRECT_URL, &target);
    if (target == nullptr || redirects == kMaxRedirects || !MayFollowRedirect(address, target))
      return false;
    address = target;
  }
}

bool CurlResponse::OpenOne(const std::string& url, const std::string& agent,
                           const HttpRequest& request, bool fresh) {
  InitCurlOnce();
  FMembership.reset();
  FBuffer.clear();
  FReadPos = 0;
  FPaused = FDone = FHeadersIn = FHasLocation = FRedirect = false;
  FResult = CURLE_OK;
  FAnswer = {};
  FReceived = 0;
  FEasy.Reset(curl_easy_init());
  if (FMulti == nullptr || !FEasy) return false;
  CURL* const h = FEasy.Get();
  const std::string escaped = EscapeUrl(url);
  curl_easy_setopt(h, CURLOPT_URL, escaped.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
  // Only web addresses: a server must not point the program at files. Redirects are followed
  // by Open, by the rule the Windows client follows too: do NOT set CURLOPT_FOLLOWLOCATION.
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  // Error statuses deliver their body like any other answer: do NOT set CURLOPT_FAILONERROR.
  // Nor CURLOPT_ACCEPT_ENCODING: the body is stored exactly as the server publishes it.
  // No CURLOPT_PROXY either: curl then takes http_proxy, HTTPS_PROXY and no_proxy from the
  // environment, which is the system's proxy configuration here.
  const HttpTimeouts timeouts = CurrentHttpTimeouts();
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeouts.ConnectSeconds));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.StallSeconds));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // the transfer runs on a worker thread
  if (fresh) curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
  // Certificates are checked against the system's authorities and must name the host: do NOT
  // turn CURLOPT_SSL_VERIFYPEER or CURLOPT_SSL_VERIFYHOST off here. Tests name their own
  // authority instead.
  const std::string authorities = HttpCertificateAuthorities();
  if (!authorities.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, authorities.c_str());
  // A proxy's answer to opening a tunnel is not the server's answer.
  curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CurlResponse::OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlResponse::OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  // The range and its validator go as headers of our own: curl's own resume option would turn
  // a whole-body answer into an error, where the caller wants to see it and start over.
  FHeaders.Reset();
  // Every answer must be the server's current one: a cache on the way (a proxy) revalidates
  // before it hands anything on, or a player would stay on an old list and its files.
  const std::string headers =
      RangeHeaders(request) + "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  for (size_t at = 0; at < headers.size();) {
    const size_t end = headers.find("\r\n", at);
    curl_slist* const list =
        curl_slist_append(FHeaders.Get(), headers.substr(at, end - at).c_str());
    if (list == nullptr) return false;
    FHeaders.Release();
    FHeaders.Reset(list);
    at = end + 2;
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, FHeaders.Get());
  if (curl_multi_add_handle(FMulti, h) != CURLM_OK) return false;
  FMembership = std::make_unique<MultiMembership>(FMulti, h);

  while (!FHeadersIn && !FDone) Drive();
  // Ended before an answer's headers were seen: opened when curl completed the transfer anyway.
  return FHeadersIn || FResult == CURLE_OK;
}

size_t CurlResponse::Read(char* buffer, size_t count) {
  if (count == 0) return 0;
  while (Buffered() == 0) {
    FBuffer.clear();
    FReadPos = 0;
    // Broken off, timed out or complete: the body ends here in every case.
    if (FDone) return 0;
    Drive();
  }
  const size_t n = std::min(count, Buffered());
  std::memcpy(buffer, FBuffer.data() + FReadPos, n);
  FReadPos += n;
  return n;
}

void CurlResponse::Drive() {
  if (FPaused) {
    FPaused = false;
    // May hand over held-back data at once, through OnBody.
    curl_easy_pause(FEasy.Get(), CURLPAUSE_CONT);
  }
  int running = 0;
  if (curl_multi_perform(FMulti, &running) != CURLM_OK) {
    FDone = true;
    FResult = CURLE_FAILED_INIT;
    return;
  }
  int queued = 0;
  while (const CURLMsg* message = curl_multi_info_read(FMulti, &queued)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == FEasy.Get()) {
      FDone = true;
      FResult = message->data.result;
    }
  }
  if (!FDone && Buffered() == 0 && !FPaused)
    curl_multi_poll(FMulti, nullptr, 0, kPollMilliseconds, nullptr);
}

size_t CurlResponse::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto& r = *static_cast<CurlResponse*>(self);
  const std::string_view line(data, size * count);
  if (StartsWithText(line, "http/")) {
    r.FHasLocation = false;
    r.FAnswer = {};
  } else if (StartsWithText(line, "location:")) {
    r.FHasLocation = true;
  } else if (StartsWithText(line, "content-range:")) {
    r.FAnswer.ContentRange = ParseContentRange(HeaderValue(line));
  } else if (StartsWithText(line, "content-length:")) {
    const std::string value = HeaderValue(line);
    if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos &&
        value.size() < 19)
      r.FAnswer.ContentLength = std::stoll(value);
  } else if (StartsWithText(line, "etag:")) {
    r.FAnswer.ETag = HeaderValue(line);
  } else if (StartsWithText(line, "last-modified:")) {
    r.FAnswer.LastModified = HeaderValue(line);
  } else if (line == "\r\n" || line == "\n") {
    long status = 0;
    curl_easy_getinfo(r.FEasy.Get(), CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200) {
      r.FAnswer.Status = status;
      r.FHeadersIn = true;
      r.FRedirect = IsRedirectStatus(status) && r.FHasLocation;
    }
  }
  return size * count;
}

size_t CurlResponse::OnBody(char* data, size_t size, size_t count, void* self) {
  auto& r = *static_cast<CurlResponse*>(self);
  const size_t n = size * count;
  if (r.Buffered() > 0 && r.Buffered() + n > kBufferLimit) {
    // curl hands the same bytes over again once the transfer is resumed.
    r.FPaused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  r.FHeadersIn = true;
  if (r.FReadPos > 0) {
    r.FBuffer.erase(0, r.FReadPos);
    r.FReadPos = 0;
  }
  r.FBuffer.append(data, n);
  r.FReceived += n;
  return n;
}

// One connection's worth of transfers, one after the other: the multi handle's connection cache
// keeps the last connection to each host open for the next request. A response must be gone
// before the session goes, and before the next request is opened.
class CurlSession final : public HttpSession {
 public:
  explicit CurlSession(std::string agent) : FAgent(std::move(agent)) {
    InitCurlOnce();
    FMulti.Reset(curl_multi_init());
  }

  std::unique_ptr<HttpResponse> OpenUrl(const std::string& url,
                                        const HttpRequest& request) override {
    auto response = std::make_unique<CurlResponse>(FMulti.Get());
    if (!response->Open(url, FAgent, request)) return nullptr;
    return response;
  }

  // libcurl keeps no cache shared with other programs: there is nothing to drop.
  void DeleteUrlCacheEntry(const std::string&) override {}

 private:
  std::string FAgent;
  MultiHandle FMulti;
};

}  // namespace

std::unique_ptr<HttpSession> OpenInternet(const std::string& agent) {
  return std::make_unique<CurlSession>(agent);
}

}  // namespace korvath::platform
