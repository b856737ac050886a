// The HTTP client the downloads use, behind one small interface: WinINet on Windows, libcurl
// elsewhere. Nothing else in the program sees either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvath::platform {

// A transfer gives up when no connection to the server is made within this time, and a body
// that delivers no byte for this long ends as if it broke off (Read returns 0).
inline constexpr int kHttpConnectTimeoutSeconds = 30;
inline constexpr int kHttpStallTimeoutSeconds = 30;

// The limits in force: the constants above, unless a test shortened them.
struct HttpTimeouts {
  int ConnectSeconds = kHttpConnectTimeoutSeconds;
  int StallSeconds = kHttpStallTimeoutSeconds;
};
HttpTimeouts CurrentHttpTimeouts();
// For tests only: a stalled body can then be shown to end within seconds.
void SetHttpTimeoutsForTests(HttpTimeouts timeouts);
// For tests only: the certificate authorities that https servers are checked against, a PEM
// file in place of the system's (empty: the system's). The Windows client keeps the system's.
void SetHttpCertificateAuthoritiesForTests(const std::string& pemFile);
std::string HttpCertificateAuthorities();

// What is asked beyond the address. A request from byte 0 without a validator is a plain GET;
// a later start asks for the rest of the body ("Range: bytes=From-"), and IfRange, when given,
// tells the server to send the whole current body instead should it no longer match.
struct HttpRequest {
  int64_t From = 0;
  std::string IfRange;
};

// The bytes a partial answer carries: where they start in the whole body, and that body's
// length (nothing when the server gives it as "*").
struct HttpContentRange {
  int64_t First = 0;
  std::optional<int64_t> Total;
  bool operator==(const HttpContentRange&) const = default;
};

// The head of the final answer, as far as a download looks at it.
struct HttpAnswer {
  long Status = 200;
  std::optional<int64_t> ContentLength;
  std::optional<HttpContentRange> ContentRange;
  std::string ETag;
  std::string LastModified;
};

// The body of one response, read in order. Read returns 0 at its end, and also when the
// transfer breaks off or fails; BrokeOff then tells these apart.
class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  virtual size_t Read(char* buffer, size_t count) = 0;
  virtual HttpAnswer Answer() const { return {}; }
  // Once Read has returned 0: true when fewer bytes came than Content-Length announced, or,
  // without one, when the transfer ended in an error (reset, stall past the limit).
  virtual bool BrokeOff() const { return false; }
};

// The most requests a run has in flight to one server at once, each on a session of its own.
inline constexpr int kMaxConnectionsPerServer = 8;

// A run's way to the servers for one request after the other: the connection a request used is
// kept alive for the next one. Every request asks caches on the way for a fresh answer. A
// session is used by one thread at a time; its responses go before it does.
class HttpSession {
 public:
  virtual ~HttpSession() = default;
  // Null when the address cannot be opened (no network, no such host, no answer). Any answer
  // of the server counts as opened, whatever its status; redirects are followed as
  // MayFollowRedirect allows, and one it refuses leaves the address unopened.
  virtual std::unique_ptr<HttpResponse> OpenUrl(const std::string& url,
                                                const HttpRequest& request) = 0;
  // Drops the address from the system's shared internet cache (nothing where there is none).
  virtual void DeleteUrlCacheEntry(const std::string& url) = 0;
};

// A Content-Range value ("bytes 100-199/1000", "bytes 100-199/*"); nothing when it is not one
// of a satisfied range.
std::optional<HttpContentRange> ParseContentRange(const std::string& value);
// The header line that asks for Request's part of a body, with If-Range when it has a
// validator, each ending in CRLF; empty for a plain request.
std::string RangeHeaders(const HttpRequest& request);

// The statuses whose Location both clients follow, at most kMaxRedirects times in a row: a
// longer chain, a redirect loop among them, is no answer.
inline constexpr int kMaxRedirects = 10;
bool IsRedirectStatus(long status);
// Whether a redirect from From to the absolute address To may be followed: only to a web
// address, and never from an encrypted one to a plain one, where anyone on the way could put
// other content under the server's name.
bool MayFollowRedirect(const std::string& from, const std::string& to);

// Opens a session with the given user agent, using the system's proxy configuration.
std::unique_ptr<HttpSession> OpenInternet(const std::string& agent);

}  // namespace korvath::platform
