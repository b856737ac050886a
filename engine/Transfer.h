// Moving the bytes of one file: downloading an address of the update server into a sink, and
// unpacking a downloaded bzip2 stream into a target. Neither knows a thread or a window: both
// tell their caller how far they are, and the caller shows it where it likes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/Resume.h"
#include "engine/SpaceGuard.h"
#include "list/CopyFormats.h"
#include "list/Limits.h"
#include "platform/File.h"
#include "platform/Http.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"

namespace korvath {

// A body or an unpacked file went past its limit.
class EDownloadTooLong : public Exception {
  using Exception::Exception;
};
class EUnpackTooLong : public Exception {
  using Exception::Exception;
};

// The user agent of every request to the update server.
inline constexpr const char* kAgentName = "ViDivivuRidevuv";

using HttpOpener = std::function<std::unique_ptr<platform::HttpSession>(const std::string& agent)>;

// One move of a gauge: its maximum, or the file gauge's position.
struct TGaugeCall {
  bool IsMaximum = false;
  int32_t GaugeIndex = 0;
  int32_t Value = 0;
};
using TGaugeReport = std::function<void(const TGaugeCall&)>;

// The file gauge runs on 32 bits and wraps past 2 GiB, as the run-time's counter does.
inline int32_t Low32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// What an earlier run kept of a body: the bytes stored so far, and the record they were kept
// under.
struct TStoredPart {
  int64_t Size = 0;
  TResumeRecord Record;
};

// Where a download's bytes go. Nothing is made before the address has answered, so an address
// that cannot be opened leaves whatever is there untouched.
class IDownloadSink {
 public:
  virtual ~IDownloadSink() = default;
  // The address answered; raises when the target cannot be made.
  virtual void Open() = 0;
  virtual void Write(const char* data, size_t count) = 0;
  // Every byte is in.
  virtual void Close() = 0;
  // The body went past its limit: nothing of it is kept.
  virtual void Discard() = 0;
  // The server sends the body again from its first byte: what came so far goes.
  virtual void Restart() = 0;
  // What an earlier run kept of Url's body that may be continued (MayResume); nothing from a
  // sink that keeps nothing across runs.
  virtual std::optional<TStoredPart> StoredPart(const std::string& /*url*/) { return std::nullopt; }
  // Opened instead of Open when the server sends the rest of the stored part: it follows the
  // bytes kept.
  virtual void Continue() {}
  // A body that a later run could continue begins, before any of its bytes is written.
  virtual void BodyBegins(const TResumeRecord& /*origin*/) {}
  // The validator a body without one of the server's is kept under: the listed digest's
  // (DigestValidator); empty keeps such a body for this run alone.
  virtual std::string DigestValidatorOf() const { return {}; }
  // A continuation was joined on that no validator of the server's vouched for.
  virtual void JoinedUnchecked() {}
};

// A local file, emptied or created once the address answers. Errors raise EInOutError; a write
// the space guard (when given) refuses raises EOutOfSpace, and the file goes. With a record
// name, a body a later run could continue has its record there from its first byte until it
// is closed, so that a run that is stopped or killed leaves both; the file going takes the
// record with it.
class TFileSink final : public IDownloadSink {
 public:
  explicit TFileSink(std::string fileName, TSpaceGuard* space = nullptr,
                     std::string recordName = {}, std::string listedMd5 = {})
      : FFileName(std::move(fileName)),
        FRecordName(std::move(recordName)),
        FDigestValidator(DigestValidator(listedMd5)),
        FSpace(space) {}
  void Open() override;
  void Write(const char* data, size_t count) override;
  void Close() override;
  void Discard() override;
  void Restart() override;
  std::optional<TStoredPart> StoredPart(const std::string& url) override;
  void Continue() override;
  void BodyBegins(const TResumeRecord& origin) override;
  std::string DigestValidatorOf() const override { return FDigestValidator; }
  void JoinedUnchecked() override { FJoinedUnchecked = true; }
  // Whether the body holds bytes joined on without a validator of the server's: a wrong splice
  // then shows only in the digest, and the body is worth fetching whole once more.
  bool HasUncheckedJoin() const { return FJoinedUnchecked; }

 private:
  void DropRecord();

  std::string FFileName;
  std::string FRecordName;
  std::string FDigestValidator;
  bool FJoinedUnchecked = false;
  TSpaceGuard* FSpace;
  platform::File FFile;
};

// A body that breaks off after some of it arrived is asked for again from the byte where it
// stopped, up to this many attempts in a row that bring no byte beyond the furthest one so far,
// the pause before each twice the one before.
inline constexpr int kDownloadAttempts = 5;
inline constexpr std::chrono::milliseconds kFirstRetryPause{1000};
struct TDownloadRetry {
  int Attempts = kDownloadAttempts;
  std::chrono::milliseconds FirstPause = kFirstRetryPause;
};
// The rule in force: the constants above, unless a test shortened the pauses.
TDownloadRetry CurrentDownloadRetry();
void SetDownloadRetryForTests(TDownloadRetry retry);

// Waits out the pause before a further attempt, ending it early when the run stops: false then
// ends the download with what arrived, and whatever it raises reaches Download's caller.
using TRetryWait = std::function<bool(std::chrono::milliseconds pause)>;

// Fetches Url into Sink, calling Received with the bytes so far after every read (when it is
// given). False, with the sink never opened, when the address cannot be opened. A part of the
// body the sink stored earlier is continued with a request for the rest (If-Range its
// validator), and only the rest of that same body is added to it; any other answer starts the
// sink afresh with the whole body, asked for once more unless it came already. A whole body
// (status 200, with a Content-Length) that breaks off is continued as TDownloadRetry allows:
// a continuation is spliced on only when it is the requested part of the same body; a whole
// body in its place starts the sink over, and anything else ends the download with what
// arrived, as do attempts run out. A body longer than MaxBytes, counted from its first byte,
// is cut off there: the sink discards it and EDownloadTooLong is raised. The pauses between
// attempts go through Wait when it is given, and are slept through otherwise.
bool Download(const HttpOpener& opener, const std::string& url, IDownloadSink& sink,
              const std::function<void(int64_t received)>& received, int64_t maxBytes = kNoLimit,
              const TRetryWait& wait = {});
// The same through a session the caller keeps for further requests (null: nothing opens).
bool Download(platform::HttpSession* session, const std::string& url, IDownloadSink& sink,
              const std::function<void(int64_t received)>& received, int64_t maxBytes = kNoLimit,
              const TRetryWait& wait = {});

// Decodes the copy Source (a bzip2 stream, or one of Format) into Target. Gauge hears the file
// gauge's maximum (the source's size), the source's position after every refill, and, once decoding
// has begun, 0 on every way out. Raises on failure, including a source that ends before its stream
// does, output beyond MaxOutput (EUnpackTooLong), and output the space guard refuses (EOutOfSpace).
// Decoders: the threads it may keep decoding; 1 decodes on the caller's thread alone, 0 spreads
// a large stream's blocks over every core (where the format decodes on several).
void Unpack(TStream& source, TStream& target, const TGaugeReport& gauge,
            int64_t maxOutput = kNoLimit, TSpaceGuard* space = nullptr, unsigned decoders = 0,
            TCopyFormat format = TCopyFormat::Bzip2);

// A downloaded file, open for reading while it is unpacked. It is deleted when this goes,
// whatever happened in between: a download is never read twice.
class TDownloadToUnpack {
 public:
  explicit TDownloadToUnpack(const std::string& fileName);
  ~TDownloadToUnpack();
  TDownloadToUnpack(const TDownloadToUnpack&) = delete;
  TDownloadToUnpack& operator=(const TDownloadToUnpack&) = delete;

  TFileStream& Stream() { return *FStream; }

 private:
  std::string FFileName;
  std::optional<TFileStream> FStream;
};

}  // namespace korvath
