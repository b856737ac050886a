// Fetching one address of the update server into one sink, byte for byte.
#include <array>
#include <cstdint>
#include <memory>

#include "engine/Transfer.h"
#include "platform/File.h"
#include "platform/Http.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// Each read asks for at most this much, so the gauge moves after every kilobyte or less.
constexpr size_t kTransferBufferSize = 1024;

}  // namespace

void TFileSink::Open() {
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
}

void TFileSink::Discard() {
  FFile.Close();
  platform::DeleteFile(FFileName);
}

bool Download(const HttpOpener& opener, const std::string& url, IDownloadSink& sink,
              const std::function<void(int64_t received)>& received, int64_t maxBytes) {
  // Declared before the response, so closed after it, also when the sink raises.
  const std::unique_ptr<platform::HttpSession> session = opener(kAgentName);
  std::unique_ptr<platform::HttpResponse> response = session ? session->OpenUrl(url, {}) : nullptr;
  if (!response) return false;
  // Every run must see the server's current copy, never a cached one.
  session->DeleteUrlCacheEntry(url);
  sink.Open();
  std::array<char, kTransferBufferSize> buffer;
  size_t n = 0;
  int64_t total = 0;
  do {
    n = response->Read(buffer.data(), buffer.size());
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
  sink.Close();
  return true;
}

}  // namespace korvath
