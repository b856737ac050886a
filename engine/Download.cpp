// Fetching one address of the update server into one sink, byte for byte.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/Transfer.h"
#include "platform/File.h"
#include "platform/Http.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// Each read asks for at most this much, so the gauge moves after every kilobyte or less.
constexpr size_t kTransferBufferSize = 1024;

std::atomic<int> gAttempts{kDownloadAttempts};
std::atomic<int64_t> gFirstPauseMs{kFirstRetryPause.count()};

// What a continuation must match to be the same body: a strong ETag, else Last-Modified. A
// weak ETag says nothing about the bytes.
std::string Validator(const platform::HttpAnswer& answer) {
  if (!answer.ETag.empty() && answer.ETag.rfind("W/", 0) != 0) return answer.ETag;
  return answer.LastModified;
}

// The body being received whole: its length and validator, known once a 200 answer with a
// Content-Length came. Only such a body can be continued.
struct TWholeBody {
  int64_t Length = 0;
  std::string Validator;
};
std::optional<TWholeBody> WholeBody(const platform::HttpAnswer& answer) {
  if (answer.Status != 200 || !answer.ContentLength) return std::nullopt;
  return TWholeBody{*answer.ContentLength, Validator(answer)};
}

// A validator of the server's, which If-Range can carry and an answer can be compared with.
bool ServerVouches(const TWholeBody& body) {
  return !body.Validator.empty() && !IsDigestValidator(body.Validator);
}

// Whether Answer carries the asked-for rest of Body, so that its bytes may follow those stored.
bool Continues(const platform::HttpAnswer& answer, int64_t from, const TWholeBody& body) {
  return answer.Status == 206 && answer.ContentRange &&
         *answer.ContentRange == platform::HttpContentRange{from, body.Length} &&
         (!ServerVouches(body) || Validator(answer) == body.Validator);
}

// The request for the rest of Body from byte From: If-Range only with the server's validator.
platform::HttpRequest RestOf(const TWholeBody& body, int64_t from) {
  return platform::HttpRequest{from, ServerVouches(body) ? body.Validator : std::string()};
}

// The body being received whole, with the sink's digest validator standing in for a server
// that sends none.
std::optional<TWholeBody> WholeBodyFor(const platform::HttpAnswer& answer,
                                       const IDownloadSink& sink) {
  std::optional<TWholeBody> body = WholeBody(answer);
  if (body && body->Validator.empty()) body->Validator = sink.DigestValidatorOf();
  return body;
}

// A body that a later run may continue is noted in the sink before its first byte is stored:
// one that tells its whole length and carries a validator.
void NoteBody(IDownloadSink& sink, const std::string& url, const std::optional<TWholeBody>& body) {
  if (body && body->Length > 0 && !body->Validator.empty())
    sink.BodyBegins(TResumeRecord{url, body->Validator, body->Length});
}

// Reads Response to its end into Sink, counting on from Total.
void ReadBody(platform::HttpResponse& response, IDownloadSink& sink,
              const std::function<void(int64_t received)>& received, int64_t maxBytes,
              int64_t& total) {
  std::array<char, kTransferBufferSize> buffer;
  size_t n = 0;
  do {
    n = response.Read(buffer.data(), buffer.size());
    total += static_cast<int64_t>(n);
    if (maxBytes != kNoLimit && total > maxBytes) {
      // An endless or oversized body is cut off here and never stored.
      sink.Discard();
      throw EDownloadTooLong(
          Format("the body is longer than %lld bytes", static_cast<long long>(maxBytes)));
    }
    if (n > 0) sink.Write(buffer.data(), n);
    if (received) received(total);
  } while (n > 0);
}

}  // namespace

TDownloadRetry CurrentDownloadRetry() {
  return TDownloadRetry{gAttempts.load(), std::chrono::milliseconds(gFirstPauseMs.load())};
}

void SetDownloadRetryForTests(TDownloadRetry retry) {
  gAttempts = retry.Attempts;
  gFirstPauseMs = retry.FirstPause.count();
}

void TFileSink::Open() {
  DropRecord();
  if (const int code =
          platform::File::Open(FFileName, platform::Access::Write, platform::Share::None,
                               platform::Disposition::CreateAlways, FFile))
    throw EInOutError(code);
}

void TFileSink::Write(const char* data, size_t count) {
  if (FSpace != nullptr) {
    try {
      FSpace->Reserve(static_cast<int64_t>(count));
    } catch (...) {
      Discard();
      throw;
    }
  }
  size_t written = 0;
  if (const int code = FFile.Write(data, count, written)) throw EInOutError(code);
}

void TFileSink::Close() {
  FFile.Close();
  // Every byte is in, or all that will come: nothing is left to continue.
  DropRecord();
}

void TFileSink::Restart() {
  FFile.Close();
  Open();
}

void TFileSink::Discard() {
  FFile.Close();
  platform::DeleteFile(FFileName);
  DropRecord();
}

std::optional<TStoredPart> TFileSink::StoredPart(const std::string& url) {
  if (FRecordName.empty()) return std::nullopt;
  std::optional<TResumeRecord> record = ReadResumeRecord(FRecordName);
  // A part kept under a digest is of that version of the file alone.
  if (record && IsDigestValidator(record->Validator) && record->Validator != FDigestValidator)
    record.reset();
  platform::File stored;
  int64_t size = 0;
  // Only a plain file of one link is gone on with; it stays open for Continue. Any other kind
  // of name (a link, a second name of a file elsewhere) goes as a name, and Open starts anew.
  const int kept = record ? platform::File::OpenPlainForAppend(FFileName, FFile) : -1;
  if (kept == ioerror::kAccessDenied) platform::DeleteFile(FFileName);
  if (kept != 0 || FFile.Size(size) != 0 || !MayResume(record, url, size)) {
    FFile.Close();
    return std::nullopt;
  }
  return TStoredPart{size, *record};
}

void TFileSink::Continue() {
  int64_t end = 0;
  if (const int code = FFile.Seek(0, platform::SeekFrom::End, end)) throw EInOutError(code);
}

void TFileSink::BodyBegins(const TResumeRecord& origin) {
  if (!FRecordName.empty()) WriteResumeRecord(FRecordName, origin);
}

void TFileSink::DropRecord() {
  if (!FRecordName.empty()) platform::DeleteFile(FRecordName);
}

bool Download(const HttpOpener& opener, const std::string& url, IDownloadSink& sink,
              const std::function<void(int64_t received)>& received, int64_t maxBytes,
              const TRetryWait& wait) {
  const std::unique_ptr<platform::HttpSession> session = opener(kAgentName);
  return Download(session.get(), url, sink, received, maxBytes, wait);
}

bool Download(platform::HttpSession* session, const std::string& url, IDownloadSink& sink,
              const std::function<void(int64_t received)>& received, int64_t maxBytes,
              const TRetryWait& wait) {
  const std::optional<TStoredPart> stored = session ? sink.StoredPart(url) : std::nullopt;
  const std::optional<TWholeBody> kept =
      stored ? std::optional(TWholeBody{stored->Record.Length, stored->Record.Validator})
             : std::nullopt;
  std::unique_ptr<platform::HttpResponse> response =
      !session ? nullptr
      : kept   ? session->OpenUrl(url, RestOf(*kept, stored->Size))
               : session->OpenUrl(url, {});
  if (!response) return false;
  // Every run must see the server's current copy, never a cached one.
  session->DeleteUrlCacheEntry(url);
  std::optional<TWholeBody> body;
  int64_t total = 0;
  if (kept) {
    const platform::HttpAnswer answer = response->Answer();
    if (Continues(answer, stored->Size, *kept)) {
      sink.Continue();
      if (!ServerVouches(*kept)) sink.JoinedUnchecked();
      body = kept;
      total = stored->Size;
      if (received) received(total);
    } else if (answer.Status != 200) {
      // Neither the rest nor the whole body (a range refused, another validator): the stored
      // part is never joined to it, and the whole body is asked for.
      response.reset();
      response = session->OpenUrl(url, {});
      if (!response) return false;
    }
  }
  if (!body) {
    sink.Open();
    body = WholeBodyFor(response->Answer(), sink);
    NoteBody(sink, url, body);
  }
  const TDownloadRetry retry = CurrentDownloadRetry();
  std::chrono::milliseconds pause = retry.FirstPause;
  // Breaks in a row without a byte beyond the furthest one stored: a connection that keeps
  // breaking while the body moves on is followed to its end.
  int breaks = 0;
  int64_t furthest = total;
  for (;;) {
    if (response) ReadBody(*response, sink, received, maxBytes, total);
    // A continuation that cannot be opened is one more break: the network may be back soon.
    const bool brokeOff = !response || response->BrokeOff();
    if (!brokeOff || !body || total == 0) break;
    if (total > furthest) {
      furthest = total;
      breaks = 0;
      pause = retry.FirstPause;
    }
    if (++breaks >= retry.Attempts) break;
    response.reset();
    if (!wait)
      std::this_thread::sleep_for(pause);
    else if (!wait(pause))
      break;
    pause *= 2;
    response = session->OpenUrl(url, RestOf(*body, total));
    if (!response) continue;
    const platform::HttpAnswer answer = response->Answer();
    if (answer.Status == 200) {
      // The server sent the whole body instead, perhaps a newer one: it is taken from its start.
      body = WholeBodyFor(answer, sink);
      sink.Restart();
      NoteBody(sink, url, body);
      total = 0;
      if (received) received(total);
    } else if (!Continues(answer, total, *body)) {
      break;
    } else if (!ServerVouches(*body)) {
      sink.JoinedUnchecked();
    }
  }
  sink.Close();
  return true;
}

}  // namespace korvath
