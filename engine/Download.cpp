// Fetching one address of the update server into one local file, byte for byte, while moving
// the file gauge.
#include <array>
#include <cstdint>
#include <memory>

#include "engine/TransferWorker.h"
#include "platform/File.h"
#include "platform/Http.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// Each read asks for at most this much, so the gauge moves after every kilobyte or less.
constexpr size_t kTransferBufferSize = 1024;

}  // namespace

bool TTransferWorker::DownloadFile(const std::string& url, const std::string& localName,
                                   bool reportProgress, int64_t maxBytes) {
  FGaugeValue = 0;
  bool result = false;
  {
    // Declared before the response and the file, so closed after both, also when the local
    // file raises.
    const std::unique_ptr<platform::HttpSession> session = FHttpOpener(kAgentName);
    std::unique_ptr<platform::HttpResponse> response = session ? session->OpenUrl(url) : nullptr;
    if (response) {
      // Every run must see the server's current copy, never a cached one.
      session->DeleteUrlCacheEntry(url);
      platform::File file;
      if (const int code =
              platform::File::Open(localName, platform::Access::Write, platform::Share::None,
                                   platform::Disposition::CreateAlways, file))
        throw EInOutError(code);
      std::array<char, kTransferBufferSize> buffer;
      size_t n = 0;
      int64_t total = 0;
      do {
        n = response->Read(buffer.data(), buffer.size());
        total += static_cast<int64_t>(n);
        if (maxBytes != kNoLimit && total > maxBytes) {
          // An endless or oversized body is cut off here and never stored.
          file.Close();
          platform::DeleteFile(localName);
          throw EDownloadTooLong(Format("the body is longer than %lld bytes", static_cast<long long>(maxBytes)));
        }
        size_t written = 0;
        if (n > 0)
          if (const int code = file.Write(buffer.data(), n, written)) throw EInOutError(code);
        if (reportProgress) {
          // Wraps like the run-time's 32-bit counter past 2 GiB instead of overflowing.
          FGaugeValue =
              static_cast<int32_t>(static_cast<uint32_t>(FGaugeValue) + static_cast<uint32_t>(n));
          SetFileProgress();
        }
      } while (n > 0);
      file.Close();
      result = true;
      response.reset();
    }
  }
  FGaugeValue = 0;
  SetFileProgress();
  return result;
}

}  // namespace korvath
