// A loopback HTTP server for tests: serves bodies, error pages, broken-off and slow bodies and
// redirects on demand, and writes down every request it gets.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace korvath::test {

struct HttpRequestRecord {
  std::string Path;  // as asked, decoded, without the leading "/"
  std::string UserAgent;
  std::string Range;  // the Range and If-Range headers, empty when not sent
  std::string IfRange;
};

// One answer of a script: status, headers, and the bytes of the body that are sent before the
// connection closes, short of Content-Length when that is larger.
struct HttpScriptedAnswer {
  int Status = 200;
  std::string Sent;
  size_t ContentLength = 0;
  std::string ContentRange;  // each header only when not empty
  std::string ETag;
};

// Listens on 127.0.0.1 on a free port from construction to destruction, in threads of its own.
// Paths are given relative to BaseUrl(); unknown paths answer 404 with an HTML page.
class HttpFixture {
 public:
  HttpFixture();
  ~HttpFixture();
  HttpFixture(const HttpFixture&) = delete;
  HttpFixture& operator=(const HttpFixture&) = delete;

  // "http://127.0.0.1:<port>/"
  std::string BaseUrl() const;

  // The body as it stands, with any status (an error status with an HTML page, say).
  void ServeBody(const std::string& path, const std::string& body, int status = 200,
                 const std::string& contentType = "application/octet-stream");
  // Announces announcedLength bytes, sends sentPart, then drops the connection.
  void ServeBrokenBody(const std::string& path, const std::string& sentPart,
                       size_t announcedLength);
  // Sends the pieces one by one with a pause before each.
  void ServeSlowBody(const std::string& path, const std::vector<std::string>& pieces,
                     std::chrono::milliseconds pause);
  // Answers with status and a Location of BaseUrl() + target, or of target itself when it
  // names a scheme ("ftp://...").
  void ServeRedirect(const std::string& path, const std::string& target, int status = 302);
  // Reads the request and closes the connection without a word, as a dead server would.
  void ServeNoAnswer(const std::string& path);
  // Answers the n-th request for path with answers[n], and the last one after them all.
  // Requests reach the server behind without their Range and If-Range headers, so that only
  // the script decides what is sent.
  void ServeScript(const std::string& path, std::vector<HttpScriptedAnswer> answers);

  std::vector<HttpRequestRecord> Requests() const;

  // The page unknown paths get, with status 404.
  static const std::string kNotFoundPage;

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

}  // namespace korvath::test
